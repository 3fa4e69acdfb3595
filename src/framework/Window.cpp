#include "framework/Window.h"

#include "framework/Lock.h"

#include <unordered_map>
#include <vector>

namespace fw {

namespace {

// The procedure that a hook which could not be taken off hands its window's messages to.
constexpr char LEFTOVER_HOOK_PROPERTY[] = "fw.LeftoverHook";

} // namespace
namespace {

// Window handle to its framework object. Kept in the process rather than as a window property:
// Wine answers every property lookup through its server, and the lookup runs for every message.
class HandleMap
{
public:
    Window* Find(HWND window)
    {
        ScopedLock hold(m_lock);
        const auto found = m_windows.find(window);
        return found == m_windows.end() ? nullptr : found->second;
    }
    void Set(HWND window, Window* object)
    {
        ScopedLock hold(m_lock);
        m_windows[window] = object;
    }
    void Remove(HWND window, const Window* object)
    {
        ScopedLock hold(m_lock);
        const auto found = m_windows.find(window);
        if (found != m_windows.end() && found->second == object)
            m_windows.erase(found);
    }

private:
    CriticalSection m_lock;
    std::unordered_map<HWND, Window*> m_windows;
};

HandleMap& Handles()
{
    static HandleMap handles;
    return handles;
}

} // namespace

Window::~Window()
{
    if (m_hWnd)
        Detach();
}

Window* Window::FromHandle(HWND window)
{
    return window ? Handles().Find(window) : nullptr;
}

void Window::Attach(HWND window)
{
    m_hWnd = window;
    Handles().Set(window, this);
}

void Window::Detach()
{
    if (m_previousProc) {
        if (::IsWindow(m_hWnd)) {
            if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC)) ==
                &Window::StaticWindowProc)
                ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
            else
                // Someone hooked the window after us, so our hook stays in their chain: it hands
                // every message on to the procedure it replaced.
                ::SetPropA(m_hWnd, LEFTOVER_HOOK_PROPERTY, reinterpret_cast<HANDLE>(m_previousProc));
        }
        m_previousProc = nullptr;
    }
    Handles().Remove(m_hWnd, this);
    m_hWnd = nullptr;
}

bool Window::SubclassWindow(HWND window)
{
    if (!window || FromHandle(window))
        return false;
    Attach(window);
    PreSubclassWindow();
    HookWindowProc();
    return true;
}

void Window::HookWindowProc()
{
    m_previousProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::StaticWindowProc)));
}

BOOL Window::PreTranslateMessage(MSG*)
{
    return FALSE;
}

std::string WindowText(HWND window)
{
    const int length = ::GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = ::GetWindowTextA(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

std::string Window::GetWindowText() const
{
    return WindowText(m_hWnd);
}

void Window::SetWindowText(const std::string& text) const
{
    ::SetWindowTextA(m_hWnd, text.c_str());
}

void Window::EnableWindow(bool enable) const
{
    ::EnableWindow(m_hWnd, enable ? TRUE : FALSE);
}

const MessageMap* Window::GetMessageMap() const
{
    static const MessageMap map{nullptr, nullptr, nullptr};
    return &map;
}

LRESULT Window::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_previousProc)
        return ::CallWindowProcA(m_previousProc, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT Window::Default()
{
    return DefaultProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT Window::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, result))
        return result;
    return DefaultProc(message, wParam, lParam);
}

bool Window::ReflectToChild(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    Window* control = FromHandle(child);
    if (!control || control == this)
        return false;
    return control->OnWndMsg(REFLECT_BASE + message, wParam, lParam, result);
}

bool Window::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    UINT id = 0;
    UINT code = 0;
    switch (message) {
    case WM_COMMAND:
        if (lParam && ReflectToChild(reinterpret_cast<HWND>(lParam), message, wParam, lParam, result))
            return true;
        id = LOWORD(wParam);
        code = HIWORD(wParam);
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
        if (ReflectToChild(reinterpret_cast<HWND>(lParam), message, wParam, lParam, result))
            return true;
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        id = static_cast<UINT>(header->idFrom);
        code = header->code;
        break;
    }
    case REFLECTED_COMMAND:
        code = HIWORD(wParam);
        break;
    default:
        break;
    }

    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageEntry* entry = map->begin; entry != map->end; ++entry) {
            if (entry->message != message)
                continue;
            const bool keyed = message == WM_COMMAND || message == WM_NOTIFY || message == REFLECTED_COMMAND;
            if (keyed && (entry->code != code || id < entry->idFirst || id > entry->idLast))
                continue;
            const CurrentMessage saved = m_current;
            m_current = {message, wParam, lParam};
            switch (entry->kind) {
            case HandlerKind::Command:
                (this->*entry->onCommand)();
                result = 0;
                break;
            case HandlerKind::Message:
                result = (this->*entry->onMessage)(wParam, lParam);
                break;
            case HandlerKind::Notify:
                result = 0;
                (this->*entry->onNotify)(reinterpret_cast<NMHDR*>(lParam), &result);
                break;
            case HandlerKind::Cracked:
                result = entry->cracker(*this, wParam, lParam);
                break;
            }
            m_current = saved;
            return true;
        }
    }
    return false;
}

LRESULT CALLBACK Window::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* self = FromHandle(window);
    if (!self) {
        const auto leftover = reinterpret_cast<WNDPROC>(::GetPropA(window, LEFTOVER_HOOK_PROPERTY));
        if (!leftover)
            return ::DefWindowProcA(window, message, wParam, lParam);
        if (message == WM_NCDESTROY)
            ::RemovePropA(window, LEFTOVER_HOOK_PROPERTY);
        return ::CallWindowProcA(leftover, window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        const WNDPROC previous = self->m_previousProc;
        self->Detach();
        return previous ? ::CallWindowProcA(previous, window, message, wParam, lParam)
                        : ::DefWindowProcA(window, message, wParam, lParam);
    }
    const CurrentMessage saved = self->m_current;
    self->m_current = {message, wParam, lParam};
    LRESULT result = 0;
    try {
        result = self->WindowProc(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's frames. The message gets its default processing
        // instead, and the user hears that what was asked for failed (running out of memory is
        // the failure that can reach here).
        ::MessageBeep(MB_ICONHAND);
        result = self->DefaultProc(message, wParam, lParam);
    }
    self->m_current = saved;
    return result;
}

} // namespace fw
