#include "catalogue/PartEntryList.h"

#include <algorithm>

namespace pg {

namespace {

bool Cancelled(const std::atomic<std::int32_t>* cancel)
{
    return cancel != nullptr && cancel->load() != 0;
}

// Index of the first record for which `qualifies` holds, or the count when none does. In records
// that stand in the mode's order the qualifying ones form the tail, which halving finds.
template <typename Predicate>
std::size_t FirstPosition(const std::vector<PartEntry>& entries, bool ordered, Predicate qualifies)
{
    const auto found = ordered ? std::partition_point(entries.begin(), entries.end(),
                                                      [&](const PartEntry& e) { return !qualifies(e); })
                               : std::find_if(entries.begin(), entries.end(), qualifies);
    return static_cast<std::size_t>(found - entries.begin());
}

} // namespace

void PartEntry::SetFromFound(const FoundItem& item, const std::string& directory, std::int32_t tag)
{
    m_path = directory + item.name;
    m_attributes = item.attributes;
    m_size = item.size;
    m_created = item.created;
    m_accessed = item.accessed;
    m_written = item.written;
    m_tag = tag;
}

std::int32_t PartEntryList::AddSorted(const PartEntry& entry, int mode)
{
    // Paths compare in plain byte order; std::string compares its bytes as unsigned chars.
    const bool ordered = m_entries.empty() || m_orderedMode == mode;
    std::size_t position = m_entries.size();
    switch (mode) {
    case SORT_SIZE_ASCENDING:
        position =
            FirstPosition(m_entries, ordered, [&](const PartEntry& e) { return e.m_size >= entry.m_size; });
        break;
    case SORT_SIZE_DESCENDING:
        position =
            FirstPosition(m_entries, ordered, [&](const PartEntry& e) { return e.m_size <= entry.m_size; });
        break;
    case SORT_PATH_ASCENDING:
        position = FirstPosition(m_entries, ordered,
                                 [&](const PartEntry& e) { return e.m_path.compare(entry.m_path) >= 0; });
        break;
    case SORT_PATH_DESCENDING:
        position = FirstPosition(m_entries, ordered,
                                 [&](const PartEntry& e) { return e.m_path.compare(entry.m_path) <= 0; });
        break;
    default:
        m_orderedMode = NO_ORDER;
        m_entries.push_back(entry);
        return static_cast<std::int32_t>(position);
    }
    m_orderedMode = ordered ? mode : NO_ORDER;
    m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(position), entry);
    return static_cast<std::int32_t>(position);
}

std::int32_t PartEntryList::Scan(DirectoryLister& lister, const std::string& directory,
                                 const std::string& pattern, bool recursive, int mode, bool addDirectories,
                                 const std::atomic<std::int32_t>* cancel, std::atomic<std::int32_t>* counter)
{
    std::vector<ScanStep> way;
    way.emplace_back(directory);
    return ScanLevel(lister, pattern, recursive, mode, addDirectories, cancel, counter, way);
}

bool PartEntryList::LinkMayGoRound(DirectoryLister& lister, const std::string& linked,
                                   std::vector<ScanStep>& way)
{
    DirectoryIdentity target;
    if (!lister.Identify(linked, target))
        return true;
    for (ScanStep& step : way) {
        if (!step.identityAsked) {
            step.identityAsked = true;
            step.identityKnown = lister.Identify(step.directory, step.identity);
        }
        if (step.identityKnown && step.identity == target)
            return true;
    }
    return false;
}

std::int32_t PartEntryList::ScanLevel(DirectoryLister& lister, const std::string& pattern, bool recursive,
                                      int mode, bool addDirectories, const std::atomic<std::int32_t>* cancel,
                                      std::atomic<std::int32_t>* counter, std::vector<ScanStep>& way)
{
    // A copy: entering a sub-directory grows the way, which may move its steps.
    const std::string directory = way.back().directory;
    const int depth = static_cast<int>(way.size()) - 1;
    std::int32_t count = 0;
    PartEntry record;
    const auto add = [&](const FoundItem& item) {
        record.SetFromFound(item, directory, 0);
        AddSorted(record, mode);
        ++count;
        if (counter != nullptr)
            ++*counter;
    };

    lister.ListDirectories(directory + "*", [&](const FoundItem& item) {
        // Files are not shown to this pass, so a cancel that came during them is seen here.
        if (Cancelled(cancel))
            return false;
        if (item.name != "." && item.name != "..") {
            if (addDirectories)
                add(item);
            // The depth bound guards against cycles the lister cannot recognise as links.
            const std::string subdirectory = directory + item.name + "\\";
            if (recursive && depth < MAX_SCAN_DEPTH &&
                !(item.isLink && LinkMayGoRound(lister, subdirectory, way))) {
                way.emplace_back(subdirectory);
                count += ScanLevel(lister, pattern, recursive, mode, addDirectories, cancel, counter, way);
                way.pop_back();
            }
        }
        return !Cancelled(cancel);
    });

    if (Cancelled(cancel))
        return count;
    lister.List(directory + pattern, [&](const FoundItem& item) {
        if ((item.attributes & ATTRIBUTE_DIRECTORY) == 0)
            add(item);
        return !Cancelled(cancel);
    });
    return count;
}

} // namespace pg
