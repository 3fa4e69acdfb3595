// The download list on a real temp-directory tree: the scan, the rows, the double-click, the
// input browse and header-click sorting on the real list view.
#include "CatalogueTree.h"
#include "GuiDriver.h"
#include "MainWindowFixture.h"
#include "TestSupport.h"
#include "Win32TestSupport.h"

#include "ClientFile.h"
#include "app/DirSettings.h"
#include "app/MainDialog.h"
#include "catalogue/FindFileLister.h"
#include "catalogue/MetadataPrefetch.h"
#include "catalogue/PartMetFile.h"
#include "framework/Strings.h"
#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace {

using pgtest::CatalogueTree;
using pgtest::MetFile;
using Row = std::vector<std::string>;

constexpr std::uint64_t KiB = 1024;
constexpr std::uint64_t MiB = KiB * 1024;
constexpr std::uint64_t GiB = MiB * 1024;

class CatalogueWindowTest : public pgtest::MainWindowFixture
{
protected:
    // Opens the main window with `tempDir` stored as the temp directory, so that it lists it at once.
    void Open(const std::string& tempDir)
    {
        ASSERT_EQ(S_OK, pg::WriteRegistryString(tempDir, pg::SETTINGS_KEY, pg::TEMP_DIR_VALUE));
        ASSERT_NE(nullptr, MainWindowFixture::Open());
    }

    HWND List() const { return Item(IDL_DOWNLOADS); }
    int RowCount() const { return static_cast<int>(::SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }

    std::vector<Row> Rows() const { return gui::ListRows(List(), 4); }

    std::vector<std::string> Column(int column) const
    {
        std::vector<std::string> texts;
        for (int row = 0; row < RowCount(); ++row)
            texts.push_back(gui::ListCell(List(), row, column));
        return texts;
    }

    void ClickRefresh() const { ::SendMessageA(Item(IDB_REFRESH), BM_CLICK, 0, 0); }

    // A click on a column heading, through the header control as the mouse makes it.
    void ClickHeader(int column) const
    {
        const HWND header = ::GetDlgItem(List(), 0);
        RECT rect{};
        ::SendMessageA(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&rect));
        const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        ::SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
        ::SendMessageA(header, WM_LBUTTONUP, 0, point);
    }

    void Select(const std::vector<int>& rows) const
    {
        LVITEMA none{};
        none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageA(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
        for (int row : rows) {
            LVITEMA item{};
            item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            item.state = LVIS_SELECTED | LVIS_FOCUSED;
            ::SendMessageA(List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
        }
    }

    std::vector<int> SelectedRows() const
    {
        std::vector<int> rows;
        int row = -1;
        while ((row = static_cast<int>(::SendMessageA(List(), LVM_GETNEXTITEM, row, LVNI_SELECTED))) != -1)
            rows.push_back(row);
        return rows;
    }

    // A double-click on a row, as the mouse makes it: the list reports it to the window.
    void DoubleClickRow(int row) const
    {
        RECT rect{};
        rect.left = LVIR_LABEL;
        ::SendMessageA(List(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        ::SendMessageA(List(), WM_LBUTTONDBLCLK, MK_LBUTTON,
                       MAKELPARAM(rect.left + 2, (rect.top + rect.bottom) / 2));
    }
};

// ---------------------------------------------------------------- rows of a real tree

TEST_F(CatalogueWindowTest, RowsShowNamePercentSizeAndPathLargestFirst)
{
    CatalogueTree tree;
    tree.Directory("sub");
    tree.Directory("x.part");
    tree.File("x.part\\notes.txt", "a directory named like a download");
    // Sizes above 2 GiB are unsigned 32-bit: 3 GiB of which half arrived is 50 %.
    const MetFile five = MetFile().Header().Name("Five.avi").Size(0xC0000000u).Copied(0x60000000u);
    const MetFile one = MetFile().Header().Name("One.mpg").Size(1000).Copied(1500);
    const MetFile alpha = MetFile().Header().Name("Alpha.avi").Size(1000000).Copied(250000);
    const MetFile echo = MetFile().Header().Name("Echo.avi").Size(1024).Copied(512);
    const MetFile golf = MetFile().Header().Name("Golf.avi").Size(0).Copied(100);
    const MetFile foxtrot = MetFile().Header().Name("Foxtrot.avi").Copied(100);
    const MetFile charlie = MetFile().Header().Name("  Charlie.avi \t").Size(100).Copied(1);
    const MetFile bravo = MetFile().Header().Name("Bravo.avi").Size(3).Copied(1);
    tree.Download("big5.part", 5 * GiB, &five);
    tree.Download("big1.part", 1 * GiB, &one);
    tree.Download("a.part", 1 * MiB, &alpha);
    tree.Download("e.part", 1 * MiB - 1, &echo);
    tree.Download("g.part", 2 * KiB, &golf);
    tree.Download("sub\\f.part", 2 * KiB, &foxtrot);
    tree.Download("d.part", 1 * KiB, nullptr);
    tree.Download("c.part", 1023, &charlie);
    tree.Download("b.part", 0, &bravo);
    const std::string root = tree.Root();

    Open(root);
    const std::vector<Row> expected = {
        {"Five.avi", "50", "5.00 GB", root + "big5.part"},
        {"One.mpg", "150", "1.00 GB", root + "big1.part"},
        {"Alpha.avi", "25", "1.00 MB", root + "a.part"},
        {"Echo.avi", "50", "1024.00 KB", root + "e.part"},
        // Equal sizes: the directory's own file is found after the sub-directory's and goes first.
        {"Golf.avi", "0", "2.00 KB", root + "g.part"},
        {"Foxtrot.avi", "0", "2.00 KB", root + "sub\\f.part"},
        {"", "0", "1.00 KB", root + "d.part"},
        {"Charlie.avi", "1", "1023   B", root + "c.part"},
        {"Bravo.avi", "33", "0   B", root + "b.part"},
    };
    EXPECT_EQ(expected, Rows());

    // The same after a refresh with the directory typed without its final backslash.
    ::SetWindowTextA(Item(IDE_TEMP_DIR), root.substr(0, root.size() - 1).c_str());
    ClickRefresh();
    EXPECT_EQ(root, ItemText(IDE_TEMP_DIR));
    EXPECT_EQ(expected, Rows());

    ::SetWindowTextA(Item(IDE_TEMP_DIR), (root + "missing\\").c_str());
    ClickRefresh();
    EXPECT_EQ(0, RowCount());
    EXPECT_EQ(0u, m_dialog->m_entries.Count());
}

TEST_F(CatalogueWindowTest, PatternTextScansEveryPieceIntoOneList)
{
    CatalogueTree tree;
    const MetFile film = MetFile().Header().Name("Film.avi").Size(100).Copied(100);
    tree.Download("one.part", 300, &film);
    tree.File("movie.avi", std::string(200, 'm'));
    tree.File("notes.txt", std::string(500, 'n'));
    tree.File("one.part.met.avi", std::string(100, 'x'));
    Open(tree.Root());

    m_dialog->m_patterns = " *.part ; ;*.avi";
    ClickRefresh();
    const std::vector<Row> expected = {
        {"Film.avi", "100", "300   B", tree.PathOf("one.part")},
        {"", "0", "200   B", tree.PathOf("movie.avi")},
        {"", "0", "100   B", tree.PathOf("one.part.met.avi")},
    };
    EXPECT_EQ(expected, Rows());
}

TEST_F(CatalogueWindowTest, LinkBackUpTheTreeIsListedOnceAndNotEntered)
{
    CatalogueTree tree;
    tree.Directory("sub");
    const MetFile inner = MetFile().Header().Name("Inner.avi");
    tree.Download("sub\\in.part", 20, &inner);
    tree.Download("top.part", 10, nullptr);
    ASSERT_TRUE(tree.DirectoryLink("sub\\loop", "..")) << "no directory link could be made";

    // The find data marks the link, which the scan then leaves alone.
    bool linkSeen = false;
    pg::FindFileLister().List(tree.PathOf("sub\\*"), [&](const pg::FoundItem& item) {
        if (item.name == "loop") {
            linkSeen = item.isLink && (item.attributes & pg::ATTRIBUTE_DIRECTORY) != 0;
        }
        return true;
    });
    EXPECT_TRUE(linkSeen);

    Open(tree.Root());
    EXPECT_EQ(Column(3), (std::vector<std::string>{tree.PathOf("sub\\in.part"), tree.PathOf("top.part")}));
    EXPECT_EQ("Inner.avi", gui::ListCell(List(), 0, 0));
}

TEST_F(CatalogueWindowTest, LinkToATreeOutsideIsScannedLikeASubDirectory)
{
    CatalogueTree tree;
    CatalogueTree outside;
    const MetFile film = MetFile().Header().Name("Outside.avi");
    outside.Download("far.part", 30, &film);
    tree.Download("near.part", 10, nullptr);
    ASSERT_TRUE(tree.DirectoryLink("elsewhere", outside.Root())) << "no directory link could be made";

    Open(tree.Root());
    EXPECT_EQ(Column(3),
              (std::vector<std::string>{tree.PathOf("elsewhere\\far.part"), tree.PathOf("near.part")}));
    EXPECT_EQ("Outside.avi", gui::ListCell(List(), 0, 0));
}

TEST_F(CatalogueWindowTest, ChainOfLinksLongerThanThePathLimitEnds)
{
    // Directories d0..d99 outside the temp directory, each with a download and a link on to the next.
    CatalogueTree tree;
    CatalogueTree outside;
    const std::string unixOutside = pgtest::UnixPathOf(outside.Root());
    ASSERT_FALSE(unixOutside.empty());
    ASSERT_TRUE(pgtest::StartUnixProgram("/bin/sh -c \"cd '" + unixOutside +
                                         "' && for i in $(seq 0 99); do mkdir d$i && : > d$i/x$i.part && "
                                         "ln -s ../d$((i + 1)) d$i/next; done; : > ready\""));
    ASSERT_TRUE(pgtest::WaitForAttributes(outside.PathOf("ready"), true));
    ASSERT_TRUE(tree.DirectoryLink("start", outside.PathOf("d0")));

    Open(tree.Root());
    // The paths grow by a link's name at every step, until the find functions take no longer one.
    const std::vector<std::string> paths = Column(3);
    EXPECT_GT(paths.size(), 20u);
    EXPECT_LT(paths.size(), 100u);
    EXPECT_NE(std::find(paths.begin(), paths.end(), tree.PathOf("start\\x0.part")), paths.end());
    // One Unix command takes the hundred links away, faster than the tree's own removal of each.
    pgtest::StartUnixProgram("/bin/sh -c \"rm -rf '" + unixOutside + "'d* '" + unixOutside + "'ready\"");
    pgtest::WaitForAttributes(outside.PathOf("ready"), false);
}

// File states of a tree, not following links: attributes, size, the three times and, for files of
// up to 2 MiB, every byte.
using FileState = std::tuple<DWORD, std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t, std::string>;

std::uint64_t Ticks(const FILETIME& time)
{
    return std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

void Snapshot(const std::string& directory, std::map<std::string, FileState>& states)
{
    WIN32_FIND_DATAA data{};
    const HANDLE find = ::FindFirstFileA((directory + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        const std::string path = directory + name;
        const std::uint64_t size = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
        const bool directoryEntry = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::string bytes;
        if (!directoryEntry && size <= 2 * MiB)
            bytes = pgtest::ReadWholeFile(path);
        if (name != "..")
            states[path] = {data.dwFileAttributes,        size,
                            Ticks(data.ftCreationTime),   Ticks(data.ftLastWriteTime),
                            Ticks(data.ftLastAccessTime), bytes};
        if (directoryEntry && name != "." && name != ".." &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            Snapshot(path + "\\", states);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}

TEST_F(CatalogueWindowTest, ListingNeverChangesTheClientsFiles)
{
    CatalogueTree tree;
    tree.Directory("sub");
    const MetFile film = MetFile().Header().Name("Film.avi").Size(4096).Copied(1024).Gap(0, 1024, 4096);
    const MetFile clip = MetFile().Header().Name("Clip.avi").Size(100).Copied(0).Gap(0, 0, 100);
    tree.Download("film.part", 1024, &film);
    tree.Download("sub\\clip.part", 2 * MiB, &clip);
    tree.Download("bare.part", 3 * GiB, nullptr);
    std::map<std::string, FileState> before;
    // A first pass reads everything once, so that the file system's relaxed access-time updates
    // (Linux relatime, as Wine shows it) have settled before the measured pass.
    Snapshot(tree.Root(), before);
    before.clear();
    Snapshot(tree.Root(), before);

    Open(tree.Root());
    ClickRefresh();
    Select({0, 1, 2});
    DoubleClickRow(0);
    ClickHeader(0);
    ClickHeader(2);
    ClickRefresh();
    ASSERT_EQ(3, RowCount());

    std::map<std::string, FileState> after;
    Snapshot(tree.Root(), after);
    EXPECT_EQ(before, after);
}

// ---------------------------------------------------------------- double-click and input browse

class CatalogueJobTest : public CatalogueWindowTest
{
protected:
    void SetUp() override
    {
        CatalogueWindowTest::SetUp();
        // The first gap of Film.avi starts after byte 0; Clip.avi lacks its first bytes.
        const MetFile film = MetFile().Header().Name("Film.avi").Size(9000).Copied(5000).Gap(0, 4000, 8000);
        const MetFile clip = MetFile().Header().Name("Clip.avi").Size(9000).Copied(4000).Gap(0, 0, 5000);
        m_tree.Download("film.part", 5000, &film);
        m_tree.Download("clip.part", 4000, &clip);
        // The output name is resolved against the current directory.
        ::GetCurrentDirectoryA(MAX_PATH, m_previousDirectory);
        ::SetCurrentDirectoryA(m_tree.Root().c_str());
        Open(m_tree.Root());
        ASSERT_EQ(2, RowCount());
    }
    void TearDown() override
    {
        CatalogueWindowTest::TearDown();
        ::SetCurrentDirectoryA(m_previousDirectory);
    }

    CatalogueTree m_tree;
    char m_previousDirectory[MAX_PATH] = {};
};

TEST_F(CatalogueJobTest, DoubleClickFillsTheJobAndGatesBothPlayButtons)
{
    m_tree.File("Film.avi.avi", "made earlier");
    ::SetWindowTextA(Item(IDE_WIDTH), "800");
    Select({0});
    DoubleClickRow(0);
    EXPECT_EQ(m_tree.PathOf("film.part"), ItemText(IDE_INPUT));
    EXPECT_EQ("Film.avi", ItemText(IDE_OUTPUT));
    EXPECT_EQ("Film.avi", ItemText(IDE_MEDIA_NAME));
    EXPECT_EQ("Film.avi", m_dialog->m_mediaName);
    EXPECT_EQ("800", ItemText(IDE_WIDTH)); // the other fields go through the exchange unchanged
    EXPECT_TRUE(::IsWindowEnabled(Item(IDB_PLAY_INPUT)));
    EXPECT_TRUE(::IsWindowEnabled(Item(IDB_PLAY_OUTPUT)));

    Select({1});
    DoubleClickRow(1);
    EXPECT_EQ(m_tree.PathOf("clip.part"), ItemText(IDE_INPUT));
    EXPECT_EQ("Clip.avi", ItemText(IDE_OUTPUT));
    EXPECT_FALSE(::IsWindowEnabled(Item(IDB_PLAY_INPUT)));
    EXPECT_FALSE(::IsWindowEnabled(Item(IDB_PLAY_OUTPUT)));
}

TEST_F(CatalogueJobTest, WithSeveralRowsSelectedTheLastOneDecides)
{
    m_tree.File("Film.avi.avi", "made earlier");
    Select({0, 1});
    DoubleClickRow(0);
    EXPECT_EQ(m_tree.PathOf("clip.part"), ItemText(IDE_INPUT));
    EXPECT_EQ("Clip.avi", ItemText(IDE_MEDIA_NAME));
    EXPECT_FALSE(::IsWindowEnabled(Item(IDB_PLAY_INPUT)));
    EXPECT_FALSE(::IsWindowEnabled(Item(IDB_PLAY_OUTPUT)));
}

TEST_F(CatalogueJobTest, LookupsOfTheWindow)
{
    EXPECT_EQ("Film.avi", m_dialog->GetPartInfo(m_tree.PathOf("film.part")));
    EXPECT_FLOAT_EQ(5000.0f / 9000.0f * 100.0f, m_dialog->m_percentReceived);
    EXPECT_EQ("", m_dialog->GetPartInfo(m_tree.PathOf("missing.part")));
    EXPECT_EQ(0.0f, m_dialog->m_percentReceived);
    EXPECT_EQ(4000, pg::MainDialog::GetFirstGapStart(m_tree.PathOf("film.part")));
    EXPECT_EQ(0, pg::MainDialog::GetFirstGapStart(m_tree.PathOf("clip.part")));
    EXPECT_EQ(0, pg::MainDialog::GetFirstGapStart(m_tree.PathOf("missing.part")));
}

// Chooses `path` in the input browse's file dialog and yields whether Play (input) is enabled after it.
bool PlayInputAfterChoosing(HWND dialog, const std::string& path)
{
    pgtest::WindowWatcher watcher("#32770", pg::LoadTranslated(IDS_INPUT_DIALOG_TITLE), [&](HWND box) {
        // The file-name field: a combo box (cmb13) in the explorer dialog of Windows, an edit (edt1) in
        // Wine's.
        HWND field = ::GetDlgItem(box, 0x47C);
        if (!field)
            field = ::GetDlgItem(box, 0x480);
        ::SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    ::SendMessageA(::GetDlgItem(dialog, IDB_BROWSE_INPUT), BM_CLICK, 0, 0);
    EXPECT_TRUE(watcher.Seen());
    return ::IsWindowEnabled(::GetDlgItem(dialog, IDB_PLAY_INPUT)) != FALSE;
}

TEST_F(CatalogueJobTest, InputBrowseEnablesPlayForAPartOnlyWithDataFromItsStart)
{
    const HWND dialog = m_dialog->GetSafeHwnd();
    m_tree.File("movie.avi", "not a download");
    EXPECT_TRUE(PlayInputAfterChoosing(dialog, m_tree.PathOf("film.part")));
    EXPECT_EQ(m_tree.PathOf("film.part"), ItemText(IDE_INPUT));
    EXPECT_EQ(m_tree.PathOf("film.part"), ItemText(IDE_MEDIA_NAME));
    EXPECT_FALSE(PlayInputAfterChoosing(dialog, m_tree.PathOf("clip.part")));
    EXPECT_TRUE(PlayInputAfterChoosing(dialog, m_tree.PathOf("movie.avi")));
    EXPECT_FALSE(PlayInputAfterChoosing(dialog, m_tree.PathOf("missing.part")));
}

// ---------------------------------------------------------------- sorting on the real list view

class CatalogueSortTest : public CatalogueWindowTest
{
protected:
    void SetUp() override
    {
        CatalogueWindowTest::SetUp();
        const MetFile apple = MetFile().Header().Name("apple.avi").Size(100).Copied(100);
        const MetFile zebra = MetFile().Header().Name("Zebra.avi").Size(100).Copied(40);
        const MetFile mango = MetFile().Header().Name("Mango.avi").Size(100).Copied(7);
        const MetFile longName = MetFile().Header().Name(LONG_NAME).Size(100).Copied(5);
        m_tree.Download("s1.part", 3 * GiB / 2, &apple);
        m_tree.Download("s2.part", 700 * MiB, &zebra);
        m_tree.Download("s3.part", 10, &mango);
        m_tree.Download("s4.part", 5000, &longName);
        Open(m_tree.Root());
        ASSERT_EQ((std::vector<std::string>{"1.50 GB", "700.00 MB", "4.88 KB", "10   B"}), Column(2));
        // Narrow columns, so that every heading lies inside the header and can be clicked.
        for (int column = 0; column < 4; ++column)
            ::SendMessageA(List(), LVM_SETCOLUMNWIDTH, column, 80);
        // Item data that must travel with its row: the parameter names the row's data file.
        SetParams(1);
    }

    // Each row's parameter becomes its file number divided by `divisor`.
    void SetParams(int divisor) const
    {
        for (int row = 0; row < RowCount(); ++row) {
            LVITEMA item{};
            item.mask = LVIF_PARAM;
            item.iItem = row;
            item.lParam = FileNumber(row) / divisor;
            ::SendMessageA(List(), LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        }
    }

    // n of the row's data file sn.part.
    int FileNumber(int row) const
    {
        const std::string path = gui::ListCell(List(), row, 3);
        return path[path.size() - 6] - '0';
    }

    // The names without their extension; the long name reads "Long".
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const std::string& name : Column(0))
            names.push_back(name == LONG_NAME ? "Long" : name.substr(0, name.find('.')));
        return names;
    }

    LPARAM Param(int row) const
    {
        LVITEMA item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        ::SendMessageA(List(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.lParam;
    }

    // Every row still carries the parameter it was given for its data file.
    void ExpectParamsTravelled(int divisor = 1) const
    {
        for (int row = 0; row < RowCount(); ++row)
            EXPECT_EQ(FileNumber(row) / divisor, Param(row)) << row;
    }

    static inline const std::string LONG_NAME = "Long" + std::string(300, 'l') + ".avi";
    CatalogueTree m_tree;
};

TEST_F(CatalogueSortTest, NameAscendingThenDescendingInByteOrder)
{
    ClickHeader(0);
    EXPECT_EQ((std::vector<std::string>{"Long", "Mango", "Zebra", "apple"}), Names());
    EXPECT_EQ(LONG_NAME, gui::ListCell(List(), 0, 0)); // read back and written back whole
    ClickHeader(0);
    EXPECT_EQ((std::vector<std::string>{"apple", "Zebra", "Mango", "Long"}), Names());
    EXPECT_EQ(0, m_dialog->m_sortColumn);
    EXPECT_EQ(0, m_dialog->m_sortAscending);
    ExpectParamsTravelled();
}

TEST_F(CatalogueSortTest, NumbersCompareByTheirLeadingDigits)
{
    ClickHeader(2);
    EXPECT_EQ((std::vector<std::string>{"1.50 GB", "4.88 KB", "10   B", "700.00 MB"}), Column(2));
    ClickHeader(1);
    EXPECT_EQ((std::vector<std::string>{"5", "7", "40", "100"}), Column(1));
    ClickHeader(3);
    EXPECT_EQ((std::vector<std::string>{"apple", "Zebra", "Mango", "Long"}), Names()); // s1 .. s4
    ExpectParamsTravelled();
    EXPECT_FALSE(m_dialog->SortNumericItems(4, true, 0, -1)); // beyond the header's columns
}

TEST_F(CatalogueSortTest, SelectedRowStaysSelectedWhereverItMoves)
{
    Select({1}); // Zebra
    ClickHeader(0);
    EXPECT_EQ((std::vector<int>{2}), SelectedRows());
    EXPECT_EQ(2, ::SendMessageA(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    EXPECT_EQ("Zebra.avi", gui::ListCell(List(), 2, 0));
    ClickHeader(2);
    EXPECT_EQ((std::vector<int>{3}), SelectedRows());
    EXPECT_EQ("Zebra.avi", gui::ListCell(List(), 3, 0));
}

// Item data shared by several rows cannot name a row to the control; it still travels with its row.
TEST_F(CatalogueSortTest, SharedItemDataTravelsWithItsRow)
{
    SetParams(2);
    Select({1}); // Zebra
    ClickHeader(0);
    ClickHeader(0);
    EXPECT_EQ((std::vector<std::string>{"apple", "Zebra", "Mango", "Long"}), Names());
    ClickHeader(1);
    EXPECT_EQ((std::vector<std::string>{"5", "7", "40", "100"}), Column(1));
    EXPECT_EQ((std::vector<int>{2}), SelectedRows());
    EXPECT_EQ("Zebra.avi", gui::ListCell(List(), 2, 0));
    ExpectParamsTravelled(2);
}

TEST_F(CatalogueSortTest, ClickAfterRefreshReversesTheLastDirection)
{
    ClickHeader(2);
    ClickRefresh();
    EXPECT_EQ((std::vector<std::string>{"apple", "Zebra", "Long", "Mango"}), Names()); // largest first again
    EXPECT_EQ(2, m_dialog->m_sortColumn);
    ClickHeader(2);
    EXPECT_EQ((std::vector<std::string>{"700.00 MB", "10   B", "4.88 KB", "1.50 GB"}), Column(2));
}

TEST(CatalogueFindDataTest, FileTimesBecomeSecondsSince1970)
{
    FILETIME time{};
    const std::uint64_t ticks = (1622548800ull + 11644473600ull) * 10000000ull; // 2021-06-01 12:00:00 UTC
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    EXPECT_EQ(1622548800, pg::LocalTimeSeconds(time));

    WIN32_FIND_DATAA data{};
    std::strcpy(data.cFileName, "x.part");
    data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    data.nFileSizeHigh = 1;
    data.nFileSizeLow = 5;
    data.ftLastWriteTime = time;
    const pg::FoundItem item = pg::FoundItemFromFindData(data);
    EXPECT_EQ("x.part", item.name);
    EXPECT_EQ((1ull << 32) + 5, item.size);
    EXPECT_TRUE(item.isLink);
    EXPECT_EQ(1622548800, item.written);
}

} // namespace

// ---------------------------------------------------------------- metadata read ahead by a refresh

using pgtest::TempStream;

class MetadataPrefetchTest : public testing::Test
{
protected:
    // Downloads 0..count-1; every seventh has no metadata, every eleventh metadata too large to be
    // read ahead (thousands of partial hashes), every thirteenth a broken tag list.
    std::vector<std::string> MakeDownloads(int count)
    {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            const std::string name = std::to_string(i) + "d.part";
            if (i % 7 == 0) {
                m_tree.Download(name, 10, nullptr);
            } else if (i % 11 == 0) {
                m_tree.File(
                    name + ".met",
                    MetFile().Header(5000).Name("Large " + std::to_string(i)).Size(1000).Copied(i).str());
                m_tree.File(name, "d");
            } else {
                const MetFile met = MetFile()
                                        .Header()
                                        .Name("Film " + std::to_string(i) + ".avi")
                                        .Size(1000)
                                        .Copied(i)
                                        .Gap(0, 0, 500);
                std::string bytes = met.str();
                if (i % 13 == 0)
                    bytes.resize(bytes.size() - 3); // the gap's end
                m_tree.File(name + ".met", bytes);
                m_tree.File(name, "d");
            }
            paths.push_back(m_tree.PathOf(name));
        }
        return paths;
    }

    CatalogueTree m_tree;
};

TEST_F(MetadataPrefetchTest, GivesWhatEachLookupGivesWithTheSameDumpInListOrder)
{
    // More downloads than are read ahead at once, so the readers wait for the list to catch up.
    const std::vector<std::string> paths = MakeDownloads(700);
    TempStream expectedDump;
    std::vector<pg::PartInfo> expected;
    for (const std::string& path : paths)
        expected.push_back(pg::GetPartInfo(path, expectedDump.get()));

    for (const bool crlf : {false, true}) {
        TempStream dump;
        pg::MetadataPrefetch metadata(paths);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const pg::PartInfo info = metadata.Info(i, pg::DumpTarget(dump.get(), crlf));
            EXPECT_EQ(expected[i].name, info.name) << i;
            EXPECT_EQ(expected[i].percent, info.percent) << i;
        }
        const std::string expectedText = expectedDump.Content();
        EXPECT_EQ(crlf ? pgtest::WithCrLf(expectedText) : expectedText, dump.Content());
    }
    EXPECT_EQ("Film 1.avi", expected[1].name);
    EXPECT_EQ("Large 22", expected[22].name);
    EXPECT_EQ("", expected[0].name);             // no metadata
    EXPECT_EQ("", expected[26].name);            // broken tag list...
    EXPECT_FLOAT_EQ(2.6f, expected[26].percent); // ...after its size and copied tags
}

TEST_F(MetadataPrefetchTest, EndsWhileFilesAreStillBeingReadAhead)
{
    const std::vector<std::string> paths = MakeDownloads(400);
    TempStream dump;
    {
        pg::MetadataPrefetch metadata(paths);
        metadata.Info(0, dump.get());
        EXPECT_EQ("Film 1.avi", metadata.Info(1, dump.get()).name);
    }
    // Every file was closed: each opens again without sharing.
    for (const std::string& path : paths) {
        const HANDLE file =
            ::CreateFileA((path + ".met").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_TRUE(file != INVALID_HANDLE_VALUE || ::GetLastError() == ERROR_FILE_NOT_FOUND) << path;
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
    }
    const pg::MetadataPrefetch nothing({});
}

// The client saves its metadata by moving the old file aside and renaming a new one into its
// place, or by deleting and re-creating it; neither may fail while a lookup or the read-ahead has
// the file open. (Renaming straight over a file that is open is refused by the file system itself,
// whatever the sharing: the reads keep the file open no longer than they need.)
TEST(ClientFileTest, ClientMovesAndDeletesAMetadataFileWhileWeReadIt)
{
    CatalogueTree tree;
    const std::string met = tree.PathOf("a.part.met");
    const std::string saved = tree.PathOf("a.part.met.new");
    const std::string backup = tree.PathOf("a.part.met.bak");
    const std::string old = MetFile().Header().Name("Old.avi").str();
    tree.File("a.part.met", old);
    tree.File("a.part.met.new", MetFile().Header().Name("New.avi").str());
    {
        const pg::FilePtr held = pg::OpenClientFile(met);
        ASSERT_TRUE(held);
        EXPECT_TRUE(::MoveFileA(met.c_str(), backup.c_str())) << ::GetLastError();
        EXPECT_TRUE(::MoveFileA(saved.c_str(), met.c_str())) << ::GetLastError();
        // What we read is the file as it was when we opened it.
        std::string read(old.size() + 1, '\0');
        read.resize(std::fread(read.data(), 1, read.size(), held.get()));
        EXPECT_EQ(old, read);
    }
    TempStream dump;
    EXPECT_EQ("New.avi", pg::GetPartInfo(tree.PathOf("a.part"), dump.get()).name);
    {
        const pg::FilePtr held = pg::OpenClientFile(met);
        ASSERT_TRUE(held);
        EXPECT_TRUE(::DeleteFileA(met.c_str())) << ::GetLastError();
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(met.c_str()));
}
