// Partglance.exe from outside: the about box from the system menu, and sizing the main window by
// its grip.
#include "GuiDriver.h"

#include <gtest/gtest.h>


namespace {

constexpr int GRIP_ID = 17733;
constexpr int VERSION_TEXT_ID = 1014;
constexpr int MAIL_LINK_ID = 1015;

// Presses the left button on the size grip and lets it go dx, dy further.
void DragGrip(HWND window, int dx, int dy)
{
    const RECT grip = gui::ControlRect(window, GRIP_ID);
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

SIZE WindowSize(HWND window)
{
    RECT r{};
    ::GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
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

    const std::string title = gui::ExpectGerman() ? "Inf&o \xfc"
                                               "ber Decoyrun..."
                                             : "Inf&o about Partglance...";
    const HWND about = program.WaitForWindow(title, 5000);
    ASSERT_NE(nullptr, about);
    EXPECT_EQ("Version 1, 0, 0, 5", gui::Text(gui::Item(about, VERSION_TEXT_ID)));
    EXPECT_EQ("Copyright (C) 2001 The Partglance Authors", gui::Text(gui::Item(about, MAIL_LINK_ID)));
    EXPECT_FALSE(gui::IsEnabled(window)); // modal

    gui::PostClick(gui::Item(about, IDOK));
    EXPECT_TRUE(gui::WaitUntil([&] { return !::IsWindow(about) || !gui::IsVisible(about); }, 5000));
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::IsEnabled(window); }, 5000));
}

TEST_F(UiGuiTest, DraggingTheGripResizesTheWindowAndItsControls)
{
    gui::Program program(gui::BinPath("Partglance.exe"));
    const HWND window = program.WaitForWindow("Partglance");
    ASSERT_NE(nullptr, window);
    gui::BringToFront(window);
    const SIZE opening = WindowSize(window);
    const RECT list = gui::ControlRect(window, 1008);
    const RECT go = gui::ControlRect(window, 1004);
    const RECT refresh = gui::ControlRect(window, 1009);
    const RECT tempDir = gui::ControlRect(window, 1010);

    DragGrip(window, 60, 40);
    const SIZE grown = WindowSize(window);
    ASSERT_EQ(opening.cx + 60, grown.cx);
    ASSERT_EQ(opening.cy + 40, grown.cy);
    const RECT newList = gui::ControlRect(window, 1008);
    EXPECT_EQ(list.right + 60, newList.right);
    EXPECT_EQ(list.bottom + 40, newList.bottom);
    EXPECT_EQ(list.left, newList.left);
    const RECT newGo = gui::ControlRect(window, 1004);
    EXPECT_EQ(go.left + 60, newGo.left);
    EXPECT_EQ(go.top, newGo.top);
    const RECT newRefresh = gui::ControlRect(window, 1009);
    EXPECT_EQ(refresh.left, newRefresh.left);
    EXPECT_EQ(refresh.top + 40, newRefresh.top);
    const RECT newTempDir = gui::ControlRect(window, 1010);
    EXPECT_EQ(tempDir.left, newTempDir.left);
    EXPECT_EQ(tempDir.right, newTempDir.right);
    RECT client{};
    ::GetClientRect(window, &client);
    const RECT grip = gui::ControlRect(window, GRIP_ID);
    EXPECT_EQ(client.right, grip.right);
    EXPECT_EQ(client.bottom, grip.bottom);

    // Dragging far inwards stops at the opening size.
    DragGrip(window, -300, -200);
    EXPECT_EQ(opening.cx, WindowSize(window).cx);
    EXPECT_EQ(opening.cy, WindowSize(window).cy);
    EXPECT_EQ(list.right, gui::ControlRect(window, 1008).right);
}

} // namespace
