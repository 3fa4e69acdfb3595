#pragma once
// A dialog's icon: in its title bar and task button, and painted when the dialog is minimised.
#include <windows.h>

namespace fw {

// Gives the window the icon as its big and then its small icon.
void SetWindowIcons(HWND window, HICON icon);

// Answers WM_PAINT of a minimised window: erases the icon background and draws the icon at
// ((client width - icon width + 1) / 2, (client height - icon height + 1) / 2). False, without
// painting, when the window is not minimised.
bool PaintIconWhenMinimised(HWND window, HICON icon);

} // namespace fw
