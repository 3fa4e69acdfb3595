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

// Rows in memory, each with a selection mark that travels with it; counts the rows it is asked about.
class MemoryLiveRows : public pg::LiveRows
{
public:
    struct Row
    {
        ListedDownload download;
        bool selected = false;
    };

    int RowCount() const override { return static_cast<int>(m_rows.size()); }
    int ColumnCount() const override { return 4; }
    std::string CellText(int row, int column) const override
    {
        ++m_reads;
        return At(row).download.Cells().at(static_cast<std::size_t>(column));
    }
    void ReorderRows(int, const std::vector<int>&) override { FAIL() << "the merge never sorts"; }
    int FindRow(const std::string& path) const override
    {
        for (std::size_t row = 0; row < m_rows.size(); ++row)
            if (m_rows[row].download.path == path)
                return static_cast<int>(row);
        return -1;
    }
    std::uint64_t RowBytes(int row) const override
    {
        ++m_reads;
        return At(row).download.bytes;
    }
    void RemoveRow(int row) override { m_rows.erase(m_rows.begin() + Checked(row, 0)); }
    void SetRow(int row, const ListedDownload& download) override
    {
        m_rows.at(Checked(row, 0)).download = download;
    }
    void MoveRow(int from, int to, const ListedDownload& download) override
    {
        Row moved = m_rows.at(Checked(from, 0));
        moved.download = download;
        m_rows.erase(m_rows.begin() + from);
        m_rows.insert(m_rows.begin() + Checked(to, 1), moved);
    }
    void InsertRow(int row, const ListedDownload& download) override
    {
        m_rows.insert(m_rows.begin() + Checked(row, 1), Row{download, false});
    }

    Strings Names() const
    {
        Strings names;
        for (const Row& row : m_rows)
            names.push_back(row.download.name);
        return names;
    }

    std::vector<Row> m_rows;
    mutable int m_reads = 0;

private:
    const Row& At(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }
    // A row index, which may be one past the last row where a row is inserted.
    std::size_t Checked(int row, int pastLast) const
    {
        EXPECT_GE(row, 0);
        EXPECT_LE(row, RowCount() - 1 + pastLast);
        return static_cast<std::size_t>(row);
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
    const int compared = pg::CompareCells(order.column, a.Cells()[order.column], b.Cells()[order.column]);
    return order.ascending ? compared : -compared;
}

TEST(LiveListTest, ChangedRowsMoveWhereTheSortPutsThemAndTheOthersStay)
{
    MemoryLiveRows rows;
    for (const char* name : {"apple", "cherry", "melon", "plum"})
        rows.m_rows.push_back({Download(name, 10, 100, std::string("C:\\t\\") + name + ".part")});
    rows.m_rows[1].selected = true;
    const RowOrder byName{pg::NAME_COLUMN, true};

    // cherry's name changes to zucchini, a new banana comes, melon goes, plum's share changes in place.
    pg::MergeChanges(rows, byName,
                     {{"C:\\t\\cherry.part", Download("zucchini", 10, 100, "C:\\t\\cherry.part")},
                      {"C:\\t\\banana.part", Download("banana", 0, 5, "C:\\t\\banana.part")},
                      {"C:\\t\\melon.part", std::nullopt},
                      {"C:\\t\\plum.part", Download("plum", 60, 100, "C:\\t\\plum.part")},
                      {"C:\\t\\never-listed.part", std::nullopt}});
    EXPECT_EQ((Strings{"apple", "banana", "plum", "zucchini"}), rows.Names());
    EXPECT_TRUE(rows.m_rows[3].selected);
    EXPECT_EQ("60", rows.m_rows[2].download.percent);

    // Largest first, as a refresh lists: a new download goes before those of its size, a grown one
    // moves up, and one whose size is still between its neighbours' stays.
    const RowOrder largestFirst;
    MemoryLiveRows bySize;
    for (const auto& [name, bytes] :
         std::map<std::string, int>{{"a", 300}, {"b", 200}, {"c", 200}, {"d", 100}})
        bySize.m_rows.push_back({Download(name, 0, static_cast<std::uint64_t>(bytes), name)});
    std::sort(bySize.m_rows.begin(), bySize.m_rows.end(),
              [](const auto& x, const auto& y) { return x.download.bytes > y.download.bytes; });
    pg::MergeChanges(bySize, largestFirst,
                     {{"e", Download("e", 0, 200, "e")},
                      {"d", Download("d", 0, 250, "d")},
                      {"c", Download("c", 0, 200, "c")}});
    EXPECT_EQ((Strings{"a", "d", "e", "b", "c"}), bySize.Names());
}

// Random lists in every order, full of equal keys, and random batches of changes: the rows end up
// showing exactly the downloads as last read, in order, the untouched ones in their previous
// order, the selection with its downloads, and each change reads a few rows however many there are.
TEST(LiveListTest, RandomBatchesKeepTheListOrderedAndComplete)
{
    std::mt19937 random(20261208);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const Strings names{"a", "B", "b", "Zebra", "apple", "", "\xe4rger", "film 2.avi"};
    const std::uint64_t sizes[] = {0, 1023, 1024, 5000, 1u << 20, 3u << 29, 5ull << 30};
    const auto randomDownload = [&](const std::string& path) {
        return Download(names[static_cast<std::size_t>(pick(8))], pick(4) * 33,
                        sizes[pick(7)] + static_cast<std::uint64_t>(pick(3)), path);
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
            MemoryLiveRows rows;
            std::map<std::string, ListedDownload> expected;
            const int count = pick(round < 50 ? 40 : 2000);
            for (int i = 0; i < count; ++i) {
                const std::string path = "C:\\t\\" + std::to_string(i) + ".part";
                expected[path] = randomDownload(path);
                rows.m_rows.push_back({expected[path], pick(10) == 0});
            }
            std::stable_sort(rows.m_rows.begin(), rows.m_rows.end(), [&](const auto& x, const auto& y) {
                return Compare(order, x.download, y.download) < 0;
            });
            std::set<std::string> selected;
            for (const auto& row : rows.m_rows)
                if (row.selected)
                    selected.insert(row.download.path);

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
                    changes.push_back({path, randomDownload(path)});
                    expected[path] = *changes.back().row;
                }
            }
            Strings untouchedBefore;
            for (const auto& row : rows.m_rows)
                if (!touched.count(row.download.path))
                    untouchedBefore.push_back(row.download.path);

            rows.m_reads = 0;
            pg::MergeChanges(rows, order, changes);
            const std::string where =
                "order " + std::to_string(order.column) + " round " + std::to_string(round);

            ASSERT_EQ(expected.size(), rows.m_rows.size()) << where;
            Strings untouchedAfter;
            std::set<std::string> selectedAfter;
            for (std::size_t i = 0; i < rows.m_rows.size(); ++i) {
                const ListedDownload& shown = rows.m_rows[i].download;
                ASSERT_TRUE(expected.count(shown.path)) << where;
                EXPECT_EQ(expected[shown.path].Cells(), shown.Cells()) << where;
                EXPECT_EQ(expected[shown.path].bytes, shown.bytes) << where;
                if (i > 0) {
                    EXPECT_LE(Compare(order, rows.m_rows[i - 1].download, shown), 0) << where << " row " << i;
                }
                if (!touched.count(shown.path))
                    untouchedAfter.push_back(shown.path);
                if (rows.m_rows[i].selected)
                    selectedAfter.insert(shown.path);
            }
            EXPECT_EQ(untouchedBefore, untouchedAfter) << where;
            EXPECT_EQ(selected, selectedAfter) << where;
            const int perChange = 2 * static_cast<int>(std::ceil(std::log2(count + changeCount + 1))) + 4;
            EXPECT_LE(rows.m_reads, changeCount * perChange) << where;
        }
    }
}

TEST(LiveListTest, ListedDownloadsNameEachRowAndFindThoseBelowADirectory)
{
    pg::ListedDownloads listed;
    const std::intptr_t a = listed.Add("C:\\t\\a.part", 10);
    const std::intptr_t sub = listed.Add("C:\\t\\sub\\b.part", 20);
    listed.Add("C:\\t\\sub2\\c.part", 30);
    listed.Add("C:\\t\\sub\\deeper\\d.part", 40);
    EXPECT_NE(a, sub);
    EXPECT_EQ((Strings{"C:\\t\\sub\\b.part", "C:\\t\\sub\\deeper\\d.part"}),
              listed.PathsUnder("C:\\t\\sub\\"));
    listed.SetBytes(sub, 25);
    EXPECT_EQ(25u, listed.BytesOf(sub));
    listed.Remove(sub);
    EXPECT_FALSE(listed.IdOf("C:\\t\\sub\\b.part"));
    EXPECT_EQ(3u, listed.Count());

    // Overlapping patterns list a file twice: the path names its later row, also after the earlier goes.
    const std::intptr_t twice = listed.Add("C:\\t\\a.part", 10);
    listed.Remove(a);
    EXPECT_EQ(twice, listed.IdOf("C:\\t\\a.part"));
    listed.Clear();
    EXPECT_EQ(0u, listed.Count());
    EXPECT_EQ(0, listed.Add("C:\\t\\a.part", 10));
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
