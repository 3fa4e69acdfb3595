// Partglance.exe from outside: the about box from the system menu, and sizing the main window by
// its grip.
#include "ExpectedTexts.h"
#include "GuiDriver.h"
#include "resource.h"

#include <gtest/gtest.h>

namespace {

constexpr int GRIP_ID = 17733;

// Presses the left button on the size grip and lets it go dx, dy further.
void DragGrip(HWND window, int dx, int dy)
{
    const RECT grip = pgtest::ChildRect(gui::Item(window, GRIP_ID));
    POINT start{(grip.left + grip.right) / 2, (grip.top + grip.bottom) / 2};
    ::ClientToScreen(window, &start);
    gui::MovePointerTo(start);
    gui::SendMouseButton(MOUSEEVENTF_LEFTDOWN);
    ::Sleep(50);
    for (int step = 1; step <= 5; ++step)
        gui::MovePointerTo({start.x + dx * step / 5, start.y + dy * step / 5});
    gui::SendMouseButton(MOUSEEVENTF_LEFTUP);
    ::Sleep(50);
    ::Sleep(200);
}

using UiGuiTest = gui::ProgramTest;

TEST_F(UiGuiTest, LocalizedAboutBoxOpensFromTheSystemMenu)
{
    gui::Program program(gui::BinPath("Partglance.exe"));
    const HWND window = program.WaitForWindow("Partglance");
    ASSERT_NE(nullptr, window);
    gui::BringToFront(window);
    // Alt+Space opens the system menu; "o" is the mnemonic of its last item.
    gui::SendKey(VK_MENU, false);
    gui::SendKey(VK_SPACE, false);
    gui::SendKey(VK_SPACE, true);
    gui::SendKey(VK_MENU, true);
    ::Sleep(300);
    gui::PressKey('O');

    const HWND about = program.WaitForWindow(pgtest::Expected(pgtest::ABOUT_ITEM), 5000);
    ASSERT_NE(nullptr, about);
    EXPECT_EQ("Version 1, 0, 0, 5", pgtest::WindowText(gui::Item(about, IDT_VERSION)));
    EXPECT_EQ("Copyright (C) 2001 The Partglance Authors",
              pgtest::WindowText(gui::Item(about, IDT_MAIL_LINK)));
    EXPECT_FALSE(gui::IsEnabled(window)); // modal

    gui::PostClick(gui::Item(about, IDOK));
    EXPECT_TRUE(pgtest::WaitUntil([&] { return !::IsWindow(about) || !gui::IsVisible(about); }, 5000));
    EXPECT_TRUE(pgtest::WaitUntil([&] { return gui::IsEnabled(window); }, 5000));
}

TEST_F(UiGuiTest, DraggingTheGripResizesTheWindowAndItsControls)
{
    gui::Program program(gui::BinPath("Partglance.exe"));
    const HWND window = program.WaitForWindow("Partglance");
    ASSERT_NE(nullptr, window);
    gui::BringToFront(window);
    const SIZE opening = pgtest::WindowSize(window);
    const RECT list = pgtest::ChildRect(gui::Item(window, IDL_DOWNLOADS));
    const RECT go = pgtest::ChildRect(gui::Item(window, IDB_GO));
    const RECT refresh = pgtest::ChildRect(gui::Item(window, IDB_REFRESH));
    const RECT tempDir = pgtest::ChildRect(gui::Item(window, IDE_TEMP_DIR));

    DragGrip(window, 60, 40);
    const SIZE grown = pgtest::WindowSize(window);
    ASSERT_EQ(opening.cx + 60, grown.cx);
    ASSERT_EQ(opening.cy + 40, grown.cy);
    const RECT newList = pgtest::ChildRect(gui::Item(window, IDL_DOWNLOADS));
    EXPECT_EQ(list.right + 60, newList.right);
    EXPECT_EQ(list.bottom + 40, newList.bottom);
    EXPECT_EQ(list.left, newList.left);
    const RECT newGo = pgtest::ChildRect(gui::Item(window, IDB_GO));
    EXPECT_EQ(go.left + 60, newGo.left);
    EXPECT_EQ(go.top, newGo.top);
    const RECT newRefresh = pgtest::ChildRect(gui::Item(window, IDB_REFRESH));
    EXPECT_EQ(refresh.left, newRefresh.left);
    EXPECT_EQ(refresh.top + 40, newRefresh.top);
    const RECT newTempDir = pgtest::ChildRect(gui::Item(window, IDE_TEMP_DIR));
    EXPECT_EQ(tempDir.left, newTempDir.left);
    EXPECT_EQ(tempDir.right, newTempDir.right);
    RECT client{};
    ::GetClientRect(window, &client);
    const RECT grip = pgtest::ChildRect(gui::Item(window, GRIP_ID));
    EXPECT_EQ(client.right, grip.right);
    EXPECT_EQ(client.bottom, grip.bottom);

    // Dragging far inwards stops at the opening size.
    DragGrip(window, -300, -200);
    EXPECT_EQ(opening.cx, pgtest::WindowSize(window).cx);
    EXPECT_EQ(opening.cy, pgtest::WindowSize(window).cy);
    EXPECT_EQ(list.right, pgtest::ChildRect(gui::Item(window, IDL_DOWNLOADS)).right);
}

} // namespace
