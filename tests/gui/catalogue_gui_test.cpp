// Partglance.exe pointed at a temp-directory tree: the download list, Refresh and a double-click.
#include "CatalogueTree.h"
#include "GuiDriver.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using pgtest::MetFile;
using Rows = std::vector<std::vector<std::string>>;

class CatalogueGuiTest : public gui::ProgramTest
{
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        // Film.avi has data from its first byte on, Clip.avi lacks its first bytes.
        const MetFile film = MetFile().Header().Name("Film.avi").Size(9000).Copied(5000).Gap(0, 4000, 8000);
        const MetFile clip = MetFile().Header().Name("Clip.avi").Size(9000).Copied(4000).Gap(0, 0, 5000);
        m_tree.Directory("sub");
        m_tree.Download("film.part", 5000, &film);
        m_tree.Download("sub\\clip.part", 4000, &clip);
        StoreTempDir(m_tree.Root());
    }

    // Starts the program in the tree's root, which is then its current directory, and waits for its
    // window; its standard output goes to `standardOutput` when that is set.
    HWND Start(const std::string& standardOutput = "")
    {
        m_program =
            std::make_unique<gui::Program>(gui::BinPath("Partglance.exe"), m_tree.Root(), standardOutput);
        const HWND window = m_program->WaitForWindow("Partglance");
        if (window)
            gui::BringToFront(window);
        return window;
    }

    void DoubleClickRow(HWND window, int row) const
    {
        const HWND list = gui::Item(window, IDL_DOWNLOADS);
        const RECT rect = gui::ListItemRect(list, row);
        gui::ClickAt(list, rect.left + 10, (rect.top + rect.bottom) / 2, true);
    }

    pgtest::CatalogueTree m_tree;
    std::unique_ptr<gui::Program> m_program;
};

TEST_F(CatalogueGuiTest, ListsTheTreeAndRefreshPicksUpANewDownload)
{
    const HWND window = Start();
    ASSERT_NE(nullptr, window);
    const HWND list = gui::Item(window, IDL_DOWNLOADS);
    EXPECT_EQ(m_tree.Root(), pgtest::WindowText(gui::Item(window, IDE_TEMP_DIR)));
    const Rows expected = {
        {"Film.avi", "56", "4.88 KB", m_tree.PathOf("film.part")},
        {"Clip.avi", "44", "3.91 KB", m_tree.PathOf("sub\\clip.part")},
    };
    EXPECT_EQ(expected, gui::ListRows(list, 4));

    const MetFile fresh = MetFile().Header().Name("Fresh.mpg").Size(6000).Copied(6000);
    m_tree.Download("fresh.part", 6000, &fresh);
    EXPECT_EQ(expected, gui::ListRows(list, 4)); // nothing is scanned between refreshes
    gui::ClickControl(window, IDB_REFRESH);
    Rows rows;
    EXPECT_TRUE(pgtest::WaitUntil([&] {
        rows = gui::ListRows(list, 4);
        return rows.size() == 3;
    }));
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ((std::vector<std::string>{"Fresh.mpg", "100", "5.86 KB", m_tree.PathOf("fresh.part")}),
              rows[0]);
    EXPECT_EQ(expected[0], rows[1]);
}

TEST_F(CatalogueGuiTest, DoubleClickFillsTheJobFieldsAndSetsThePlayButtons)
{
    m_tree.File("Film.avi", "an earlier preview");
    const HWND window = Start();
    ASSERT_NE(nullptr, window);
    ASSERT_EQ(2u, gui::ListRows(gui::Item(window, IDL_DOWNLOADS), 4).size());
    const HWND playInput = gui::Item(window, IDB_PLAY_INPUT);
    const HWND playOutput = gui::Item(window, IDB_PLAY_OUTPUT);

    DoubleClickRow(window, 0);
    EXPECT_TRUE(pgtest::WaitUntil(
        [&] { return pgtest::WindowText(gui::Item(window, IDE_INPUT)) == m_tree.PathOf("film.part"); }));
    EXPECT_EQ("Film.avi", pgtest::WindowText(gui::Item(window, IDE_OUTPUT)));
    EXPECT_EQ("Film.avi", pgtest::WindowText(gui::Item(window, IDE_MEDIA_NAME)));
    EXPECT_TRUE(gui::IsEnabled(playInput));
    EXPECT_TRUE(gui::IsEnabled(playOutput));

    DoubleClickRow(window, 1);
    EXPECT_TRUE(
        pgtest::WaitUntil([&] { return pgtest::WindowText(gui::Item(window, IDE_OUTPUT)) == "Clip.avi"; }));
    EXPECT_EQ(m_tree.PathOf("sub\\clip.part"), pgtest::WindowText(gui::Item(window, IDE_INPUT)));
    EXPECT_FALSE(gui::IsEnabled(playInput));
    EXPECT_FALSE(gui::IsEnabled(playOutput));
}

// The metadata dump of every listed download, in list order, with the CR LF line ends of a
// Windows program's text output.
TEST_F(CatalogueGuiTest, StandardOutputCarriesTheMetadataDumpOfTheList)
{
    const std::string dumpPath = m_tree.PathOf("dump.txt");
    const HWND window = Start(dumpPath);
    ASSERT_NE(nullptr, window);
    ASSERT_EQ(2u, gui::ListRows(gui::Item(window, IDL_DOWNLOADS), 4).size());
    m_program.reset(); // closes the program

    const std::string header = "file id  = 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\r\n\r\n\r\n";
    EXPECT_EQ(header +
                  "filename      = \"Film.avi\"\r\n"
                  "file size     = 9000 (0.01 mb)\r\n"
                  "copied so far = 5000 (0.00 mb)\r\n"
                  "\r\n"
                  "gap   0 from       4000 to       8000 =       4000 bytes missing\r\n"
                  "\r\n"
                  "4000 bytes = 0.00 mb missing\r\n"
                  "first gap starts at 4000 (0 blocks are complete)\r\n"
                  "\r\n" +
                  header +
                  "filename      = \"Clip.avi\"\r\n"
                  "file size     = 9000 (0.01 mb)\r\n"
                  "copied so far = 4000 (0.00 mb)\r\n"
                  "\r\n"
                  "gap   0 from          0 to       5000 =       5000 bytes missing\r\n"
                  "\r\n"
                  "5000 bytes = 0.00 mb missing\r\n"
                  "first gap starts at 0 (0 blocks are complete)\r\n"
                  "\r\n",
              pgtest::ReadWholeFile(dumpPath));
}

} // namespace
