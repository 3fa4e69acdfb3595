// Partglance.exe runs the preview tool from Go: a copy of the program sits beside the tool
// stand-in (the build puts the real tool beside the program), which also plays the media player.
#include "ExpectedTexts.h"
#include "GuiDriver.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using pgtest::CopyWhenChanged;
using pgtest::Expected;
using pgtest::ReadWholeFile;

constexpr char FOLDER[] = PG_BIN_DIR "\\..\\tool-gui-tests";

class ToolGuiTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ::CreateDirectoryA(FOLDER, nullptr);
        ASSERT_TRUE(CopyWhenChanged(gui::BinPath("Partglance.exe"), Path("Partglance.exe")));
        ASSERT_TRUE(CopyWhenChanged(pgtest::STAND_IN, Path("ClipmendC.exe")));
        ASSERT_TRUE(CopyWhenChanged(pgtest::STAND_IN, Path("Mplayer2.exe")));
        ::DeleteFileA(Path("film.avi").c_str());
        ::DeleteFileA(Log().c_str());
        ::SetEnvironmentVariableA("TOOLSTUB_LOG", Log().c_str());
    }
    void TearDown() override
    {
        ::SetEnvironmentVariableA("TOOLSTUB_LOG", nullptr);
        ::DeleteFileA(Path("film.avi").c_str());
    }

    static std::string Path(const std::string& name) { return std::string(FOLDER) + "\\" + name; }
    static std::string Log() { return Path("commands.log"); }
};

TEST_F(ToolGuiTest, LocalizedGoShowsTheToolOutputAndCloseAndPlayPlaysTheFilm)
{
    std::ofstream(Path("film.avi").c_str()) << "RIFF";
    gui::Program program(Path("Partglance.exe"), FOLDER);
    ASSERT_TRUE(program.Started());
    const HWND main = program.WaitForWindow("Partglance");
    ASSERT_NE(nullptr, main);

    // A tool that prints twice: the box shows one piece, then the other in its place.
    gui::SetText(gui::Item(main, IDE_INPUT), "two-chunks");
    gui::SetText(gui::Item(main, IDE_OUTPUT), Path("film"));
    gui::PostClick(gui::Item(main, IDB_GO));
    HWND output = program.WaitForWindow(Expected(pgtest::OUTPUT_TITLE));
    ASSERT_NE(nullptr, output);
    const HWND box = gui::Item(output, IDE_TOOL_OUTPUT);
    EXPECT_TRUE(pgtest::WaitUntil([&] { return pgtest::WindowText(box) == "one\r\n"; }))
        << pgtest::WindowText(box);
    EXPECT_TRUE(pgtest::WaitUntil([&] { return pgtest::WindowText(box) == "two\r\n"; }))
        << pgtest::WindowText(box);
    EXPECT_FALSE(gui::IsEnabled(gui::Item(output, IDOK)));
    gui::PostClick(gui::Item(output, IDCANCEL));
    EXPECT_TRUE(pgtest::WaitUntil([&] { return !::IsWindow(output); }));
    EXPECT_TRUE(pgtest::WaitUntil([&] { return gui::IsEnabled(gui::Item(main, IDB_PLAY_OUTPUT)); }));
    EXPECT_EQ(Path("film"), pgtest::WindowText(gui::Item(main, IDE_OUTPUT)));

    // A tool that tells the end of its work: Close and Play hands the film to the player.
    gui::SetText(gui::Item(main, IDE_INPUT), "marker-middle");
    gui::PostClick(gui::Item(main, IDB_GO));
    output = program.WaitForWindow(Expected(pgtest::OUTPUT_TITLE));
    ASSERT_NE(nullptr, output);
    const HWND closeAndPlay = gui::Item(output, IDOK);
    EXPECT_TRUE(pgtest::WaitUntil([&] { return gui::IsEnabled(closeAndPlay); }));
    EXPECT_EQ(std::string("Work done.\r\nSee ") + pgtest::END_MARKER + "\r\n\r\n\r\n" +
                  Expected(pgtest::OUTPUT_END_TEXT),
              pgtest::WindowText(gui::Item(output, IDE_TOOL_OUTPUT)));
    gui::PostClick(closeAndPlay);
    EXPECT_TRUE(pgtest::WaitUntil([&] { return !::IsWindow(output); }));
    EXPECT_TRUE(pgtest::WaitUntil([&] { return ReadWholeFile(Log()).find("Mplayer2") != std::string::npos; }))
        << ReadWholeFile(Log());
    const std::string log = ReadWholeFile(Log());
    EXPECT_NE(std::string::npos, log.find("ClipmendC.exe \"two-chunks\" \"" + Path("film") +
                                          ".avi\" -k 1 -n 50 -h 640 -v 352  /A\r\n"))
        << log;
    EXPECT_NE(std::string::npos, log.find(Path("film.avi"))) << log;
}

} // namespace
