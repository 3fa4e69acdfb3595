#include "framework/IconPaint.h"

#include "framework/Handles.h"

namespace fw {

void SetWindowIcons(HWND window, HICON icon)
{
    ::SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

bool PaintIconWhenMinimised(HWND window, HICON icon)
{
    if (!::IsIconic(window))
        return false;
    PaintDC paint(window);
    ::SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Get()), 0);
    RECT client{};
    ::GetClientRect(window, &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(paint.Get(), x, y, icon);
    return true;
}

} // namespace fw
