#pragma once
// Window rectangles as the layout arithmetic takes them.
#include "ui/AnchorLayout.h"

#include <windows.h>

namespace pg {

Rect ToRect(const RECT& r);

// The window's rectangle in screen coordinates.
Rect WindowRect(HWND window);

// A child's window rectangle in its parent's client coordinates (screen coordinates without a
// parent).
Rect ChildRect(HWND parent, HWND child);

} // namespace pg
