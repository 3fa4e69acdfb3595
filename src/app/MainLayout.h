#pragma once
// Arithmetic of the main window that needs no window: list column widths and the temp-directory text.
#include <string>

namespace pg {

struct ColumnWidths
{
    int wide;   // file name and part-file path columns
    int narrow; // percent and size columns
};

// The two wide columns take 70 % of the client width each, so the list always scrolls sideways.
ColumnWidths ListColumnWidths(int clientWidth, int scrollBarWidth);

// A non-empty directory text always ends in a backslash.
std::string WithFinalBackslash(std::string directory);

} // namespace pg
