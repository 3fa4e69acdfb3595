#include "catalogue/MetadataPrefetch.h"

#include "ClientFile.h"
#include "framework/Thread.h"

#include <algorithm>
#include <climits>

namespace pg {

namespace {

constexpr int READERS = 2;
constexpr std::size_t GROUP_SIZE = 16;
constexpr LONG GROUPS_AHEAD = 16;
// A larger file (a real one holds a few KiB) is left to the reader on the caller's thread, which
// streams it: files read ahead take at most GROUPS_AHEAD * GROUP_SIZE times this much memory.
constexpr DWORD LARGEST_READ_AHEAD = 64 * 1024;

} // namespace

MetadataPrefetch::MetadataPrefetch(std::vector<std::string> partPaths)
    : m_partPaths(std::move(partPaths)), m_slots(std::make_unique<Slot[]>(m_partPaths.size())),
      m_space(::CreateSemaphoreA(nullptr, GROUPS_AHEAD, LONG_MAX, nullptr)),
      m_progress(::CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
    if (!m_space || !m_progress || m_partPaths.empty())
        return;
    for (int i = 0; i < READERS; ++i) {
        fw::KernelHandle reader =
            fw::BeginThread(&MetadataPrefetch::ReaderThread, this, THREAD_PRIORITY_NORMAL);
        if (reader)
            m_readers.push_back(std::move(reader));
    }
}

MetadataPrefetch::~MetadataPrefetch()
{
    if (m_readers.empty())
        return;
    m_stopping = true;
    ::ReleaseSemaphore(m_space.Get(), static_cast<LONG>(m_readers.size()), nullptr);
    std::vector<HANDLE> handles;
    for (const fw::KernelHandle& reader : m_readers)
        handles.push_back(reader.Get());
    ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, INFINITE);
}

MetadataPrefetch::SlotState MetadataPrefetch::ReadMetadataFile(const std::string& path, std::string& bytes)
{
    const FilePtr file = OpenClientFile(path);
    if (!file)
        return Missing;
    // Straight into our own buffer: the stream's would only copy.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    char buffer[8192];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        if (bytes.size() + got > LARGEST_READ_AHEAD) {
            std::string().swap(bytes);
            return ReadInPlace;
        }
        bytes.append(buffer, got);
    }
    return Read;
}

unsigned __stdcall MetadataPrefetch::ReaderThread(void* self)
{
    static_cast<MetadataPrefetch*>(self)->ReadAhead();
    return 0;
}

void MetadataPrefetch::ReadAhead()
{
    for (;;) {
        ::WaitForSingleObject(m_space.Get(), INFINITE);
        if (m_stopping)
            return;
        const std::size_t first = m_nextGroup++ * GROUP_SIZE;
        if (first >= m_partPaths.size())
            return;
        const std::size_t end = std::min(first + GROUP_SIZE, m_partPaths.size());
        for (std::size_t index = first; index < end; ++index) {
            Slot& slot = m_slots[index];
            try {
                slot.state = ReadMetadataFile(MetadataPath(m_partPaths[index]), slot.bytes);
            } catch (...) {
                // Out of memory: the list reads this file itself when it gets there.
                std::string().swap(slot.bytes);
                slot.state = ReadInPlace;
            }
            // The state is set before the flag is looked at, and the caller raises the flag before
            // it looks at the state: one of the two always sees the other.
            if (m_callerWaiting)
                ::SetEvent(m_progress.Get());
        }
    }
}

MetadataPrefetch::SlotState MetadataPrefetch::WaitFor(const Slot& slot)
{
    SlotState state = slot.state;
    if (state != Pending)
        return state;
    m_callerWaiting = true;
    while ((state = slot.state) == Pending)
        ::WaitForSingleObject(m_progress.Get(), INFINITE);
    m_callerWaiting = false;
    return state;
}

PartInfo MetadataPrefetch::Info(std::size_t index, const DumpTarget& dump)
{
    Slot& slot = m_slots[index];
    const SlotState state = m_readers.empty() ? ReadInPlace : WaitFor(slot);
    // A download without metadata gets what the lookup gives it: no name, no share, no dump.
    const PartInfo info = state == Read      ? PartInfoFromBytes(slot.bytes, dump)
                          : state == Missing ? PartInfo()
                                             : GetPartInfo(m_partPaths[index], dump);
    std::string().swap(slot.bytes);
    // The last file of a group frees room for another group.
    if (!m_readers.empty() && (index % GROUP_SIZE == GROUP_SIZE - 1 || index + 1 == m_partPaths.size()))
        ::ReleaseSemaphore(m_space.Get(), 1, nullptr);
    return info;
}

} // namespace pg
