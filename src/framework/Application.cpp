#include "framework/Application.h"

namespace fw {
namespace {

WinApp* currentApp = nullptr;

} // namespace

WinApp::WinApp()
{
    currentApp = this;
}

WinApp::~WinApp()
{
    if (currentApp == this)
        currentApp = nullptr;
}

WinApp* WinApp::Current()
{
    return currentApp;
}

Window* WinApp::MainWindow()
{
    return currentApp ? currentApp->m_pMainWnd : nullptr;
}

int WinApp::Run()
{
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

HINSTANCE ResourceInstance()
{
    return ::GetModuleHandleA(nullptr);
}

std::string LoadText(UINT id)
{
    std::string text(256, '\0');
    for (;;) {
        const int copied = ::LoadStringA(ResourceInstance(), id, text.data(), static_cast<int>(text.size()));
        if (copied <= 0)
            return {};
        if (static_cast<std::size_t>(copied) < text.size() - 1) {
            text.resize(static_cast<std::size_t>(copied));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

std::string ModulePath()
{
    // Grows until the whole path fits, however long it is.
    std::string path(MAX_PATH + 1, '\0');
    for (;;) {
        const DWORD copied =
            ::GetModuleFileNameA(ResourceInstance(), path.data(), static_cast<DWORD>(path.size()));
        if (copied == 0)
            return {};
        if (copied < path.size()) {
            path.resize(copied);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string AppTitle()
{
    std::string name = ModulePath();
    const std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

int AppMessageBox(const std::string& text, UINT type)
{
    if ((type & MB_ICONMASK) == 0 && (type & MB_TYPEMASK) == MB_OK)
        type |= MB_ICONEXCLAMATION;
    HWND owner = ::GetActiveWindow();
    if (!owner)
        if (Window* mainWindow = WinApp::MainWindow())
            owner = mainWindow->GetSafeHwnd();
    return ::MessageBoxA(owner, text.c_str(), AppTitle().c_str(), type);
}

} // namespace fw
