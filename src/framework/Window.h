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
// Unpacks a message's parameters into their own types and calls a typed handler.
using Cracker = LRESULT (*)(Window&, WPARAM, LPARAM);

enum class HandlerKind { Command, Message, Notify, Cracked };

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
    Cracker cracker = nullptr;
};

struct MessageMap
{
    const MessageMap* base;
    const MessageEntry* begin;
    const MessageEntry* end;
};

template <class T> constexpr MessageEntry OnCommand(UINT id, UINT code, void (T::*handler)())
{
    return {WM_COMMAND, code,   id, id, HandlerKind::Command, static_cast<CommandHandler>(handler),
            nullptr,    nullptr};
}

template <class T> constexpr MessageEntry OnReflectedCommand(UINT code, void (T::*handler)())
{
    return {REFLECTED_COMMAND, code,   0, 0xFFFF, HandlerKind::Command, static_cast<CommandHandler>(handler),
            nullptr,           nullptr};
}

template <class T> constexpr MessageEntry OnMessage(UINT message, LRESULT (T::*handler)(WPARAM, LPARAM))
{
    return {message, 0, 0, 0, HandlerKind::Message, nullptr, static_cast<MessageHandler>(handler), nullptr};
}

template <class T> constexpr MessageEntry OnNotify(UINT id, UINT code, void (T::*handler)(NMHDR*, LRESULT*))
{
    return {WM_NOTIFY,           code,    id,      id,
            HandlerKind::Notify, nullptr, nullptr, static_cast<NotifyHandler>(handler)};
}

// Typed entries for the system messages the program handles, as a message-cracker table would
// give them: the handler receives the message's parameters in their own types, and its result
// becomes the message's.
template <class> struct HandlerClass;
template <class T, class R, class... Parameters> struct HandlerClass<R (T::*)(Parameters...)>
{
    using Type = T;
};

template <auto Handler> auto& Receiver(Window& window)
{
    return static_cast<typename HandlerClass<decltype(Handler)>::Type&>(window);
}

// A point packed into a message parameter; the coordinates are signed (screens left of or above
// the primary one).
inline POINT PointOf(LPARAM packed)
{
    return {static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed))};
}

constexpr MessageEntry CrackedEntry(UINT message, Cracker cracker)
{
    return {message, 0, 0, 0, HandlerKind::Cracked, nullptr, nullptr, nullptr, cracker};
}

// void OnSize(UINT type, int width, int height)
template <auto Handler> constexpr MessageEntry WmSize()
{
    return CrackedEntry(WM_SIZE, [](Window& window, WPARAM type, LPARAM size) -> LRESULT {
        (Receiver<Handler>(window).*Handler)(static_cast<UINT>(type), LOWORD(size), HIWORD(size));
        return 0;
    });
}

// void OnGetMinMaxInfo(MINMAXINFO* limits)
template <auto Handler> constexpr MessageEntry WmGetMinMaxInfo()
{
    return CrackedEntry(WM_GETMINMAXINFO, [](Window& window, WPARAM, LPARAM limits) -> LRESULT {
        (Receiver<Handler>(window).*Handler)(reinterpret_cast<MINMAXINFO*>(limits));
        return 0;
    });
}

// BOOL OnEraseBkgnd(HDC dc)
template <auto Handler> constexpr MessageEntry WmEraseBkgnd()
{
    return CrackedEntry(WM_ERASEBKGND, [](Window& window, WPARAM dc, LPARAM) -> LRESULT {
        return (Receiver<Handler>(window).*Handler)(reinterpret_cast<HDC>(dc));
    });
}

// LRESULT OnNcHitTest(POINT screenPoint): an HT* value
template <auto Handler> constexpr MessageEntry WmNcHitTest()
{
    return CrackedEntry(WM_NCHITTEST, [](Window& window, WPARAM, LPARAM point) -> LRESULT {
        return (Receiver<Handler>(window).*Handler)(PointOf(point));
    });
}

// BOOL OnSetCursor(HWND window, UINT hitTest, UINT mouseMessage)
template <auto Handler> constexpr MessageEntry WmSetCursor()
{
    return CrackedEntry(WM_SETCURSOR, [](Window& window, WPARAM under, LPARAM codes) -> LRESULT {
        return (Receiver<Handler>(window).*Handler)(reinterpret_cast<HWND>(under), LOWORD(codes),
                                                    HIWORD(codes));
    });
}

// void OnMouseMove(UINT keys, POINT clientPoint)
template <auto Handler> constexpr MessageEntry WmMouseMove()
{
    return CrackedEntry(WM_MOUSEMOVE, [](Window& window, WPARAM keys, LPARAM point) -> LRESULT {
        (Receiver<Handler>(window).*Handler)(static_cast<UINT>(keys), PointOf(point));
        return 0;
    });
}

// void OnSysCommand(UINT command)
template <auto Handler> constexpr MessageEntry WmSysCommand()
{
    return CrackedEntry(WM_SYSCOMMAND, [](Window& window, WPARAM command, LPARAM) -> LRESULT {
        (Receiver<Handler>(window).*Handler)(static_cast<UINT>(command));
        return 0;
    });
}

// void OnPaint(), void OnDestroy(): messages whose parameters say nothing
template <UINT Message, auto Handler> constexpr MessageEntry WmWithoutParameters()
{
    return CrackedEntry(Message, [](Window& window, WPARAM, LPARAM) -> LRESULT {
        (Receiver<Handler>(window).*Handler)();
        return 0;
    });
}

// HICON OnQueryDragIcon()
template <auto Handler> constexpr MessageEntry WmQueryDragIcon()
{
    return CrackedEntry(WM_QUERYDRAGICON, [](Window& window, WPARAM, LPARAM) -> LRESULT {
        return reinterpret_cast<LRESULT>((Receiver<Handler>(window).*Handler)());
    });
}

// HBRUSH OnCtlColor(HDC dc), for a static control's colour request reflected back to it
template <auto Handler> constexpr MessageEntry ReflectedCtlColorStatic()
{
    return CrackedEntry(REFLECTED_CTLCOLORSTATIC, [](Window& window, WPARAM dc, LPARAM) -> LRESULT {
        return reinterpret_cast<LRESULT>((Receiver<Handler>(window).*Handler)(reinterpret_cast<HDC>(dc)));
    });
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
