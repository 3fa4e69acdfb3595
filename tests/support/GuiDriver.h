#pragma once
// Drives Partglance.exe from outside, as a user would: starts the program, finds its windows,
// reads what they show, types and clicks through the system's input queue.
#include "Win32TestSupport.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gui {

// Full path of a program built beside the tests (Partglance.exe, ClipmendC.exe, ...).
std::string BinPath(const std::string& fileName);

// A started program, ended when the object goes (closed politely, then terminated).
class Program
{
public:
    // With `standardOutput` set, the program's standard output is written to that file.
    explicit Program(const std::string& exePath, const std::string& currentDirectory = "",
                     const std::string& standardOutput = "");
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program();

    bool Started() const { return m_process != nullptr; }
    DWORD ProcessId() const { return m_processId; }

    // A visible top-level window of the program with exactly this title; null after the timeout.
    HWND WaitForWindow(const std::string& title, DWORD timeoutMs = 15000) const;
    // Every visible top-level window of the program.
    std::vector<HWND> Windows() const;
    bool WaitForExit(DWORD timeoutMs = 10000) const;

private:
    HANDLE m_process = nullptr;
    DWORD m_processId = 0;
};

HWND Item(HWND dialog, int id);
void SetText(HWND window, const std::string& text);
bool IsEnabled(HWND window);
bool IsVisible(HWND window);
// Clicks a button through its own message; returns at once, also when the click opens a modal window.
void PostClick(HWND button);

// Real input through the system's input queue.
void MovePointerTo(POINT screen);
// One mouse-button event, such as MOUSEEVENTF_LEFTDOWN.
void SendMouseButton(DWORD flag);
void SendKey(WORD virtualKey, bool up);
void BringToFront(HWND window);
void ClickAt(HWND window, int clientX, int clientY, bool doubleClick = false);
void ClickControl(HWND dialog, int id, bool doubleClick = false);
void TypeText(const std::string& text);
void PressKey(WORD virtualKey);

// List-view contents, also of another process: every row's cell texts, columns 0..columns-1.
std::vector<std::vector<std::string>> ListRows(HWND list, int columns);
// One cell's text of a list view, also of another process.
std::string ListCell(HWND list, int row, int column);
// Header texts of a list view, also of another process.
std::vector<std::string> ListHeadings(HWND list, int columns);
// Bounds of a list-view row of another process, in the list's client coordinates.
RECT ListItemRect(HWND list, int row);

// Runs a console program of the prefix (such as reg.exe) and returns what it printed.
std::string RunAndCapture(const std::string& commandLine);

// Where the program keeps its one setting, the temp directory, under HKEY_CURRENT_USER.
constexpr char SETTINGS_KEY[] = "SOFTWARE\\Partglance\\Dirs";
constexpr char TEMP_DIR_VALUE[] = "TmpDir";

// A test of the program from outside: its stored setting is cleared before and after.
class ProgramTest : public testing::Test
{
protected:
    void SetUp() override { pgtest::DeleteUserKey(SETTINGS_KEY); }
    void TearDown() override { pgtest::DeleteUserKey(SETTINGS_KEY); }
    // The temp directory the program lists when it starts.
    static void StoreTempDir(const std::string& path)
    {
        pgtest::WriteUserString(SETTINGS_KEY, TEMP_DIR_VALUE, path);
    }
};

} // namespace gui
