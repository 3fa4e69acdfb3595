#include "Platform.h"

#include <windows.h>

namespace pg::clipmend {

namespace {

// Owns a file handle opened only to ask for the file's identity.
class QueryHandle
{
public:
    explicit QueryHandle(const std::string& path)
        : m_handle(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr))
    {
    }
    ~QueryHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    QueryHandle(const QueryHandle&) = delete;
    QueryHandle& operator=(const QueryHandle&) = delete;

    bool Identity(BY_HANDLE_FILE_INFORMATION& info) const
    {
        return m_handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(m_handle, &info) != 0;
    }

private:
    HANDLE m_handle;
};

} // namespace

bool MoveReplacing(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool SameFile(const std::string& a, const std::string& b)
{
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    if (!QueryHandle(a).Identity(ia) || !QueryHandle(b).Identity(ib))
        return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

} // namespace pg::clipmend
