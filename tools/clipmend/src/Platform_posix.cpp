#include "Platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pg::clipmend {

namespace {

// Where the address space allows it, the whole file is one view.
constexpr std::uint64_t VIEW_SIZE = sizeof(void*) >= 8 ? UINT64_MAX / 2 : 64u << 20;

class MappedFile final : public ByteSource
{
public:
    MappedFile(int fd, std::uint64_t size) : m_fd(fd), m_size(size), m_page(static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)))
    {
    }
    ~MappedFile() override
    {
        Unmap();
        close(m_fd);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::uint64_t Size() const override { return m_size; }
    bool Mapped() const override { return true; }

    const std::uint8_t* Map(std::uint64_t offset, std::size_t n, std::size_t& available) override
    {
        available = 0;
        if (offset >= m_size)
            return nullptr;
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_size - offset));
        if (!m_view || offset < m_viewStart || offset + n > m_viewStart + m_viewLength) {
            Unmap();
            const std::uint64_t start = offset - offset % m_page;
            const std::uint64_t length = std::min(m_size - start, std::max(VIEW_SIZE, offset - start + n));
            void* view = mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_SHARED, m_fd,
                              static_cast<off_t>(start));
            if (view == MAP_FAILED)
                return nullptr;
            m_view = static_cast<const std::uint8_t*>(view);
            m_viewStart = start;
            m_viewLength = static_cast<std::size_t>(length);
        }
        available = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_viewStart + m_viewLength - offset));
        return m_view + (offset - m_viewStart);
    }

    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override
    {
        std::size_t done = 0;
        while (done < n) {
            std::size_t available = 0;
            const std::uint8_t* p = Map(offset + done, n - done, available);
            if (!p || available == 0)
                break;
            std::memcpy(static_cast<std::uint8_t*>(buffer) + done, p, available);
            done += available;
        }
        return done;
    }

private:
    void Unmap()
    {
        if (m_view)
            munmap(const_cast<std::uint8_t*>(m_view), m_viewLength);
        m_view = nullptr;
    }

    int m_fd;
    std::uint64_t m_size;
    std::uint64_t m_page;
    const std::uint8_t* m_view = nullptr;
    std::uint64_t m_viewStart = 0;
    std::size_t m_viewLength = 0;
};

} // namespace

std::unique_ptr<ByteSource> OpenMappedFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return nullptr;
    struct stat st {};
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
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace pg::clipmend
