#include "Platform.h"

#include <cstdio>
#include <fcntl.h>
#include <semaphore>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace pg::clipmend {

namespace {

// Where the address space allows it, the whole file is one view.
constexpr std::uint64_t VIEW_SIZE = sizeof(void*) >= 8 ? UINT64_MAX / 2 : 64u << 20;

class MappedFile final : public MappedSource
{
public:
    MappedFile(int fd, std::uint64_t size)
        : MappedSource(size, static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)), VIEW_SIZE), m_fd(fd)
    {
    }
    ~MappedFile() override
    {
        UnmapCurrent();
        close(m_fd);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

private:
    const std::uint8_t* MapView(std::uint64_t start, std::size_t length) override
    {
        void* view = mmap(nullptr, length, PROT_READ, MAP_SHARED, m_fd, static_cast<off_t>(start));
        return view == MAP_FAILED ? nullptr : static_cast<const std::uint8_t*>(view);
    }
    void UnmapView(const std::uint8_t* view, std::size_t length) override
    {
        munmap(const_cast<std::uint8_t*>(view), length);
    }

    int m_fd;
};

} // namespace

std::unique_ptr<ByteSource> OpenMappedFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return nullptr;
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        close(fd);
        return nullptr;
    }
    auto file = std::make_unique<MappedFile>(fd, static_cast<std::uint64_t>(st.st_size));
    std::size_t available = 0;
    if (!file->Map(0, 1, available))
        return nullptr;
    return file;
}

bool MoveReplacing(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa
    {
    };
    struct stat sb
    {
    };
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

void ReserveSpace(std::FILE* file, std::uint64_t offset, std::uint64_t length)
{
    // Where the file system cannot reserve, the writes simply grow the file.
    fallocate(fileno(file), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset), static_cast<off_t>(length));
}

void ReleaseReserve(std::FILE* file, std::uint64_t size)
{
    if (ftruncate(fileno(file), static_cast<off_t>(size)) != 0)
        return; // the space stays the file's until it is deleted; its bytes are right
}

struct Semaphore::State
{
    explicit State(unsigned count) : semaphore(count) {}
    std::counting_semaphore<> semaphore;
};

Semaphore::Semaphore(unsigned count) : m_state(std::make_unique<State>(count)) {}
Semaphore::~Semaphore() = default;
bool Semaphore::Usable() const
{
    return true;
}
void Semaphore::Acquire()
{
    m_state->semaphore.acquire();
}
void Semaphore::Release()
{
    m_state->semaphore.release();
}

struct Thread::State
{
    std::thread thread;
};

Thread::Thread(std::function<void()> work) : m_state(std::make_unique<State>())
{
    try {
        m_state->thread = std::thread(std::move(work));
    } catch (const std::system_error&) {
        // Not started: Started() says so, and the caller does the work itself.
    }
}

Thread::~Thread()
{
    if (m_state->thread.joinable())
        m_state->thread.join();
}

bool Thread::Started() const
{
    return m_state->thread.joinable();
}

} // namespace pg::clipmend
