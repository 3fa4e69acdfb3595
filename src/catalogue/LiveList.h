#pragma once
// Keeping the download list in step with the temp directory between refreshes: which download a
// changed file stands for, which downloads the rows show, and the merge of downloads read again
// into rows that stand in a sort order, every other row keeping its place.
#include "catalogue/ListSort.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace pg {

// The order the rows stand in: the refresh's (largest file first) or a header sort's.
struct RowOrder
{
    static constexpr int LARGEST_FIRST = -1;
    int column = LARGEST_FIRST;
    bool ascending = false;
};

// One download as its row shows it, with the exact size by which a refresh orders the rows.
struct ListedDownload
{
    std::string name;
    std::string percent;
    std::string size;
    std::string path;
    std::uint64_t bytes = 0;

    // The texts of the row's columns, first to last.
    std::vector<std::string> Cells() const { return {name, percent, size, path}; }
    // The text of one column; empty beyond the last.
    const std::string& Cell(int column) const;
};

// A download read again after a change: its row as it now reads, or none when it has gone.
struct DownloadChange
{
    std::string path;
    std::optional<ListedDownload> row;
};

// The rows as the merge changes them. Each row carries an id (its item data) that names the
// download it shows in ListedDownloads.
class LiveRows : public RowTable
{
public:
    virtual std::intptr_t RowId(int row) const = 0;
    // The first row from `from` on that carries the id, -1 when none does.
    virtual int FindId(std::intptr_t id, int from) const = 0;
    virtual void RemoveRow(int row) = 0;
    // New texts for a row that keeps its place.
    virtual void SetRow(int row, const ListedDownload& download) = 0;
    // Takes the row out and puts it back with new texts where it then stands at `to`; its id,
    // selection and focus go with it.
    virtual void MoveRow(int from, int to, const ListedDownload& download) = 0;
    virtual void InsertRow(int row, const ListedDownload& download, std::intptr_t id) = 0;
};

// Which downloads the rows show, by the ids the rows carry: each one's texts and exact size as
// its row shows them.
class ListedDownloads
{
public:
    void Clear();
    // Records a download that a new row shows; yields the id the row carries, distinct among them.
    std::intptr_t Add(const ListedDownload& download);
    void Remove(std::intptr_t id);
    void Update(std::intptr_t id, const ListedDownload& download);

    std::optional<std::intptr_t> IdOf(const std::string& path) const;
    // The download of an id, null when none has it.
    const ListedDownload* Find(std::intptr_t id) const;
    // The downloads below a directory (a path ending in a backslash; empty: all of them).
    std::vector<std::string> PathsUnder(const std::string& directory) const;
    std::size_t Count() const { return m_byId.size(); }

private:
    std::map<std::string, std::intptr_t> m_idByPath;
    std::unordered_map<std::intptr_t, ListedDownload> m_byId;
    std::intptr_t m_nextId = 0;
};

// Applies the changes one after the other to rows that stand in `order` and show the `listed`
// downloads, and keeps the record in step: a download that has gone loses its row, a new one gets
// a row where the order puts it, before the rows equal to it; a changed one keeps its place while
// the order allows, and otherwise moves where the order puts it. A row is found by halving on the
// order's key and then looking through the rows of an equal key, so each change looks at a few
// rows whatever their number.
void MergeChanges(LiveRows& rows, ListedDownloads& listed, const RowOrder& order,
                  const std::vector<DownloadChange>& changes);

// Whether a file name matches a scan pattern with the platform's wildcards (`*` any run, `?` any
// one character), letters compared without regard to case as the file system does.
bool MatchesPattern(const std::string& name, const std::string& pattern);

// The download that a changed file stands for: the file itself when its name matches one of the
// patterns, the data file beside it when it is that file's metadata (NNN.part.met for NNN.part);
// empty for any other file.
std::string DownloadOfChangedFile(const std::string& path, const std::vector<std::string>& patterns);

} // namespace pg
