#include "catalogue/TempDirWatcher.h"

#include "framework/Thread.h"

#include <cstddef>
#include <vector>

namespace pg {

namespace {

// The largest buffer the system fills for a directory on another machine.
constexpr DWORD BUFFER_BYTES = 64 * 1024;
// Names that come, go or are renamed, and files whose size or last write changed: data arriving
// in a download, its metadata saved.
constexpr DWORD WATCHED_CHANGES = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                  FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

std::string AnsiText(const WCHAR* text, int length)
{
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, length, converted.data(), size, nullptr, nullptr);
    return converted;
}

} // namespace

struct TempDirWatcher::Watch
{
    Watch(HWND target, UINT posted, std::string watched, bool withSubtree)
        : window(target), message(posted), directory(std::move(watched)), subtree(withSubtree),
          stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          ready(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
    }

    void Run();
    void Collect(const std::vector<DWORD>& buffer, DWORD bytes, Changes& batch) const;
    // Hands the batch to the window's side and empties it; posts unless a message is on its way.
    void Deliver(Changes& batch);
    // Says that the watch has ended by itself; allocates nothing, so that it also works when
    // memory ran out.
    void Fail(Failure failure);

    const HWND window;
    const UINT message;
    const std::string directory;
    const bool subtree;
    const fw::KernelHandle stop;
    // Set once the system collects changes for the watch, or the watch has failed.
    const fw::KernelHandle ready;

    fw::CriticalSection lock;
    Changes pending;        // under the lock
    bool announced = false; // under the lock: a message is on its way
};

void TempDirWatcher::Watch::Run()
{
    const std::string opened = directory.empty() ? "." : directory;
    const fw::KernelHandle folder(::CreateFileA(
        opened.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    const fw::KernelHandle arrived(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!folder || !arrived) {
        Fail(Failure::Refused);
        return;
    }
    std::vector<DWORD> buffer(BUFFER_BYTES / sizeof(DWORD)); // the records are DWORD-aligned
    Changes batch;
    bool gathering = false;
    DWORD gatherStart = 0;
    for (bool first = true;; first = false) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = arrived.Get();
        ::ResetEvent(arrived.Get());
        if (!::ReadDirectoryChangesW(folder.Get(), buffer.data(), BUFFER_BYTES, subtree, WATCHED_CHANGES,
                                     nullptr, &overlapped, nullptr)) {
            Deliver(batch);
            Fail(first ? Failure::Refused : Failure::Lost);
            return;
        }
        if (first)
            ::SetEvent(ready.Get());
        for (;;) {
            DWORD timeout = INFINITE;
            if (gathering) {
                const DWORD elapsed = ::GetTickCount() - gatherStart;
                timeout = elapsed >= GATHER_MS ? 0 : GATHER_MS - elapsed;
            }
            const HANDLE events[] = {stop.Get(), arrived.Get()};
            const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, timeout);
            if (woken == WAIT_OBJECT_0 + 1)
                break;
            if (woken == WAIT_TIMEOUT) {
                Deliver(batch);
                gathering = false;
                continue;
            }
            // Stopped: the buffer must outlive the read, which ends once cancelled.
            ::CancelIo(folder.Get());
            DWORD ignored = 0;
            ::GetOverlappedResult(folder.Get(), &overlapped, &ignored, TRUE);
            return;
        }
        DWORD bytes = 0;
        if (::GetOverlappedResult(folder.Get(), &overlapped, &bytes, FALSE)) {
            // No bytes: more changed than the buffer holds.
            if (bytes == 0)
                batch.overflow = true;
            else
                Collect(buffer, bytes, batch);
        } else if (::GetLastError() == ERROR_NOTIFY_ENUM_DIR) {
            batch.overflow = true;
        } else {
            // The directory went, or its server stopped answering.
            Deliver(batch);
            Fail(Failure::Lost);
            return;
        }
        if (!gathering) {
            gathering = true;
            gatherStart = ::GetTickCount();
        }
    }
}

void TempDirWatcher::Watch::Collect(const std::vector<DWORD>& buffer, DWORD bytes, Changes& batch) const
{
    const auto* start = reinterpret_cast<const BYTE*>(buffer.data());
    for (DWORD offset = 0; offset + offsetof(FILE_NOTIFY_INFORMATION, FileName) <= bytes;) {
        const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(start + offset);
        if (record->FileNameLength > bytes - offset - offsetof(FILE_NOTIFY_INFORMATION, FileName))
            break;
        batch.paths.insert(
            directory + AnsiText(record->FileName, static_cast<int>(record->FileNameLength / sizeof(WCHAR))));
        if (record->NextEntryOffset == 0)
            break;
        offset += record->NextEntryOffset;
    }
}

void TempDirWatcher::Watch::Deliver(Changes& batch)
{
    if (batch.paths.empty() && !batch.overflow)
        return;
    bool post = false;
    {
        const fw::ScopedLock held(lock);
        pending.paths.merge(batch.paths);
        pending.overflow = pending.overflow || batch.overflow;
        post = !announced;
        announced = true;
    }
    batch = Changes();
    if (post)
        ::PostMessageA(window, message, 0, 0);
}

void TempDirWatcher::Watch::Fail(Failure failure)
{
    ::SetEvent(ready.Get());
    bool post = false;
    {
        const fw::ScopedLock held(lock);
        pending.failure = failure;
        post = !announced;
        announced = true;
    }
    if (post)
        ::PostMessageA(window, message, 0, 0);
}

unsigned __stdcall TempDirWatcher::ThreadProc(void* watch)
{
    auto& self = *static_cast<Watch*>(watch);
    try {
        self.Run();
    } catch (...) {
        // Out of memory: the list stays as it is, and says so.
        self.Fail(Failure::Lost);
    }
    return 0;
}

TempDirWatcher::TempDirWatcher() = default;

TempDirWatcher::~TempDirWatcher()
{
    Stop();
}

void TempDirWatcher::Start(HWND window, UINT message, const std::string& directory, bool subtree)
{
    Stop();
    m_watch = std::make_unique<Watch>(window, message, directory, subtree);
    if (m_watch->stop && m_watch->ready)
        m_thread = fw::BeginThread(&TempDirWatcher::ThreadProc, m_watch.get(), THREAD_PRIORITY_NORMAL);
    if (!m_thread) {
        m_watch->Fail(Failure::Refused);
        return;
    }
    // The system keeps changes for the watch only from its first read on: what changes after this
    // returns is seen. The thread waits for nothing of ours meanwhile.
    const HANDLE events[] = {m_watch->ready.Get(), m_thread.Get()};
    ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
}

void TempDirWatcher::Stop()
{
    if (m_thread) {
        ::SetEvent(m_watch->stop.Get());
        ::WaitForSingleObject(m_thread.Get(), INFINITE);
        m_thread.Reset();
    }
    m_watch.reset();
}

TempDirWatcher::Changes TempDirWatcher::TakeChanges()
{
    if (!m_watch)
        return {};
    const fw::ScopedLock held(m_watch->lock);
    Changes taken = std::move(m_watch->pending);
    m_watch->pending = Changes();
    m_watch->announced = false;
    return taken;
}

std::string TempDirWatcher::Directory() const
{
    return m_watch ? m_watch->directory : std::string();
}

} // namespace pg
