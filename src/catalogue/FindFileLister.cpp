#include "catalogue/FindFileLister.h"

#include "framework/Handles.h"

#include <ctime>

namespace pg {

std::int64_t LocalTimeSeconds(const FILETIME& fileTime)
{
    FILETIME local{};
    SYSTEMTIME parts{};
    if (!::FileTimeToLocalFileTime(&fileTime, &local) || !::FileTimeToSystemTime(&local, &parts))
        return -1;
    std::tm calendar{};
    calendar.tm_year = parts.wYear - 1900;
    calendar.tm_mon = parts.wMonth - 1;
    calendar.tm_mday = parts.wDay;
    calendar.tm_hour = parts.wHour;
    calendar.tm_min = parts.wMinute;
    calendar.tm_sec = parts.wSecond;
    // The runtime decides whether daylight-saving time applies.
    calendar.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&calendar));
}

FoundItem FoundItemFromFindData(const WIN32_FIND_DATAA& data)
{
    FoundItem item;
    item.name = data.cFileName;
    item.attributes = data.dwFileAttributes;
    item.size = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
    item.created = LocalTimeSeconds(data.ftCreationTime);
    item.accessed = LocalTimeSeconds(data.ftLastAccessTime);
    item.written = LocalTimeSeconds(data.ftLastWriteTime);
    item.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return item;
}

void FindFileLister::List(const std::string& search, const std::function<bool(const FoundItem&)>& visit)
{
    ListMatching(search, false, visit);
}

void FindFileLister::ListDirectories(const std::string& search,
                                     const std::function<bool(const FoundItem&)>& visit)
{
    ListMatching(search, true, visit);
}

bool FindFileLister::Identify(const std::string& directory, DirectoryIdentity& identity)
{
    // A directory is opened by its name without the closing backslash, except a drive's root.
    std::string path = directory;
    if (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    const fw::KernelHandle handle(::CreateFileA(path.c_str(), 0,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!handle || !::GetFileInformationByHandle(handle.Get(), &information))
        return false;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
    return true;
}

void FindFileLister::ListMatching(const std::string& search, bool directoriesOnly,
                                  const std::function<bool(const FoundItem&)>& visit)
{
    WIN32_FIND_DATAA data{};
    const fw::FindHandle find(::FindFirstFileA(search.c_str(), &data));
    if (!find)
        return;
    do {
        if (directoriesOnly && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            continue;
        if (!visit(FoundItemFromFindData(data)))
            return;
    } while (::FindNextFileA(find.Get(), &data));
}

} // namespace pg
