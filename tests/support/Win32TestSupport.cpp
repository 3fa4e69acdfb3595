#include "Win32TestSupport.h"

#include <cstring>
#include <map>

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
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(copied);
    return text;
}

RECT ChildRect(HWND child)
{
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE WindowSize(HWND window)
{
    RECT r{};
    ::GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
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
    // InternalGetWindowText reads the title without sending a message, so no window of another
    // thread (a media device's, say) is asked anything.
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

// The watchers of this thread by their timers.
std::map<UINT_PTR, WindowWatcher*>& Watchers()
{
    static std::map<UINT_PTR, WindowWatcher*> watchers;
    return watchers;
}

} // namespace

WindowWatcher::WindowWatcher(const char* className, const std::string& title,
                             std::function<void(HWND)> action, DWORD timeoutMs)
    : m_className(className), m_title(title), m_action(std::move(action)),
      m_deadline(::GetTickCount() + timeoutMs)
{
    m_timer = ::SetTimer(nullptr, 0, 20, &WindowWatcher::OnTimer);
    Watchers()[m_timer] = this;
}

WindowWatcher::~WindowWatcher()
{
    Stop();
}

void WindowWatcher::Stop()
{
    if (!m_timer)
        return;
    ::KillTimer(nullptr, m_timer);
    Watchers().erase(m_timer);
    m_timer = 0;
}

void CALLBACK WindowWatcher::OnTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    const auto watcher = Watchers().find(timer);
    if (watcher != Watchers().end())
        watcher->second->Look();
}

void WindowWatcher::Look()
{
    Search search{m_className.c_str(), m_title.c_str(), nullptr};
    ::EnumWindows(&FindOwnWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
        // Once only, even when the action runs a message loop of its own.
        Stop();
        m_action(search.found);
        m_seen = true;
    } else if (static_cast<LONG>(m_deadline - ::GetTickCount()) <= 0) {
        Stop();
    }
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

void WriteUserString(const char* path, const char* name, const std::string& value)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(key);
}

void ClosePlayers()
{
    while (const HWND player = ::FindWindowA(PLAYER_CLASS, nullptr)) {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(player, &processId);
        const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
        ::PostMessageA(player, WM_CLOSE, 0, 0);
        if (process) {
            ::WaitForSingleObject(process, 5000);
            ::CloseHandle(process);
        } else {
            WaitUntil([&] { return !::IsWindow(player); });
        }
    }
}

bool CopyWhenChanged(const std::string& from, const std::string& to)
{
    return ReadWholeFile(from) == ReadWholeFile(to) || ::CopyFileA(from.c_str(), to.c_str(), FALSE);
}

} // namespace pgtest
