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
