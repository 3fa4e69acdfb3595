#include "catalogue/LiveList.h"

#include <cctype>

namespace pg {

namespace {

// -1 when a goes before b in `order`, 1 when after it, 0 when the two are equal.
int Compare(const RowOrder& order, const ListedDownload& a, const ListedDownload& b)
{
    if (order.column == RowOrder::LARGEST_FIRST)
        return a.bytes > b.bytes ? -1 : a.bytes < b.bytes ? 1 : 0;
    const int compared = CompareCells(order.column, a.Cell(order.column), b.Cell(order.column));
    return order.ascending ? compared : -compared;
}

char Folded(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

class Merge
{
public:
    Merge(LiveRows& rows, ListedDownloads& listed, const RowOrder& order)
        : m_rows(rows), m_listed(listed), m_order(order)
    {
    }

    void Apply(const DownloadChange& change)
    {
        const std::optional<std::intptr_t> id = m_listed.IdOf(change.path);
        const int row = id ? FindRow(*id) : -1;
        if (!change.row) {
            if (row >= 0)
                m_rows.RemoveRow(row);
            if (id)
                m_listed.Remove(*id);
        } else if (row < 0) {
            m_rows.InsertRow(Position(*change.row, -1), *change.row, m_listed.Add(*change.row));
        } else {
            if (FitsAt(*change.row, row))
                m_rows.SetRow(row, *change.row);
            else
                m_rows.MoveRow(row, Position(*change.row, row), *change.row);
            m_listed.Update(*id, *change.row);
        }
    }

private:
    // -1 when the download goes before the row, 1 when after it, 0 when they are equal.
    int CompareToRow(const ListedDownload& download, int row) const
    {
        const ListedDownload* shown = m_listed.Find(m_rows.RowId(row));
        return shown ? Compare(m_order, download, *shown) : -1;
    }

    // Where the download goes among the rows other than `skipped` (-1: none), before the rows equal
    // to it: an index counted without the skipped row.
    int Position(const ListedDownload& download, int skipped) const
    {
        int low = 0;
        int high = m_rows.RowCount() - (skipped >= 0 ? 1 : 0);
        while (low < high) {
            const int middle = low + (high - low) / 2;
            const int row = skipped >= 0 && middle >= skipped ? middle + 1 : middle;
            if (CompareToRow(download, row) > 0)
                low = middle + 1;
            else
                high = middle;
        }
        return low;
    }

    // The row of a listed download: among the rows equal to it in the order, where halving leads.
    int FindRow(std::intptr_t id) const
    {
        const int row = m_rows.FindId(id, Position(*m_listed.Find(id), -1));
        // Rows out of order (item data set by someone else): the slow way.
        return row >= 0 ? row : m_rows.FindId(id, 0);
    }

    // Whether the order allows the download at the row's place, between its two neighbours.
    bool FitsAt(const ListedDownload& download, int row) const
    {
        return (row == 0 || CompareToRow(download, row - 1) >= 0) &&
               (row + 1 == m_rows.RowCount() || CompareToRow(download, row + 1) <= 0);
    }

    LiveRows& m_rows;
    ListedDownloads& m_listed;
    const RowOrder& m_order;
};

} // namespace

const std::string& ListedDownload::Cell(int column) const
{
    static const std::string none;
    switch (column) {
    case NAME_COLUMN:
        return name;
    case PERCENT_COLUMN:
        return percent;
    case SIZE_COLUMN:
        return size;
    case PATH_COLUMN:
        return path;
    default:
        return none;
    }
}

void MergeChanges(LiveRows& rows, ListedDownloads& listed, const RowOrder& order,
                  const std::vector<DownloadChange>& changes)
{
    Merge merge(rows, listed, order);
    for (const DownloadChange& change : changes)
        merge.Apply(change);
}

void ListedDownloads::Clear()
{
    m_idByPath.clear();
    m_byId.clear();
    m_nextId = 0;
}

std::intptr_t ListedDownloads::Add(const ListedDownload& download)
{
    const std::intptr_t id = m_nextId++;
    m_idByPath[download.path] = id;
    m_byId[id] = download;
    return id;
}

void ListedDownloads::Remove(std::intptr_t id)
{
    const auto listed = m_byId.find(id);
    if (listed == m_byId.end())
        return;
    // A path listed twice (by overlapping patterns) names its later row.
    const auto byPath = m_idByPath.find(listed->second.path);
    if (byPath != m_idByPath.end() && byPath->second == id)
        m_idByPath.erase(byPath);
    m_byId.erase(listed);
}

void ListedDownloads::Update(std::intptr_t id, const ListedDownload& download)
{
    const auto listed = m_byId.find(id);
    if (listed != m_byId.end())
        listed->second = download;
}

std::optional<std::intptr_t> ListedDownloads::IdOf(const std::string& path) const
{
    const auto found = m_idByPath.find(path);
    if (found == m_idByPath.end())
        return std::nullopt;
    return found->second;
}

const ListedDownload* ListedDownloads::Find(std::intptr_t id) const
{
    const auto listed = m_byId.find(id);
    return listed == m_byId.end() ? nullptr : &listed->second;
}

std::vector<std::string> ListedDownloads::PathsUnder(const std::string& directory) const
{
    std::vector<std::string> paths;
    for (auto it = m_idByPath.lower_bound(directory);
         it != m_idByPath.end() && it->first.compare(0, directory.size(), directory) == 0; ++it)
        paths.push_back(it->first);
    return paths;
}

bool MatchesPattern(const std::string& name, const std::string& pattern)
{
    // Backtracking to the last star is enough: a later star can only match more of the name.
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starAt = std::string::npos;
    std::size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || Folded(pattern[p]) == Folded(name[n]))) {
            ++p;
            ++n;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string DownloadOfChangedFile(const std::string& path, const std::vector<std::string>& patterns)
{
    const auto matches = [&](const std::string& candidate) {
        const std::string name = candidate.substr(candidate.find_last_of('\\') + 1);
        for (const std::string& pattern : patterns)
            if (MatchesPattern(name, pattern))
                return true;
        return false;
    };
    if (matches(path))
        return path;
    constexpr std::string_view METADATA_SUFFIX = ".met";
    if (path.size() > METADATA_SUFFIX.size()) {
        const std::size_t cut = path.size() - METADATA_SUFFIX.size();
        std::string suffix = path.substr(cut);
        for (char& c : suffix)
            c = Folded(c);
        if (suffix == METADATA_SUFFIX && matches(path.substr(0, cut)))
            return path.substr(0, cut);
    }
    return {};
}

} // namespace pg
