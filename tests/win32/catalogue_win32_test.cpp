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
#include "catalogue/TempDirWatcher.h"
#include "framework/Strings.h"
#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    // The output Go writes for the name: it keeps its container's extension.
    m_tree.File("Film.avi", "made earlier");
    m_tree.File("Clip.avi.avi", "not what Go writes for Clip.avi");
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
    m_tree.File("Film.avi", "made earlier");
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

// ---------------------------------------------------------------- the live list

// The list follows the temp directory while the window is open: the tests change files as the
// client does and pump messages until the rows show it.
class CatalogueLiveTest : public CatalogueWindowTest
{
protected:
    static MetFile Met(const std::string& name, int percent)
    {
        return MetFile().Header().Name(name).Size(1000).Copied(static_cast<std::uint32_t>(percent * 10));
    }

    // Waits until the rows are the expected ones; false, with the rows shown, when they never are.
    bool WaitForRows(const std::vector<Row>& expected) const
    {
        if (pgtest::WaitUntil([&] { return Rows() == expected; }, 5000))
            return true;
        for (const Row& row : Rows())
            ADD_FAILURE() << "shown: " << row[0] << " | " << row[1] << " | " << row[2] << " | " << row[3];
        return false;
    }

    // Waits until the column shows the texts; false when it never does.
    bool WaitForColumn(int column, const std::vector<std::string>& expected) const
    {
        return pgtest::WaitUntil([&] { return Column(column) == expected; }, 5000);
    }

    int FocusedRow() const
    {
        return static_cast<int>(
            ::SendMessageA(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    }
    int TopRow() const { return static_cast<int>(::SendMessageA(List(), LVM_GETTOPINDEX, 0, 0)); }

    // The client's way of saving metadata: a new file moved over the old one.
    void SaveAsClientDoes(const std::string& part, const MetFile& met) const
    {
        m_tree.File(part + ".met.new", met.str());
        ::MoveFileExA(m_tree.PathOf(part + ".met.new").c_str(), m_tree.PathOf(part + ".met").c_str(),
                      MOVEFILE_REPLACE_EXISTING);
    }

    void Remove(const std::string& part) const
    {
        ::DeleteFileA(m_tree.PathOf(part + ".met").c_str());
        ::DeleteFileA(m_tree.PathOf(part).c_str());
    }

    CatalogueTree m_tree;
};

TEST_F(CatalogueLiveTest, ChangedNewAndRemovedDownloadsShowWithoutAClick)
{
    m_tree.Directory("sub");
    const MetFile alpha = Met("Alpha.avi", 10);
    const MetFile bravo = Met("Bravo.avi", 20);
    const MetFile charlie = Met("Charlie.avi", 30);
    m_tree.Download("a.part", 3000, &alpha);
    m_tree.Download("b.part", 2000, &bravo);
    m_tree.Download("sub\\c.part", 1000, &charlie);
    Open(m_tree.Root());
    const std::string a = m_tree.PathOf("a.part");
    const std::string b = m_tree.PathOf("b.part");
    const std::string c = m_tree.PathOf("sub\\c.part");
    ASSERT_EQ((std::vector<Row>{{"Alpha.avi", "10", "2.93 KB", a},
                                {"Bravo.avi", "20", "1.95 KB", b},
                                {"Charlie.avi", "30", "1000   B", c}}),
              Rows());

    // The client rewrites metadata in place and by moving a new file over it.
    m_tree.File("b.part.met", Met("Bravo.avi", 90).str());
    SaveAsClientDoes("sub\\c.part", Met("Charlie (2).avi", 31));
    EXPECT_TRUE(WaitForRows({{"Alpha.avi", "10", "2.93 KB", a},
                             {"Bravo.avi", "90", "1.95 KB", b},
                             {"Charlie (2).avi", "31", "1000   B", c}}));

    // A download starts, one completes, and data arriving makes one the largest.
    const MetFile delta = Met("Delta.avi", 0);
    m_tree.Download("d.part", 2500, &delta);
    Remove("a.part");
    m_tree.File("sub\\c.part", std::string(4000, 'd'));
    const std::string d = m_tree.PathOf("d.part");
    EXPECT_TRUE(WaitForRows({{"Charlie (2).avi", "31", "3.91 KB", c},
                             {"Delta.avi", "0", "2.44 KB", d},
                             {"Bravo.avi", "90", "1.95 KB", b}}));

    // A folder of downloads moved in lists them; moved out, they leave.
    CatalogueTree outside;
    const MetFile echo = Met("Echo.avi", 50);
    outside.Directory("batch");
    outside.Download("batch\\e.part", 100, &echo);
    ASSERT_TRUE(::MoveFileA(outside.PathOf("batch").c_str(), m_tree.PathOf("batch").c_str()));
    EXPECT_TRUE(WaitForColumn(0, {"Charlie (2).avi", "Delta.avi", "Bravo.avi", "Echo.avi"}));
    ASSERT_TRUE(::MoveFileA(m_tree.PathOf("batch").c_str(), outside.PathOf("batch").c_str()));
    EXPECT_TRUE(WaitForColumn(0, {"Charlie (2).avi", "Delta.avi", "Bravo.avi"}));
}

TEST_F(CatalogueLiveTest, SortSelectionFocusScrollAndJobFieldsSurvive)
{
    // Enough downloads for the list to scroll, named "Film 10" .. "Film 69".
    for (int i = 10; i < 70; ++i) {
        const MetFile met = Met("Film " + std::to_string(i), i);
        m_tree.Download(std::to_string(i) + "f.part", static_cast<std::uint64_t>(100 + i), &met);
    }
    Open(m_tree.Root());
    ClickHeader(0);
    Select({20, 30}); // Film 30 and Film 40, focused
    ::SendMessageA(List(), LVM_ENSUREVISIBLE, 59, FALSE);
    ::SendMessageA(List(), LVM_ENSUREVISIBLE, 25, FALSE);
    const int top = TopRow();
    ASSERT_GT(top, 0);
    ::SetWindowTextA(Item(IDE_INPUT), "C:\\job\\input.part");
    ::SetWindowTextA(Item(IDE_WIDTH), "800");

    // Film 40 is renamed past the end of the list, Film 30 leaves, and Film 12's share changes.
    m_tree.File("40f.part.met", Met("Zoo", 40).str());
    Remove("30f.part");
    m_tree.File("12f.part.met", Met("Film 12", 99).str());

    std::vector<std::string> names;
    for (int i = 10; i < 70; ++i)
        if (i != 30 && i != 40)
            names.push_back("Film " + std::to_string(i));
    names.push_back("Zoo");
    ASSERT_TRUE(WaitForColumn(0, names));
    EXPECT_EQ("99", gui::ListCell(List(), 2, 1));
    EXPECT_EQ((std::vector<int>{58}), SelectedRows());
    EXPECT_EQ(58, FocusedRow());
    EXPECT_EQ(top, TopRow());
    EXPECT_EQ("C:\\job\\input.part", ItemText(IDE_INPUT));
    EXPECT_EQ("800", ItemText(IDE_WIDTH));
    EXPECT_EQ(0, m_dialog->m_sortColumn);

    // Descending by share: a changed share moves its row to its new place.
    ClickHeader(1);
    ClickHeader(1);
    m_tree.File("11f.part.met", Met("Film 11", 100).str());
    ASSERT_TRUE(WaitForColumn(0, [&] {
        std::vector<std::string> byShare{"Film 11", "Film 12"};
        for (int i = 69; i > 12; --i)
            if (i != 30)
                byShare.push_back(i == 40 ? "Zoo" : "Film " + std::to_string(i));
        byShare.push_back("Film 10");
        return byShare;
    }()));
    EXPECT_EQ("Zoo", gui::ListCell(List(), SelectedRows().at(0), 0));

    // After a refresh the rows stand largest first again, and a new download goes by its size.
    ClickRefresh();
    const MetFile big = Met("Big", 1);
    m_tree.Download("big.part", 1000, &big);
    EXPECT_TRUE(pgtest::WaitUntil([&] { return gui::ListCell(List(), 0, 0) == "Big"; }, 5000));
}

// The window's live updates taken from this thread's queue.
int updatesTaken = 0;

LRESULT CALLBACK CountUpdates(int code, WPARAM remove, LPARAM message)
{
    if (code == HC_ACTION && remove == PM_REMOVE &&
        reinterpret_cast<const MSG*>(message)->message == pg::MainDialog::WM_DOWNLOADS_CHANGED)
        ++updatesTaken;
    return ::CallNextHookEx(nullptr, code, remove, message);
}

TEST_F(CatalogueLiveTest, BurstOfRewritesEndsInOneConsistentList)
{
    constexpr int DOWNLOADS = 200;
    for (int i = 0; i < DOWNLOADS; ++i) {
        const MetFile met = Met("Film " + std::to_string(1000 + i), 0);
        m_tree.Download(std::to_string(i) + ".part", static_cast<std::uint64_t>(1000 + i), &met);
    }
    Open(m_tree.Root());
    ClickHeader(1); // by share, so that every rewrite moves its row
    ASSERT_EQ(DOWNLOADS, RowCount());

    // The new metadata, in the opposite order of the shares, is made aside; one Unix program then
    // writes it over the old, faster than a Windows program can (a round trip to the Wine server
    // for each open, write and close), and leaves how long that took.
    CatalogueTree staging;
    for (int i = 0; i < DOWNLOADS; ++i)
        staging.File(std::to_string(i) + ".met", Met("Film " + std::to_string(1000 + i), i / 2).str());
    staging.File("burst.py", "import os, time\n"
                             "src, dst = '" +
                                 pgtest::UnixPathOf(staging.Root()) + "', '" +
                                 pgtest::UnixPathOf(m_tree.Root()) +
                                 "'\n"
                                 "new = {n[:-4]: open(os.path.join(src, n), 'rb').read()\n"
                                 "       for n in os.listdir(src) if n.endswith('.met')}\n"
                                 "start = time.monotonic()\n"
                                 "for n, data in new.items():\n"
                                 "    with open(os.path.join(dst, n + '.part.met'), 'wb') as met:\n"
                                 "        met.write(data)\n"
                                 "took = int((time.monotonic() - start) * 1000)\n"
                                 "open(os.path.join(src, 'took'), 'w').write(str(took))\n");
    updatesTaken = 0;
    const HHOOK hook = ::SetWindowsHookExA(WH_GETMESSAGE, &CountUpdates, nullptr, ::GetCurrentThreadId());
    ASSERT_TRUE(
        pgtest::StartUnixProgram("/usr/bin/python3 " + pgtest::UnixPathOf(staging.PathOf("burst.py"))));

    std::vector<std::string> shares;
    for (int i = 0; i < DOWNLOADS; ++i)
        shares.push_back(std::to_string(i / 2));
    EXPECT_TRUE(WaitForColumn(1, shares));
    pgtest::PumpMessages(2 * pg::TempDirWatcher::GATHER_MS);
    ASSERT_TRUE(pgtest::WaitForAttributes(staging.PathOf("took"), true));
    const int burst = std::atoi(pgtest::ReadWholeFile(staging.PathOf("took")).c_str());
    RecordProperty("burst_ms", burst);
    ::UnhookWindowsHookEx(hook);
    EXPECT_EQ(shares, Column(1));
    std::vector<std::string> names = Column(0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names.end(), std::adjacent_find(names.begin(), names.end()));
    EXPECT_EQ(static_cast<std::size_t>(DOWNLOADS), names.size());
    // The window is told once for everything gathered: a burst within one gathering span is one
    // update, or two where it straddles two spans.
    EXPECT_LE(updatesTaken, burst < static_cast<int>(pg::TempDirWatcher::GATHER_MS) ? 2 : DOWNLOADS)
        << "burst took " << burst << " ms";
    EXPECT_GE(updatesTaken, 1);
}

TEST_F(CatalogueLiveTest, HalfWrittenMetadataKeepsItsRowUntilTheNextChange)
{
    const MetFile film = Met("Film.avi", 40);
    const MetFile other = Met("Other.avi", 10);
    m_tree.Download("f.part", 2000, &film);
    m_tree.Download("o.part", 1000, &other);
    Open(m_tree.Root());

    // Caught half-written: the header breaks off. The other download's change shows the update came.
    const std::string whole = Met("Renamed.avi", 60).str();
    m_tree.File("f.part.met", whole.substr(0, 10));
    m_tree.File("o.part.met", Met("Other.avi", 11).str());
    EXPECT_TRUE(WaitForRows({{"Film.avi", "40", "1.95 KB", m_tree.PathOf("f.part")},
                             {"Other.avi", "11", "1000   B", m_tree.PathOf("o.part")}}));
    // Gone for a moment, as when the client deletes and re-creates it.
    ::DeleteFileA(m_tree.PathOf("f.part.met").c_str());
    m_tree.File("o.part.met", Met("Other.avi", 12).str());
    EXPECT_TRUE(WaitForColumn(1, {"40", "12"}));
    m_tree.File("f.part.met", whole);
    EXPECT_TRUE(WaitForColumn(0, {"Renamed.avi", "Other.avi"}));
    EXPECT_EQ("60", gui::ListCell(List(), 0, 1));
}

TEST_F(CatalogueLiveTest, LeavingTheTempDirFieldWatchesTheNewDirectoryOnly)
{
    const MetFile old = Met("Old.avi", 10);
    m_tree.Download("old.part", 100, &old);
    Open(m_tree.Root());
    CatalogueTree other;
    const MetFile fresh = Met("Fresh.avi", 20);
    other.Download("fresh.part", 200, &fresh);

    ::SetWindowTextA(Item(IDE_TEMP_DIR), other.Root().c_str());
    ::SetFocus(Item(IDE_TEMP_DIR));
    ::SetFocus(List());
    ASSERT_EQ((std::vector<std::string>{"Fresh.avi"}), Column(0));
    const MetFile ignored = Met("Ignored.avi", 0);
    m_tree.Download("ignored.part", 300, &ignored);
    const MetFile added = Met("Added.avi", 0);
    other.Download("added.part", 100, &added);
    EXPECT_TRUE(WaitForColumn(0, {"Fresh.avi", "Added.avi"}));
    pgtest::PumpMessages(2 * pg::TempDirWatcher::GATHER_MS);
    EXPECT_EQ((std::vector<std::string>{"Fresh.avi", "Added.avi"}), Column(0));
    EXPECT_FALSE(::IsWindowVisible(Item(IDT_LIVE_OFF)));
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
