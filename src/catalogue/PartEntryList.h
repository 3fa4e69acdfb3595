#pragma once
// The files found in the temp directory tree, the recursive scan that finds them, and their
// insertion in a chosen order.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pg {

// Attribute bit of a directory in FoundItem::attributes.
constexpr std::uint32_t ATTRIBUTE_DIRECTORY = 0x10;

// Insertion orders of PartEntryList::AddSorted; any other mode appends.
constexpr int SORT_SIZE_ASCENDING = 2;
constexpr int SORT_SIZE_DESCENDING = 3;
constexpr int SORT_PATH_ASCENDING = 4;
constexpr int SORT_PATH_DESCENDING = 5;

// One entry of a directory listing, as the platform's find functions report it. Times are seconds
// since 1970, as the platform's time type holds them; the lister converts the find data's file times.
struct FoundItem
{
    std::string name;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    std::int64_t created = 0;
    std::int64_t accessed = 0;
    std::int64_t written = 0;
    // A reparse point (symbolic link or junction; attribute bit 0x400 of the find data, which Wine
    // also sets for Unix symbolic links).
    bool isLink = false;
};

// What a directory is, whichever path leads to it, links included: its volume and its index there.
struct DirectoryIdentity
{
    std::uint32_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const DirectoryIdentity&) const = default;
};

// Lists the entries that match a search text such as "C:\temp\*" or "C:\temp\*.part", with the
// platform's wildcard rules and in its order. `visit` returns false to end the listing early.
// A directory that cannot be read lists nothing.
class DirectoryLister
{
public:
    virtual ~DirectoryLister() = default;
    virtual void List(const std::string& search, const std::function<bool(const FoundItem&)>& visit) = 0;

    // The identity of the directory a path (ending in a backslash) leads to; false when it cannot
    // be told.
    virtual bool Identify(const std::string& directory, DirectoryIdentity& identity) = 0;

    // The same for the directories among them; a lister may save the work of reporting the rest.
    virtual void ListDirectories(const std::string& search,
                                 const std::function<bool(const FoundItem&)>& visit)
    {
        List(search, [&](const FoundItem& item) {
            return (item.attributes & ATTRIBUTE_DIRECTORY) == 0 || visit(item);
        });
    }
};

struct PartEntry
{
    // Fills the record from a listing entry found in `directory` (a text ending in a backslash).
    void SetFromFound(const FoundItem& item, const std::string& directory, std::int32_t tag);

    std::int32_t m_tag = 0;
    std::string m_path;
    std::uint32_t m_attributes = 0xFFFFFFFF;
    std::uint64_t m_size = 0;
    std::int64_t m_created = 0;
    std::int64_t m_accessed = 0;
    std::int64_t m_written = 0;
};

class PartEntryList
{
public:
    // Inserts a copy of `entry` at its place for `mode` (before the records equal to it) and
    // yields that index.
    std::int32_t AddSorted(const PartEntry& entry, int mode);

    // Adds every file below `directory` (empty or ending in a backslash) that matches `pattern`,
    // depth-first: all sub-directories of a directory, each completely, before its own files.
    // Directories themselves are added when `addDirectories` is set. A link or junction is entered
    // like any directory unless it leads back to a directory on the way to it (or where that cannot
    // be told), so a link back up the tree cannot make the scan go round forever; a directory that
    // two links lead to is scanned once for each. `cancel` (when given) is checked after each
    // entry; `counter` (when given) counts every record added.
    // Yields the number of records added.
    std::int32_t Scan(DirectoryLister& lister, const std::string& directory, const std::string& pattern,
                      bool recursive, int mode, bool addDirectories,
                      const std::atomic<std::int32_t>* cancel = nullptr,
                      std::atomic<std::int32_t>* counter = nullptr);

    // Deepest level below the scanned directory that Scan enters, which also ends a chain of links
    // that the identities do not catch. A path of the platform's ANSI find functions (at most 259
    // characters) cannot reach it.
    static constexpr int MAX_SCAN_DEPTH = 128;

    std::size_t Count() const { return m_entries.size(); }
    bool IsEmpty() const { return m_entries.empty(); }
    const PartEntry& operator[](std::size_t index) const { return m_entries[index]; }
    void Clear()
    {
        m_entries.clear();
        m_orderedMode = NO_ORDER;
    }

private:
    // A directory on the way from the scanned one to the current one; its identity is asked for
    // only when a link is met below it.
    struct ScanStep
    {
        explicit ScanStep(std::string path) : directory(std::move(path)) {}
        std::string directory;
        bool identityAsked = false;
        bool identityKnown = false;
        DirectoryIdentity identity;
    };

    std::int32_t ScanLevel(DirectoryLister& lister, const std::string& pattern, bool recursive, int mode,
                           bool addDirectories, const std::atomic<std::int32_t>* cancel,
                           std::atomic<std::int32_t>* counter, std::vector<ScanStep>& way);
    // Whether entering the linked directory could take the scan round: it is one on the way to it,
    // or its identity is unknown.
    static bool LinkMayGoRound(DirectoryLister& lister, const std::string& linked,
                               std::vector<ScanStep>& way);

    static constexpr int NO_ORDER = 0;

    std::vector<PartEntry> m_entries;
    // The sort mode whose order the records are known to stand in (every record so far inserted
    // with it), or NO_ORDER; an empty list stands in every order.
    int m_orderedMode = NO_ORDER;
};

} // namespace pg
