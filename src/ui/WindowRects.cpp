#include "ui/WindowRects.h"

namespace pg {

Rect ToRect(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

Rect WindowRect(HWND window)
{
    RECT r{};
    ::GetWindowRect(window, &r);
    return ToRect(r);
}

Rect ChildRect(HWND parent, HWND child)
{
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return ToRect(r);
}

} // namespace pg
