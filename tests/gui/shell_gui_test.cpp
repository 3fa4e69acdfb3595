// Partglance.exe started and used from outside: texts, the stored temp directory, Escape.
#include "GuiDriver.h"

#include <gtest/gtest.h>


namespace {


using ShellGuiTest = gui::ProgramTest;

TEST_F(ShellGuiTest, LocalizedMainWindowShowsItsTexts)
{
    gui::Program program(gui::BinPath("Partglance.exe"));
    ASSERT_TRUE(program.Started());
    const HWND window = program.WaitForWindow("Partglance");
    ASSERT_NE(nullptr, window);
    const bool german = gui::ExpectGerman();
    EXPECT_EQ(german ? "&Schliessen" : "&Close", gui::Text(gui::Item(window, 1017)));
    EXPECT_EQ(german ? "Quelldatei:" : "Input Filename:", gui::Text(gui::Item(window, 1020)));
    EXPECT_EQ(german ? "&Los" : "&Go", gui::Text(gui::Item(window, 1004)));
    EXPECT_EQ("Refresh", gui::Text(gui::Item(window, 1009)));
    EXPECT_EQ(german ? "C:\\Programme\\eDonkey2000\\temp\\" : "C:\\Program Files\\eDonkey2000\\temp\\",
              gui::Text(gui::Item(window, 1010)));
    const std::vector<std::string> headings = gui::ListHeadings(gui::Item(window, 1008), 4);
    const std::vector<std::string> expected =
        german ? std::vector<std::string>{"Filmname", "% geladen", "Gr\xf6sse", "Partname"}
               : std::vector<std::string>{"Filename", "% recieved", "Size", "Partfile"};
    EXPECT_EQ(expected, headings);
    EXPECT_EQ("640", gui::Text(gui::Item(window, 1006)));
    EXPECT_EQ("50", gui::Text(gui::Item(window, 1013)));
}

TEST_F(ShellGuiTest, TypedTempDirectoryIsStoredAndEscapeEndsTheProgram)
{
    gui::Program program(gui::BinPath("Partglance.exe"));
    const HWND window = program.WaitForWindow("Partglance");
    ASSERT_NE(nullptr, window);
    gui::BringToFront(window);
    const HWND tempDir = gui::Item(window, 1010);
    gui::ClickControl(window, 1010);
    ::SendMessageA(tempDir, EM_SETSEL, 0, -1);
    gui::TypeText("C:\\pgtest\\downloads");
    EXPECT_EQ("C:\\pgtest\\downloads", gui::Text(tempDir));
    gui::PressKey(VK_TAB); // the focus moves on: the edit stores its text

    std::string stored;
    EXPECT_TRUE(gui::WaitUntil([&] {
        stored = gui::RunAndCapture("reg.exe query \"HKCU\\SOFTWARE\\Partglance\\Dirs\" /v TmpDir");
        return stored.find("C:\\pgtest\\downloads") != std::string::npos;
    }, 5000)) << stored;
    EXPECT_NE(std::string::npos, stored.find("REG_SZ")) << stored;

    gui::BringToFront(window);
    gui::PressKey(VK_ESCAPE);
    EXPECT_TRUE(program.WaitForExit(10000));
}

} // namespace
