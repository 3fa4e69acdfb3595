// A full refresh of the real main window on a temp tree: scan, metadata reads, list rows and the
// repaint that follows.
//   catalogue_refresh_bench TREE-DIR\ [ROUNDS]
#include "BenchSupport.h"

#include "app/MainDialog.h"
#include "res/resource.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: catalogue_refresh_bench TREE-DIR\\ [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    pg::MainDialog dialog;
    if (!dialog.Create(nullptr)) {
        std::fprintf(stderr, "refresh: the main window cannot be created\n");
        return 1;
    }
    // The window itself, with the platform's windowing code loaded, before any download is listed.
    bench::PrintPeak("window");
    dialog.SetDlgItemText(IDE_TEMP_DIR, argv[1]);
    const HWND list = dialog.GetDlgItem(IDL_DOWNLOADS);
    for (int round = 1; round <= rounds; ++round) {
        const LARGE_INTEGER start = bench::Now();
        dialog.Refresh();
        ::UpdateWindow(dialog.GetSafeHwnd());
        const double milliseconds = bench::Milliseconds(start, bench::Now());
        bench::PrintRound("refresh", round, milliseconds,
                          static_cast<std::size_t>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)));
    }
    bench::PrintPeak("refresh");
    dialog.DestroyWindow();
    return 0;
}
