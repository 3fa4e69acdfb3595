#pragma once
// Painting of a minimised dialog: its icon centred in the client area.
#include <windows.h>

namespace fw {

// Answers WM_PAINT of a minimised window: erases the icon background and draws the icon at
// ((client width - icon width + 1) / 2, (client height - icon height + 1) / 2).
void PaintCentredIcon(HWND window, HICON icon);

} // namespace fw
