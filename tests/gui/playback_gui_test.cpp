// Partglance.exe used from outside: an AVI or MPEG download with data from its start plays in the
// movie window.
#include "CatalogueTree.h"
#include "GuiDriver.h"
#include "SmallAvi.h"
#include "resource.h"

#include <gtest/gtest.h>
#include <vfw.h>

namespace {

class PlaybackGuiTest : public gui::ProgramTest
{
protected:
    // The temp directory holds one download, "film.part", of which the first half of `media` has
    // arrived; the user double-clicks its row and presses Play input, and the movie window plays it.
    void ExpectHalfArrivedDownloadPlays(const std::string& media, const std::string& name);

    pgtest::CatalogueTree m_tree;
};

void PlaybackGuiTest::ExpectHalfArrivedDownloadPlays(const std::string& media, const std::string& name)
{
    const auto arrived = static_cast<std::uint32_t>(media.size() / 2);
    m_tree.File("film.part", media.substr(0, arrived));
    m_tree.File("film.part.met", pgtest::MetFile()
                                     .Header()
                                     .Name(name)
                                     .Size(static_cast<std::uint32_t>(media.size()))
                                     .Copied(arrived)
                                     .Gap(0, arrived, static_cast<std::uint32_t>(media.size()))
                                     .str());
    StoreTempDir(m_tree.Root());

    gui::Program program(gui::BinPath("Partglance.exe"), m_tree.Root());
    const HWND window = program.WaitForWindow("Partglance");
    ASSERT_NE(nullptr, window);
    gui::BringToFront(window);
    const HWND list = gui::Item(window, IDL_DOWNLOADS);
    ASSERT_TRUE(pgtest::WaitUntil([&] { return gui::ListRows(list, 4).size() == 1; }));
    const RECT row = gui::ListItemRect(list, 0);
    gui::ClickAt(list, row.left + 10, (row.top + row.bottom) / 2, true);
    ASSERT_TRUE(pgtest::WaitUntil([&] { return gui::IsEnabled(gui::Item(window, IDB_PLAY_INPUT)); }));

    gui::ClickControl(window, IDB_PLAY_INPUT);
    const std::string part = m_tree.PathOf("film.part");
    HWND movie = nullptr;
    long position = -1;
    EXPECT_TRUE(pgtest::WaitUntil([&] {
        for (const HWND candidate : program.Windows())
            if (candidate != window && pgtest::WindowText(candidate).compare(0, part.size(), part) == 0)
                movie = candidate;
        // The length as the media window has it, in its device's time format.
        const HWND media = movie ? ::FindWindowExA(movie, nullptr, "MCIWndClass", nullptr) : nullptr;
        const auto length = static_cast<unsigned>(media ? ::SendMessageA(media, MCIWNDM_GETLENGTH, 0, 0) : 0);
        position = length > 0 ? pgtest::PlayingPosition(pgtest::WindowText(movie), part, length) : -1;
        return position > 0;
    })) << name
        << ": " << (movie ? pgtest::WindowText(movie) : "no movie window");
    ASSERT_NE(nullptr, movie);
    EXPECT_FALSE(gui::IsEnabled(window)); // the movie window is modal

    ::PostMessageA(movie, WM_CLOSE, 0, 0);
    EXPECT_TRUE(pgtest::WaitUntil([&] { return !::IsWindow(movie); }));
    EXPECT_TRUE(pgtest::WaitUntil([&] { return gui::IsEnabled(window); }));
}

TEST_F(PlaybackGuiTest, DoubleClickedAviDownloadPlaysInTheMovieWindow)
{
    ExpectHalfArrivedDownloadPlays(pgtest::SmallAviBytes({160, 120, 10, 100}), "Film.avi");
}

TEST_F(PlaybackGuiTest, DoubleClickedMpegDownloadPlaysInTheMovieWindow)
{
    ExpectHalfArrivedDownloadPlays(pgtest::ReadWholeFile(std::string(PG_TEST_DATA) + "\\media\\clip.mpg"),
                                   "Clip.mpg");
}

} // namespace
