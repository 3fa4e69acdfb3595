// A full refresh of the real main window on a temp tree: scan, metadata reads, list rows and the
// repaint that follows.
//   catalogue_refresh_bench TREE-DIR\ [ROUNDS]
#include "BenchSupport.h"

#include "MainWindowBench.h"

#include <commctrl.h>

int main(int argc, char** argv)
{
    const int rounds = bench::Rounds(argc, argv, "catalogue_refresh_bench");
    if (rounds < 0)
        return 2;
    pg::MainDialog dialog;
    if (!bench::OpenMainWindow(dialog, argv[1], "refresh"))
        return 1;
    // The window itself, with the platform's windowing code loaded, before any download is listed.
    bench::PrintPeak("window");
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
