#pragma once
// The application object, string loading and the application's message box.
#include "framework/Window.h"

#include <string>

namespace fw {

class WinApp
{
public:
    WinApp();
    WinApp(const WinApp&) = delete;
    WinApp& operator=(const WinApp&) = delete;
    virtual ~WinApp();

    // FALSE ends the program without a message loop.
    virtual BOOL InitInstance() { return FALSE; }
    virtual int Run();

    static WinApp* Current();
    static Window* MainWindow();

    Window* m_pMainWnd = nullptr;
};

// Module that holds the resources: the running executable.
HINSTANCE ResourceInstance();

// A string-table entry as 8-bit text in the ANSI code page; empty when it does not exist.
std::string LoadText(UINT id);

// Message box owned by the active window, titled with the program's name. Without an icon in
// the type an OK box gets the exclamation mark.
int AppMessageBox(const std::string& text, UINT type);

// Full path of the running executable, however long; empty when it cannot be had.
std::string ModulePath();

// The program's name: the executable's file name without its extension.
std::string AppTitle();

} // namespace fw
