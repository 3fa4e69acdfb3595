#include "catalogue/LiveList.h"

#include <cctype>

namespace pg {

namespace {

// -1 when the download goes before the row in `order`, 1 when after it, 0 when the two are equal.
int CompareToRow(const LiveRows& rows, const RowOrder& order, const ListedDownload& download, int row)
{
    if (order.column == RowOrder::LARGEST_FIRST) {
        const std::uint64_t bytes = rows.RowBytes(row);
        return download.bytes > bytes ? -1 : download.bytes < bytes ? 1 : 0;
    }
    const std::vector<std::string> cells = download.Cells();
    const std::string& text =
        static_cast<std::size_t>(order.column) < cells.size() ? cells[order.column] : std::string();
    const int compared = CompareCells(order.column, text, rows.CellText(row, order.column));
    return order.ascending ? compared : -compared;
}

// Where the download goes among the rows other than `skipped` (-1: none), before the rows equal to
// it: an index counted without the skipped row.
int Position(const LiveRows& rows, const RowOrder& order, const ListedDownload& download, int skipped)
{
    int low = 0;
    int high = rows.RowCount() - (skipped >= 0 ? 1 : 0);
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const int row = skipped >= 0 && middle >= skipped ? middle + 1 : middle;
        if (CompareToRow(rows, order, download, row) > 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// Whether the order allows the download at the row's place, between its two neighbours.
bool FitsAt(const LiveRows& rows, const RowOrder& order, const ListedDownload& download, int row)
{
    return (row == 0 || CompareToRow(rows, order, download, row - 1) >= 0) &&
           (row + 1 == rows.RowCount() || CompareToRow(rows, order, download, row + 1) <= 0);
}

char Folded(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

void MergeChanges(LiveRows& rows, const RowOrder& order, const std::vector<DownloadChange>& changes)
{
    for (const DownloadChange& change : changes) {
        const int row = rows.FindRow(change.path);
        if (!change.row) {
            if (row >= 0)
                rows.RemoveRow(row);
        } else if (row < 0) {
            rows.InsertRow(Position(rows, order, *change.row, -1), *change.row);
        } else if (FitsAt(rows, order, *change.row, row)) {
            rows.SetRow(row, *change.row);
        } else {
            rows.MoveRow(row, Position(rows, order, *change.row, row), *change.row);
        }
    }
}

void ListedDownloads::Clear()
{
    m_idByPath.clear();
    m_byId.clear();
    m_nextId = 0;
}

std::intptr_t ListedDownloads::Add(const std::string& path, std::uint64_t bytes)
{
    const std::intptr_t id = m_nextId++;
    m_idByPath[path] = id;
    m_byId[id] = {path, bytes};
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

void ListedDownloads::SetBytes(std::intptr_t id, std::uint64_t bytes)
{
    const auto listed = m_byId.find(id);
    if (listed != m_byId.end())
        listed->second.bytes = bytes;
}

std::optional<std::intptr_t> ListedDownloads::IdOf(const std::string& path) const
{
    const auto found = m_idByPath.find(path);
    if (found == m_idByPath.end())
        return std::nullopt;
    return found->second;
}

std::uint64_t ListedDownloads::BytesOf(std::intptr_t id) const
{
    const auto listed = m_byId.find(id);
    return listed == m_byId.end() ? 0 : listed->second.bytes;
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
