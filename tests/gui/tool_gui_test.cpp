// Partglance.exe runs the preview tool from Go: a copy of the program sits beside the tool
// stand-in (the build puts the real tool beside the program), which also plays the media player.
#include "GuiDriver.h"
#include "ToolEndMarker.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

constexpr char FOLDER[] = PG_BIN_DIR "\\..\\tool-gui-tests";
constexpr char STAND_IN[] = PG_BIN_DIR "\\..\\stubbin\\ClipmendC.exe";
constexpr char MARKER[] = TOOL_END_MARKER;

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A stand-in from an earlier test may still be on its way out; an unchanged file need not be copied.
bool CopyWhenChanged(const std::string& from, const std::string& to)
{
    return ReadWholeFile(from) == ReadWholeFile(to) || ::CopyFileA(from.c_str(), to.c_str(), FALSE);
}

class ToolGuiTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ::CreateDirectoryA(FOLDER, nullptr);
        ASSERT_TRUE(CopyWhenChanged(gui::BinPath("Partglance.exe"), Path("Partglance.exe")));
        ASSERT_TRUE(CopyWhenChanged(STAND_IN, Path("ClipmendC.exe")));
        ASSERT_TRUE(CopyWhenChanged(STAND_IN, Path("Mplayer2.exe")));
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
    static std::string OutputTitle() { return gui::ExpectGerman() ? "Clipmend - Ausgabe" : "Clipmend - Output"; }
    static std::string EndText()
    {
        return gui::ExpectGerman() ? "\r\n\r\nClipmend ist beendet." : "\r\n\r\nClipmend is closed.";
    }
};

TEST_F(ToolGuiTest, LocalizedGoShowsTheToolOutputAndCloseAndPlayPlaysTheFilm)
{
    std::ofstream(Path("film.avi").c_str()) << "RIFF";
    gui::Program program(Path("Partglance.exe"), FOLDER);
    ASSERT_TRUE(program.Started());
    const HWND main = program.WaitForWindow("Partglance");
    ASSERT_NE(nullptr, main);

    // A tool that prints twice: the box shows one piece, then the other in its place.
    gui::SetText(gui::Item(main, 1001), "two-chunks");
    gui::SetText(gui::Item(main, 1003), Path("film"));
    gui::PostClick(gui::Item(main, 1004));
    HWND output = program.WaitForWindow(OutputTitle());
    ASSERT_NE(nullptr, output);
    const HWND box = gui::Item(output, 1007);
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::Text(box) == "one\r\n"; })) << gui::Text(box);
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::Text(box) == "two\r\n"; })) << gui::Text(box);
    EXPECT_FALSE(gui::IsEnabled(gui::Item(output, 1)));
    gui::PostClick(gui::Item(output, 2));
    EXPECT_TRUE(gui::WaitUntil([&] { return !::IsWindow(output); }));
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::IsEnabled(gui::Item(main, 1014)); }));
    EXPECT_EQ(Path("film"), gui::Text(gui::Item(main, 1003)));

    // A tool that tells the end of its work: Close and Play hands the film to the player.
    gui::SetText(gui::Item(main, 1001), "marker-middle");
    gui::PostClick(gui::Item(main, 1004));
    output = program.WaitForWindow(OutputTitle());
    ASSERT_NE(nullptr, output);
    const HWND closeAndPlay = gui::Item(output, 1);
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::IsEnabled(closeAndPlay); }));
    EXPECT_EQ(std::string("Work done.\r\nSee ") + MARKER + "\r\n" + EndText(),
              gui::Text(gui::Item(output, 1007)));
    gui::PostClick(closeAndPlay);
    EXPECT_TRUE(gui::WaitUntil([&] { return !::IsWindow(output); }));
    EXPECT_TRUE(gui::WaitUntil([&] { return ReadWholeFile(Log()).find("Mplayer2") != std::string::npos; }))
        << ReadWholeFile(Log());
    const std::string log = ReadWholeFile(Log());
    EXPECT_NE(std::string::npos, log.find("ClipmendC.exe \"two-chunks\" \"" + Path("film") +
                                          ".avi\" -k 1 -n 50 -h 640 -v 352  /A\r\n"))
        << log;
    EXPECT_NE(std::string::npos, log.find(Path("film.avi"))) << log;
}

} // namespace
