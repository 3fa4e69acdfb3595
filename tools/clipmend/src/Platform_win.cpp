#include "Platform.h"

#include <algorithm>
#include <cstring>
#include <windows.h>

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

class MappedFile final : public ByteSource
{
public:
    MappedFile(HANDLE file, HANDLE mapping, std::uint64_t size, std::uint64_t granularity)
        : m_file(file), m_mapping(mapping), m_size(size), m_granularity(granularity)
    {
    }
    ~MappedFile() override { Unmap(); }
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
            const std::uint64_t start = offset - offset % m_granularity;
            const std::uint64_t length = std::min(m_size - start, std::max(VIEW_SIZE, offset - start + n));
            void* view = MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                                       static_cast<DWORD>(start), static_cast<SIZE_T>(length));
            if (!view)
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
            UnmapViewOfFile(m_view);
        m_view = nullptr;
    }

    OwnedHandle m_file;
    OwnedHandle m_mapping;
    std::uint64_t m_size;
    std::uint64_t m_granularity;
    const std::uint8_t* m_view = nullptr;
    std::uint64_t m_viewStart = 0;
    std::size_t m_viewLength = 0;
};

bool Identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info)
{
    const OwnedHandle handle(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle.Valid() && GetFileInformationByHandle(handle.Get(), &info) != 0;
}

} // namespace

std::unique_ptr<ByteSource> OpenMappedFile(const std::string& path)
{
    // The download client may still be writing the file: share it for writing.
    OwnedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0)
        return nullptr;
    OwnedHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.Valid())
        return nullptr;
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    auto mapped = std::make_unique<MappedFile>(file.Release(), mapping.Release(),
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

} // namespace pg::clipmend
