#include "Win32TestSupport.h"

#include <cstring>

namespace pgtest {

void PumpMessages(DWORD milliseconds)
{
    const DWORD end = ::GetTickCount() + milliseconds;
    MSG message;
    do {
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        ::Sleep(5);
    } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

std::string WindowText(HWND window)
{
    const LRESULT length = ::SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied = ::SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

WindowWatcher::WindowWatcher(const char* className, const std::string& title, std::function<void(HWND)> action,
                             DWORD timeoutMs)
    : m_className(className), m_title(title), m_action(std::move(action)), m_timeoutMs(timeoutMs)
{
    m_thread = ::CreateThread(nullptr, 0, &WindowWatcher::Run, this, 0, nullptr);
}

WindowWatcher::~WindowWatcher()
{
    ::WaitForSingleObject(m_thread, INFINITE);
    ::CloseHandle(m_thread);
}

bool WindowWatcher::Seen()
{
    return ::InterlockedCompareExchange(&m_seen, 0, 0) != 0;
}

namespace {

struct Search
{
    const char* className;
    const char* title;
    HWND found;
};

BOOL CALLBACK FindOwnWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    // InternalGetWindowText reads the title without sending a message, so the watcher never
    // waits on a test thread that is itself waiting for the watcher.
    wchar_t wideTitle[256] = {};
    ::InternalGetWindowText(window, wideTitle, 256);
    char title[512] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wideTitle, -1, title, sizeof title, nullptr, nullptr);
    const bool titleMatches = search->title[0] == '\0' ? ::GetWindow(window, GW_OWNER) != nullptr
                                                       : std::strcmp(title, search->title) == 0;
    if (process == ::GetCurrentProcessId() && std::strcmp(name, search->className) == 0 && titleMatches &&
        ::IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

DWORD WINAPI WindowWatcher::Run(void* parameter)
{
    auto* self = static_cast<WindowWatcher*>(parameter);
    const DWORD end = ::GetTickCount() + self->m_timeoutMs;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
        Search search{self->m_className.c_str(), self->m_title.c_str(), nullptr};
        ::EnumWindows(&FindOwnWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            ::Sleep(100); // let the window finish its initialisation
            self->m_action(search.found);
            ::InterlockedExchange(&self->m_seen, 1);
            return 0;
        }
        ::Sleep(20);
    }
    return 0;
}

std::string MessageBoxTitle()
{
    return "win32_tests";
}

std::string MessageBoxText(HWND box)
{
    return WindowText(::GetDlgItem(box, 0xFFFF));
}

void DeleteUserKey(const char* path)
{
    ::RegDeleteKeyA(HKEY_CURRENT_USER, path);
}

} // namespace pgtest
