#pragma once
// Holding back a window's repainting over a run of changes.
#include <windows.h>

namespace fw {

// Stops a window from repainting after every change, and repaints it once at the end. A hidden
// window is left alone: it paints nothing, and turning redrawing back on would show it.
class RedrawPause
{
public:
    explicit RedrawPause(HWND window)
        : m_window(window), m_paused((::GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0)
    {
        if (m_paused)
            ::SendMessageA(m_window, WM_SETREDRAW, FALSE, 0);
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;
    ~RedrawPause()
    {
        if (!m_paused)
            return;
        ::SendMessageA(m_window, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(m_window, nullptr, TRUE);
    }

private:
    HWND m_window;
    bool m_paused;
};

} // namespace fw
