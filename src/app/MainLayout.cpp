#include "app/MainLayout.h"

namespace pg {

ColumnWidths ListColumnWidths(int clientWidth, int scrollBarWidth)
{
    const int wide = static_cast<int>(clientWidth * 0.7);
    return {wide, clientWidth - wide - scrollBarWidth};
}

std::string WithFinalBackslash(std::string directory)
{
    if (!directory.empty() && directory.back() != '\\')
        directory += '\\';
    return directory;
}

} // namespace pg
