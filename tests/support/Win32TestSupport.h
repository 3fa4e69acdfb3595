#pragma once
// Win32 test helpers of the Wine test programs: waiting, reading windows, settings, stand-ins.
#include "TestSupport.h"

#include <windows.h>

#include <functional>
#include <string>

namespace pgtest {

// Pumps this thread's messages for a while, so posted work and repaints happen.
void PumpMessages(DWORD milliseconds = 50);

// Pumps messages until the condition holds; false after the timeout.
template <class Condition> bool WaitUntil(Condition condition, DWORD timeoutMs = 10000)
{
    const DWORD end = ::GetTickCount() + timeoutMs;
    while (!condition()) {
        if (static_cast<LONG>(end - ::GetTickCount()) <= 0)
            return false;
        PumpMessages(20);
    }
    return true;
}

// Text of a window or control, also of another process; empty when it does not answer.
std::string WindowText(HWND window);

// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// Outer size of a window.
SIZE WindowSize(HWND window);

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
void WriteUserString(const char* path, const char* name, const std::string& value);

// The stand-in built for the tests that plays the preview tool and, copied, the media player.
constexpr char STAND_IN[] = PG_BIN_DIR "\\..\\stubbin\\ClipmendC.exe";

// Window class of the media player stand-in.
constexpr char PLAYER_CLASS[] = "Mplayer2StandIn";

// Closes every open media player stand-in and waits for its process to end, so that it holds no
// file of the test any more.
void ClosePlayers();

// Copies a file unless the target has the same bytes: a program from an earlier test may still be
// on its way out, and a running program cannot be overwritten.
bool CopyWhenChanged(const std::string& from, const std::string& to);

} // namespace pgtest
