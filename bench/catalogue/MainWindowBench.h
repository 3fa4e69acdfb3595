#pragma once
// The program's real main window for the benchmarks that time it.
#include "app/MainDialog.h"
#include "res/resource.h"

#include <commctrl.h>

#include <cstdio>

namespace bench {

// Creates the main window, its temp directory set to `tree`; false, after a message naming the
// benchmark, when it cannot be created.
inline bool OpenMainWindow(pg::MainDialog& dialog, const char* tree, const char* benchmark)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    if (!dialog.Create(nullptr)) {
        std::fprintf(stderr, "%s: the main window cannot be created\n", benchmark);
        return false;
    }
    dialog.SetDlgItemText(IDE_TEMP_DIR, tree);
    return true;
}

// A click on a column heading, as the list reports it to the window.
inline void ClickHeader(pg::MainDialog& dialog, int column)
{
    NMLISTVIEW click{};
    click.hdr.hwndFrom = dialog.GetDlgItem(IDL_DOWNLOADS);
    click.hdr.idFrom = IDL_DOWNLOADS;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    ::SendMessageA(dialog.GetSafeHwnd(), WM_NOTIFY, IDL_DOWNLOADS, reinterpret_cast<LPARAM>(&click));
}

} // namespace bench
