#include "Platform.h"

#include <windows.h>
#include <climits>
#include <process.h>

namespace pg::clipmend {

namespace {

// A 32-bit process maps a large file piece by piece.
constexpr std::uint64_t VIEW_SIZE = 64u << 20;

class OwnedHandle
{
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~OwnedHandle()
    {
        if (Valid())
            CloseHandle(m_handle);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : m_handle(other.Release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept
    {
        if (this != &other) {
            if (Valid())
                CloseHandle(m_handle);
            m_handle = other.Release();
        }
        return *this;
    }

    bool Valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    HANDLE Release()
    {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }

private:
    HANDLE m_handle;
};

class MappedFile final : public MappedSource
{
public:
    MappedFile(HANDLE file, HANDLE mapping, std::uint64_t size, std::uint64_t granularity)
        : MappedSource(size, granularity, VIEW_SIZE), m_file(file), m_mapping(mapping)
    {
    }
    ~MappedFile() override { UnmapCurrent(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

private:
    const std::uint8_t* MapView(std::uint64_t start, std::size_t length) override
    {
        return static_cast<const std::uint8_t*>(MapViewOfFile(m_mapping.Get(), FILE_MAP_READ,
                                                              static_cast<DWORD>(start >> 32),
                                                              static_cast<DWORD>(start), length));
    }
    void UnmapView(const std::uint8_t* view, std::size_t) override { UnmapViewOfFile(view); }

    OwnedHandle m_file;
    OwnedHandle m_mapping;
};

bool Identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info)
{
    const OwnedHandle handle(CreateFileA(path.c_str(), 0,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle.Valid() && GetFileInformationByHandle(handle.Get(), &info) != 0;
}

} // namespace

std::unique_ptr<ByteSource> OpenMappedFile(const std::string& path)
{
    // The download client may still be writing the file: share it for writing.
    OwnedHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0)
        return nullptr;
    OwnedHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.Valid())
        return nullptr;
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    auto mapped =
        std::make_unique<MappedFile>(file.Release(), mapping.Release(),
                                     static_cast<std::uint64_t>(size.QuadPart), info.dwAllocationGranularity);
    std::size_t available = 0;
    if (!mapped->Map(0, 1, available))
        return nullptr;
    return mapped;
}

bool MoveReplacing(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool SameFile(const std::string& a, const std::string& b)
{
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    if (!Identity(a, ia) || !Identity(b, ib))
        return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

// The file grows write by write: reserving space without making the file longer takes a call
// that Windows XP does not have.
void ReserveSpace(std::FILE*, std::uint64_t, std::uint64_t) {}
void ReleaseReserve(std::FILE*, std::uint64_t) {}

bool SystemCopies()
{
    return false;
}

bool CopyInSystem(std::FILE*, std::uint64_t, std::FILE*, std::uint64_t)
{
    return false;
}

struct Semaphore::State
{
    OwnedHandle semaphore;
};

Semaphore::Semaphore(unsigned count) : m_state(std::make_unique<State>())
{
    m_state->semaphore = OwnedHandle(CreateSemaphoreA(nullptr, static_cast<LONG>(count), LONG_MAX, nullptr));
}

Semaphore::~Semaphore() = default;
bool Semaphore::Usable() const
{
    return m_state->semaphore.Valid();
}
void Semaphore::Acquire()
{
    WaitForSingleObject(m_state->semaphore.Get(), INFINITE);
}
void Semaphore::Release()
{
    ReleaseSemaphore(m_state->semaphore.Get(), 1, nullptr);
}

struct Thread::State
{
    std::function<void()> work;
    OwnedHandle thread;

    static unsigned __stdcall Run(void* state)
    {
        static_cast<State*>(state)->work();
        return 0;
    }
};

Thread::Thread(std::function<void()> work) : m_state(std::make_unique<State>())
{
    m_state->work = std::move(work);
    // The C runtime's own start, as the thread writes through it.
    m_state->thread = OwnedHandle(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, State::Run, m_state.get(), 0, nullptr)));
}

Thread::~Thread()
{
    if (Started())
        WaitForSingleObject(m_state->thread.Get(), INFINITE);
}

bool Thread::Started() const
{
    return m_state->thread.Valid();
}

} // namespace pg::clipmend
