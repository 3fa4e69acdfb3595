#pragma once
// A window object bound to a window handle, with a static message table per class.
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace fw {

class Window;

// The text of any window or control.
std::string WindowText(HWND window);

using CommandHandler = void (Window::*)();
using MessageHandler = LRESULT (Window::*)(WPARAM, LPARAM);
using NotifyHandler = void (Window::*)(NMHDR*, LRESULT*);

enum class HandlerKind { Command, Message, Notify };

// Reflected messages: a parent hands control notifications and colour requests back to the
// framework object of the control first.
constexpr UINT REFLECT_BASE = 0x2000;
constexpr UINT REFLECTED_COMMAND = REFLECT_BASE + WM_COMMAND;
constexpr UINT REFLECTED_CTLCOLORSTATIC = REFLECT_BASE + WM_CTLCOLORSTATIC;

struct MessageEntry
{
    UINT message;
    UINT code;    // notification code of WM_COMMAND, WM_NOTIFY and reflected commands
    UINT idFirst; // control id range of WM_COMMAND and WM_NOTIFY
    UINT idLast;
    HandlerKind kind;
    CommandHandler onCommand;
    MessageHandler onMessage;
    NotifyHandler onNotify;
};

struct MessageMap
{
    const MessageMap* base;
    const MessageEntry* begin;
    const MessageEntry* end;
};

template <class T>
constexpr MessageEntry OnCommand(UINT id, UINT code, void (T::*handler)())
{
    return {WM_COMMAND, code, id, id, HandlerKind::Command, static_cast<CommandHandler>(handler), nullptr, nullptr};
}

template <class T>
constexpr MessageEntry OnReflectedCommand(UINT code, void (T::*handler)())
{
    return {REFLECTED_COMMAND, code, 0, 0xFFFF, HandlerKind::Command, static_cast<CommandHandler>(handler),
            nullptr, nullptr};
}

template <class T>
constexpr MessageEntry OnMessage(UINT message, LRESULT (T::*handler)(WPARAM, LPARAM))
{
    return {message, 0, 0, 0, HandlerKind::Message, nullptr, static_cast<MessageHandler>(handler), nullptr};
}

template <class T>
constexpr MessageEntry OnNotify(UINT id, UINT code, void (T::*handler)(NMHDR*, LRESULT*))
{
    return {WM_NOTIFY, code, id, id, HandlerKind::Notify, nullptr, nullptr, static_cast<NotifyHandler>(handler)};
}

class Window
{
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND GetSafeHwnd() const { return m_hWnd; }

    // The framework object bound to a window, or null.
    static Window* FromHandle(HWND window);

    // Binds this object to an existing control and routes its messages through the table.
    bool SubclassWindow(HWND window);

    virtual BOOL PreTranslateMessage(MSG* message);

    std::string GetWindowText() const;
    void SetWindowText(const std::string& text) const;
    void EnableWindow(bool enable) const;

protected:
    virtual const MessageMap* GetMessageMap() const;
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void PreSubclassWindow() {}

    // Default processing of the message being handled.
    LRESULT Default();
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Looks the message up in the tables; true when a handler took it.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    void Attach(HWND window);
    void Detach();
    // Sends the attached window's messages through the tables; its own procedure becomes the
    // default processing.
    void HookWindowProc();
    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    WNDPROC m_previousProc = nullptr;

private:
    bool ReflectToChild(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    struct CurrentMessage
    {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    CurrentMessage m_current{};
};

} // namespace fw
