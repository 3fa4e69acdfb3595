#include "framework/IconPaint.h"

#include "framework/Handles.h"

namespace fw {

void PaintCentredIcon(HWND window, HICON icon)
{
    PaintDC paint(window);
    ::SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Get()), 0);
    RECT client{};
    ::GetClientRect(window, &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(paint.Get(), x, y, icon);
}

} // namespace fw
