// Partglance.exe started and used from outside: texts, the stored temp directory, Escape.
#include "ExpectedTexts.h"
#include "GuiDriver.h"
#include "resource.h"

#include <gtest/gtest.h>

namespace {

using pgtest::Expected;
using ShellGuiTest = gui::ProgramTest;

TEST_F(ShellGuiTest, LocalizedMainWindowShowsItsTexts)
{
    gui::Program program(gui::BinPath("Partglance.exe"));
    ASSERT_TRUE(program.Started());
    const HWND window = program.WaitForWindow("Partglance");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(Expected(pgtest::CLOSE), pgtest::WindowText(gui::Item(window, IDB_CLOSE)));
    EXPECT_EQ(Expected(pgtest::INPUT_LABEL), pgtest::WindowText(gui::Item(window, IDT_INPUT)));
    EXPECT_EQ(Expected(pgtest::GO), pgtest::WindowText(gui::Item(window, IDB_GO)));
    EXPECT_EQ("Refresh", pgtest::WindowText(gui::Item(window, IDB_REFRESH)));
    EXPECT_EQ(Expected(pgtest::DEFAULT_TEMP_DIR), pgtest::WindowText(gui::Item(window, IDE_TEMP_DIR)));
    EXPECT_EQ(pgtest::ExpectedColumnHeadings(), gui::ListHeadings(gui::Item(window, IDL_DOWNLOADS), 4));
    EXPECT_EQ("640", pgtest::WindowText(gui::Item(window, IDE_WIDTH)));
    EXPECT_EQ("50", pgtest::WindowText(gui::Item(window, IDE_FRAME_COUNT)));
}

TEST_F(ShellGuiTest, TypedTempDirectoryIsStoredAndEscapeEndsTheProgram)
{
    gui::Program program(gui::BinPath("Partglance.exe"));
    const HWND window = program.WaitForWindow("Partglance");
    ASSERT_NE(nullptr, window);
    gui::BringToFront(window);
    const HWND tempDir = gui::Item(window, IDE_TEMP_DIR);
    gui::ClickControl(window, IDE_TEMP_DIR);
    ::SendMessageA(tempDir, EM_SETSEL, 0, -1);
    gui::TypeText("C:\\pgtest\\downloads");
    EXPECT_EQ("C:\\pgtest\\downloads", pgtest::WindowText(tempDir));
    gui::PressKey(VK_TAB); // the focus moves on: the edit stores its text

    std::string stored;
    EXPECT_TRUE(pgtest::WaitUntil(
        [&] {
            stored = gui::RunAndCapture(std::string("reg.exe query \"HKCU\\") + gui::SETTINGS_KEY + "\" /v " +
                                        gui::TEMP_DIR_VALUE);
            return stored.find("C:\\pgtest\\downloads") != std::string::npos;
        },
        5000))
        << stored;
    EXPECT_NE(std::string::npos, stored.find("REG_SZ")) << stored;

    gui::BringToFront(window);
    gui::PressKey(VK_ESCAPE);
    EXPECT_TRUE(program.WaitForExit(10000));
}

} // namespace
