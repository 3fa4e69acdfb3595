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

// Watches from a second thread for a visible top-level window of this process with the given
// class ("#32770" for message boxes and common dialogs) and title (empty: any title, but only a
// window that has an owner), and hands it to the action,
// which runs on the watcher thread (use SendMessage/PostMessage only). Waits up to the timeout.
class WindowWatcher
{
public:
    WindowWatcher(const char* className, const std::string& title, std::function<void(HWND)> action,
                  DWORD timeoutMs = 10000);
    ~WindowWatcher();
    // True once the action has run.
    bool Seen();

private:
    static DWORD WINAPI Run(void* self);
    std::string m_className;
    std::string m_title;
    std::function<void(HWND)> m_action;
    DWORD m_timeoutMs;
    HANDLE m_thread = nullptr;
    volatile LONG m_seen = 0;
};

// Title of the message boxes of the program under test.
std::string MessageBoxTitle();

// Text of a message box (its static control 0xFFFF).
std::string MessageBoxText(HWND box);

// Deletes a key of HKEY_CURRENT_USER with its values (no sub-keys expected).
void DeleteUserKey(const char* path);

} // namespace pgtest
