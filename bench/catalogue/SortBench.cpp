// Header clicks on the real main window's list of a temp tree, each column in both directions,
// against the list control's own sort of the same rows by the same keys held in memory.
//   catalogue_sort_bench TREE-DIR\ [ROUNDS]
// Each figure starts from the same order for both: the refresh order for the ascending sort, the
// ascending result for the descending one.
#include "BenchSupport.h"

#include "MainWindowBench.h"
#include "catalogue/ListSort.h"
#include "catalogue/ListViewRows.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int COLUMNS = 4;

bool IsNumericColumn(int column)
{
    return column == 1 || column == 2;
}

// The keys of one column as the control's own sort compares them, by row index in the item data.
struct ControlSortKeys
{
    std::vector<std::string> texts;
    std::vector<int> numbers;
    bool numeric = false;
    int direction = 1;
};

int CALLBACK CompareKeys(LPARAM first, LPARAM second, LPARAM keysParam)
{
    const auto& keys = *reinterpret_cast<const ControlSortKeys*>(keysParam);
    const auto a = static_cast<std::size_t>(first);
    const auto b = static_cast<std::size_t>(second);
    const int order = keys.numeric ? (keys.numbers[a] > keys.numbers[b]) - (keys.numbers[a] < keys.numbers[b])
                                   : keys.texts[a].compare(keys.texts[b]);
    return order * keys.direction;
}

// Until the window and the list are painted again, as a user waits for them.
template <typename Sort> double Timed(HWND window, Sort sort)
{
    const LARGE_INTEGER start = bench::Now();
    sort();
    ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return bench::Milliseconds(start, bench::Now());
}

void PrintFigure(const char* name, int column, bool ascending, int round, double milliseconds)
{
    std::fprintf(stderr, "%s column=%d %s round=%d ms=%.1f\n", name, column, ascending ? "asc" : "desc",
                 round, milliseconds);
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = bench::Rounds(argc, argv, "catalogue_sort_bench");
    if (rounds < 0)
        return 2;
    pg::MainDialog dialog;
    if (!bench::OpenMainWindow(dialog, argv[1], "sort"))
        return 1;
    ::ShowWindow(dialog.GetSafeHwnd(), SW_SHOW);
    const HWND window = dialog.GetSafeHwnd();
    const HWND list = dialog.GetDlgItem(IDL_DOWNLOADS);
    pg::ListViewRows rows(list);
    for (int round = 1; round <= rounds; ++round) {
        for (int column = 0; column < COLUMNS; ++column) {
            dialog.Refresh();
            ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            for (const bool ascending : {true, false})
                PrintFigure("click", column, ascending, round,
                            Timed(window, [&] { bench::ClickHeader(dialog, column); }));

            dialog.Refresh();
            ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            ControlSortKeys keys;
            keys.numeric = IsNumericColumn(column);
            for (int row = 0; row < rows.RowCount(); ++row) {
                keys.texts.push_back(rows.CellText(row, column));
                keys.numbers.push_back(pg::LeadingInt(keys.texts.back()));
                LVITEMA item{};
                item.mask = LVIF_PARAM;
                item.iItem = row;
                item.lParam = row;
                ::SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
            }
            for (const bool ascending : {true, false}) {
                keys.direction = ascending ? 1 : -1;
                PrintFigure("control", column, ascending, round, Timed(window, [&] {
                                ::SendMessageA(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&keys),
                                               reinterpret_cast<LPARAM>(&CompareKeys));
                            }));
            }
        }
    }
    std::fprintf(stderr, "rows=%d\n", rows.RowCount());
    dialog.DestroyWindow();
    return 0;
}
