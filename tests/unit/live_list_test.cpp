#include "catalogue/ListText.h"
#include "catalogue/LiveList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

namespace {

using pg::DownloadChange;
using pg::ListedDownload;
using pg::RowOrder;
using Strings = std::vector<std::string>;

// Rows in memory, each an id of the listed downloads with a selection mark that travels with it;
// counts the rows it is asked about.
class MemoryLiveRows : public pg::LiveRows
{
public:
    struct Row
    {
        std::intptr_t id = 0;
        bool selected = false;
    };

    // A row of its own for each download, in the given order.
    void Show(const std::vector<ListedDownload>& downloads, const std::set<std::string>& selected = {})
    {
        for (const ListedDownload& download : downloads)
            m_rows.push_back({m_listed.Add(download), selected.count(download.path) != 0});
    }

    int RowCount() const override { return static_cast<int>(m_rows.size()); }
    int ColumnCount() const override { return 4; }
    std::string CellText(int row, int column) const override { return Shown(row).Cell(column); }
    void ReorderRows(int, const std::vector<int>&) override { FAIL() << "the merge never sorts"; }
    std::intptr_t RowId(int row) const override
    {
        ++m_reads;
        return m_rows.at(static_cast<std::size_t>(row)).id;
    }
    int FindId(std::intptr_t id, int from) const override
    {
        for (int row = from; row < RowCount(); ++row)
            if (RowId(row) == id)
                return row;
        return -1;
    }
    void RemoveRow(int row) override { m_rows.erase(m_rows.begin() + Checked(row, 0)); }
    void SetRow(int row, const ListedDownload& download) override { CheckShows(row, download); }
    void MoveRow(int from, int to, const ListedDownload& download) override
    {
        CheckShows(from, download);
        const Row moved = m_rows.at(Checked(from, 0));
        m_rows.erase(m_rows.begin() + from);
        m_rows.insert(m_rows.begin() + Checked(to, 1), moved);
    }
    void InsertRow(int row, const ListedDownload& download, std::intptr_t id) override
    {
        EXPECT_EQ(download.path, m_listed.Find(id)->path);
        m_rows.insert(m_rows.begin() + Checked(row, 1), Row{id, false});
    }

    const ListedDownload& Shown(int row) const
    {
        return *m_listed.Find(m_rows.at(static_cast<std::size_t>(row)).id);
    }
    Strings Names() const
    {
        Strings names;
        for (int row = 0; row < RowCount(); ++row)
            names.push_back(Shown(row).name);
        return names;
    }

    pg::ListedDownloads m_listed;
    std::vector<Row> m_rows;
    mutable int m_reads = 0;

private:
    // A row index, which may be one past the last row where a row is inserted.
    std::size_t Checked(int row, int pastLast) const
    {
        EXPECT_GE(row, 0);
        EXPECT_LE(row, RowCount() - 1 + pastLast);
        return static_cast<std::size_t>(row);
    }
    // The row that gets new texts is the download's.
    void CheckShows(int row, const ListedDownload& download) const
    {
        EXPECT_EQ(download.path, Shown(static_cast<int>(Checked(row, 0))).path);
    }
};

ListedDownload Download(const std::string& name, int percent, std::uint64_t bytes, const std::string& path)
{
    return {name, std::to_string(percent), pg::SizeText(bytes), path, bytes};
}

// -1, 0 or 1 as `order` puts a before b.
int Compare(const RowOrder& order, const ListedDownload& a, const ListedDownload& b)
{
    if (order.column == RowOrder::LARGEST_FIRST)
        return a.bytes > b.bytes ? -1 : a.bytes < b.bytes ? 1 : 0;
    const int compared = pg::CompareCells(order.column, a.Cell(order.column), b.Cell(order.column));
    return order.ascending ? compared : -compared;
}

TEST(LiveListTest, ChangedRowsMoveWhereTheSortPutsThemAndTheOthersStay)
{
    MemoryLiveRows rows;
    std::vector<ListedDownload> fruit;
    for (const char* name : {"apple", "cherry", "melon", "plum"})
        fruit.push_back(Download(name, 10, 100, std::string("C:\\t\\") + name + ".part"));
    rows.Show(fruit, {"C:\\t\\cherry.part"});
    const RowOrder byName{pg::NAME_COLUMN, true};

    // cherry's name changes to zucchini, a new banana comes, melon goes, plum's share changes in place.
    pg::MergeChanges(rows, rows.m_listed, byName,
                     {{"C:\\t\\cherry.part", Download("zucchini", 10, 100, "C:\\t\\cherry.part")},
                      {"C:\\t\\banana.part", Download("banana", 0, 5, "C:\\t\\banana.part")},
                      {"C:\\t\\melon.part", std::nullopt},
                      {"C:\\t\\plum.part", Download("plum", 60, 100, "C:\\t\\plum.part")},
                      {"C:\\t\\never-listed.part", std::nullopt}});
    EXPECT_EQ((Strings{"apple", "banana", "plum", "zucchini"}), rows.Names());
    EXPECT_TRUE(rows.m_rows[3].selected);
    EXPECT_EQ("60", rows.Shown(2).percent);
    EXPECT_FALSE(rows.m_listed.IdOf("C:\\t\\melon.part"));
    EXPECT_EQ(4u, rows.m_listed.Count());

    // Largest first, as a refresh lists: a new download goes before those of its size, a grown one
    // moves up, and one whose size is still between its neighbours' stays.
    MemoryLiveRows bySize;
    bySize.Show({Download("a", 0, 300, "a"), Download("b", 0, 200, "b"), Download("c", 0, 200, "c"),
                 Download("d", 0, 100, "d")});
    pg::MergeChanges(bySize, bySize.m_listed, RowOrder(),
                     {{"e", Download("e", 0, 200, "e")},
                      {"d", Download("d", 0, 250, "d")},
                      {"c", Download("c", 0, 200, "c")}});
    EXPECT_EQ((Strings{"a", "d", "e", "b", "c"}), bySize.Names());

    // Rows out of order (their item data set by someone else) are still found, the slow way.
    MemoryLiveRows unordered;
    unordered.Show({Download("c", 0, 1, "c"), Download("a", 0, 1, "a"), Download("b", 0, 1, "b")});
    pg::MergeChanges(unordered, unordered.m_listed, byName, {{"c", Download("c", 50, 1, "c")}});
    EXPECT_EQ((Strings{"a", "b", "c"}), unordered.Names());
    EXPECT_EQ(3u, unordered.m_listed.Count());
}

// Random lists in every order, full of equal keys, and random batches of changes: the rows end up
// showing exactly the downloads as last read, in order, the untouched ones in their previous
// order, the selection with its downloads, and each change looks at a few rows however many there
// are (besides those whose key equals its own).
TEST(LiveListTest, RandomBatchesKeepTheListOrderedAndComplete)
{
    std::mt19937 random(20261208);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const Strings names{"a", "B", "b", "Zebra", "apple", "", "\xe4rger", "film 2.avi"};
    const std::uint64_t sizes[] = {0, 1023, 1024, 5000, 1u << 20, 3u << 29, 5ull << 30};
    // Random fields; a few equal keys in every column but the path, many in the large lists.
    const auto randomDownload = [&](const std::string& path, int variety) {
        return Download(names[static_cast<std::size_t>(pick(8))] + std::to_string(pick(variety)),
                        pick(variety) * 3, sizes[pick(7)] + static_cast<std::uint64_t>(pick(variety)), path);
    };
    const std::vector<RowOrder> orders = {
        {},
        {pg::NAME_COLUMN, true},
        {pg::NAME_COLUMN, false},
        {pg::PERCENT_COLUMN, true},
        {pg::SIZE_COLUMN, false},
        {pg::PATH_COLUMN, true},
    };
    for (const RowOrder& order : orders) {
        for (int round = 0; round < 60; ++round) {
            const int count = pick(round < 50 ? 40 : 1500);
            const int variety = std::max(count / 2, 1);
            std::map<std::string, ListedDownload> expected;
            std::vector<ListedDownload> downloads;
            std::set<std::string> selected;
            for (int i = 0; i < count; ++i) {
                const std::string path = "C:\\t\\" + std::to_string(i) + ".part";
                downloads.push_back(expected[path] = randomDownload(path, variety));
                if (pick(10) == 0)
                    selected.insert(path);
            }
            std::stable_sort(downloads.begin(), downloads.end(),
                             [&](const auto& x, const auto& y) { return Compare(order, x, y) < 0; });
            MemoryLiveRows rows;
            rows.Show(downloads, selected);

            std::vector<DownloadChange> changes;
            std::set<std::string> touched;
            const int changeCount = 1 + pick(12);
            for (int c = 0; c < changeCount; ++c) {
                // Listed downloads, new ones, and now and then the same one twice.
                const std::string path = "C:\\t\\" + std::to_string(pick(count + 5)) + ".part";
                touched.insert(path);
                if (pick(4) == 0) {
                    changes.push_back({path, std::nullopt});
                    expected.erase(path);
                    selected.erase(path);
                } else {
                    changes.push_back({path, randomDownload(path, variety)});
                    expected[path] = *changes.back().row;
                }
            }
            Strings untouchedBefore;
            for (int row = 0; row < rows.RowCount(); ++row)
                if (!touched.count(rows.Shown(row).path))
                    untouchedBefore.push_back(rows.Shown(row).path);

            // The longest run of rows equal in the order, which finding a row may have to walk.
            int longestRun = 0;
            for (std::size_t i = 0, run = 0; i < downloads.size(); ++i) {
                run = i > 0 && Compare(order, downloads[i - 1], downloads[i]) == 0 ? run + 1 : 1;
                longestRun = std::max(longestRun, static_cast<int>(run));
            }

            rows.m_reads = 0;
            pg::MergeChanges(rows, rows.m_listed, order, changes);
            const std::string where =
                "order " + std::to_string(order.column) + " round " + std::to_string(round);

            ASSERT_EQ(expected.size(), rows.m_rows.size()) << where;
            EXPECT_EQ(expected.size(), rows.m_listed.Count()) << where;
            Strings untouchedAfter;
            std::set<std::string> selectedAfter;
            for (int row = 0; row < rows.RowCount(); ++row) {
                const ListedDownload& shown = rows.Shown(row);
                ASSERT_TRUE(expected.count(shown.path)) << where;
                EXPECT_EQ(expected[shown.path].Cells(), shown.Cells()) << where;
                EXPECT_EQ(expected[shown.path].bytes, shown.bytes) << where;
                if (row > 0) {
                    EXPECT_LE(Compare(order, rows.Shown(row - 1), shown), 0) << where << " row " << row;
                }
                if (!touched.count(shown.path))
                    untouchedAfter.push_back(shown.path);
                if (rows.m_rows[static_cast<std::size_t>(row)].selected)
                    selectedAfter.insert(shown.path);
            }
            EXPECT_EQ(untouchedBefore, untouchedAfter) << where;
            EXPECT_EQ(selected, selectedAfter) << where;
            const int perChange = 4 * static_cast<int>(std::ceil(std::log2(count + changeCount + 1))) + 8 +
                                  longestRun + changeCount;
            EXPECT_LE(rows.m_reads, changeCount * perChange) << where;
        }
    }
}

TEST(LiveListTest, ListedDownloadsNameEachRowAndFindThoseBelowADirectory)
{
    pg::ListedDownloads listed;
    const std::intptr_t a = listed.Add(Download("a", 0, 10, "C:\\t\\a.part"));
    const std::intptr_t sub = listed.Add(Download("b", 0, 20, "C:\\t\\sub\\b.part"));
    listed.Add(Download("c", 0, 30, "C:\\t\\sub2\\c.part"));
    listed.Add(Download("d", 0, 40, "C:\\t\\sub\\deeper\\d.part"));
    EXPECT_NE(a, sub);
    EXPECT_EQ((Strings{"C:\\t\\sub\\b.part", "C:\\t\\sub\\deeper\\d.part"}),
              listed.PathsUnder("C:\\t\\sub\\"));
    EXPECT_EQ(4u, listed.PathsUnder("").size());
    listed.Update(sub, Download("b", 5, 25, "C:\\t\\sub\\b.part"));
    EXPECT_EQ(25u, listed.Find(sub)->bytes);
    listed.Remove(sub);
    EXPECT_FALSE(listed.IdOf("C:\\t\\sub\\b.part"));
    EXPECT_EQ(nullptr, listed.Find(sub));

    // Overlapping patterns list a file twice: the path names its later row, also after the earlier goes.
    const std::intptr_t twice = listed.Add(Download("a", 0, 10, "C:\\t\\a.part"));
    listed.Remove(a);
    EXPECT_EQ(twice, listed.IdOf("C:\\t\\a.part"));
    listed.Clear();
    EXPECT_EQ(0u, listed.Count());
    EXPECT_EQ(0, listed.Add(Download("a", 0, 10, "C:\\t\\a.part")));
}

TEST(LiveListTest, ChangedFilesNameTheirDownloads)
{
    const Strings parts{"*.part"};
    const std::map<std::string, std::string> cases = {
        {"C:\\t\\001.part", "C:\\t\\001.part"},
        {"C:\\t\\sub\\001.part.met", "C:\\t\\sub\\001.part"},
        {"C:\\t\\001.PART.MET", "C:\\t\\001.PART"},
        {"C:\\t\\001.part.met.bak", ""},
        {"C:\\t\\001.part.metx", ""},
        {"C:\\t\\known.met", ""},
        {"C:\\t\\x.part\\notes.txt", ""},
        {".met", ""},
    };
    for (const auto& [path, download] : cases)
        EXPECT_EQ(download, pg::DownloadOfChangedFile(path, parts)) << path;
    EXPECT_EQ("C:\\t\\a.avi", pg::DownloadOfChangedFile("C:\\t\\a.avi.met", {"*.part", "*.avi"}));
    EXPECT_EQ("a.part.met", pg::DownloadOfChangedFile("a.part.met", {"*"}));
}

TEST(LiveListTest, PatternsMatchWithTheWildcardsOfTheFindFunctions)
{
    const std::vector<std::tuple<const char*, const char*, bool>> cases = {
        {"001.part", "*.part", true},
        {"001.Part", "*.PART", true},
        {"001.part.met", "*.part", false},
        {".part", "*.part", true},
        {"a.part", "?.part", true},
        {"ab.part", "?.part", false},
        {"a.b.part", "*.*.part", true},
        {"abc", "*", true},
        {"", "*", true},
        {"abc", "a*c*", true},
        {"abcb", "*b", true},
        {"abca", "*b", false},
        {"x.part", "x.part", true},
        {"x.part", "x.par", false},
        {"x.par", "x.part", false},
        {"mississippi", "*iss*ip*", true},
        {"aaa", "a*a*a*a", false},
    };
    for (const auto& [name, pattern, matches] : cases)
        EXPECT_EQ(matches, pg::MatchesPattern(name, pattern)) << name << " ~ " << pattern;
}

} // namespace
