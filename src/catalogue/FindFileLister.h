#pragma once
// Directory listings through the platform's find functions.
#include "catalogue/PartEntryList.h"

#include <windows.h>

namespace pg {

// A file time (UTC) as seconds since 1970, taken through local time the way the platform's time
// class converts it; -1 when the time cannot be represented.
std::int64_t LocalTimeSeconds(const FILETIME& fileTime);

// One find result as the scan sees it.
FoundItem FoundItemFromFindData(const WIN32_FIND_DATAA& data);

class FindFileLister : public DirectoryLister
{
public:
    void List(const std::string& search, const std::function<bool(const FoundItem&)>& visit) override;
    // Converts only the directories' find data (file times take several system calls each).
    void ListDirectories(const std::string& search,
                         const std::function<bool(const FoundItem&)>& visit) override;
    // The volume serial number and file index of the directory itself, links followed (under Wine,
    // a Unix symbolic link to a directory reports its target's index).
    bool Identify(const std::string& directory, DirectoryIdentity& identity) override;

private:
    static void ListMatching(const std::string& search, bool directoriesOnly,
                             const std::function<bool(const FoundItem&)>& visit);
};

} // namespace pg
