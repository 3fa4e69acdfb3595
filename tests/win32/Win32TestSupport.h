#pragma once
// Helpers for tests of real windows in the test process.
#include "GuiDriver.h"

#include <windows.h>

#include <functional>
#include <string>

namespace pgtest {

// Expected language of this run, as the black-box driver reads it.
using gui::ExpectGerman;

// Pumps this thread's messages for a while, so posted work and repaints happen.
void PumpMessages(DWORD milliseconds = 50);

// Text of a window or control, read with WM_GETTEXT.
std::string WindowText(HWND window);

// Watches for a visible top-level window of this process with the given class ("#32770" for
// message boxes and common dialogs) and title (empty: any title, but only a window that has an
// owner), and hands it to the action once. A timer of this thread looks, so the action runs on
// this thread, inside whatever modal loop shows the window; to wait for something there, it
// pumps messages. Looks until the timeout.
class WindowWatcher
{
public:
    WindowWatcher(const char* className, const std::string& title, std::function<void(HWND)> action,
                  DWORD timeoutMs = 10000);
    ~WindowWatcher();
    WindowWatcher(const WindowWatcher&) = delete;
    WindowWatcher& operator=(const WindowWatcher&) = delete;
    // True once the action has run.
    bool Seen() const { return m_seen; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR timer, DWORD);
    void Look();
    void Stop();

    std::string m_className;
    std::string m_title;
    std::function<void(HWND)> m_action;
    DWORD m_deadline;
    UINT_PTR m_timer = 0;
    bool m_seen = false;
};

// Title of the message boxes of the program under test.
std::string MessageBoxTitle();

// Text of a message box (its static control 0xFFFF).
std::string MessageBoxText(HWND box);

// Deletes a key of HKEY_CURRENT_USER with its values (no sub-keys expected).
void DeleteUserKey(const char* path);

} // namespace pgtest
