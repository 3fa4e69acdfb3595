#include "catalogue/ListSort.h"

namespace pg {

namespace {

constexpr int PERCENT_COLUMN = 1;
constexpr int SIZE_COLUMN = 2;

// Byte order, as unsigned chars; the result is -1, 0 or 1 so that it can be negated.
int CompareTexts(const std::string& a, const std::string& b)
{
    const int order = a.compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int CompareNumbers(std::int32_t a, std::int32_t b)
{
    return a < b ? -1 : a > b ? 1 : 0;
}

// The quicksort with the middle row as pivot. Key reads the key of a row; the pivot key is read
// once and stays put while rows move. The smaller part is sorted by recursion and the larger one by
// the loop: the two parts are disjoint rows, so the result is the same in either order, and the
// stack stays shallow.
template <typename ReadKey, typename Compare>
bool QuickSort(RowTable& rows, bool ascending, int low, int high, ReadKey key, Compare compare)
{
    if (high == -1)
        high = rows.RowCount() - 1;
    if (low >= high)
        return false;
    while (low < high) {
        const auto pivot = key((low + high) / 2);
        const int order = ascending ? 1 : -1;
        int i = low;
        int j = high;
        while (i <= j) {
            while (i < high && compare(key(i), pivot) * order < 0)
                ++i;
            while (j > low && compare(key(j), pivot) * order > 0)
                --j;
            if (i <= j) {
                if (compare(key(i), key(j)) != 0)
                    rows.SwapRows(i, j);
                ++i;
                --j;
            }
        }
        if (j - low < high - i) {
            if (low < j)
                QuickSort(rows, ascending, low, j, key, compare);
            low = i;
        } else {
            if (i < high)
                QuickSort(rows, ascending, i, high, key, compare);
            high = j;
        }
    }
    return true;
}

} // namespace

std::int32_t LeadingInt(const std::string& text)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r')))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    std::uint32_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        value = value * 10 + static_cast<std::uint32_t>(text[pos] - '0');
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

bool SortTextItems(RowTable& rows, int column, bool ascending, int low, int high)
{
    return QuickSort(
        rows, ascending, low, high, [&](int row) { return rows.CellText(row, column); }, CompareTexts);
}

bool SortNumericItems(RowTable& rows, int column, bool ascending, int low, int high)
{
    if (column >= rows.ColumnCount())
        return false;
    return QuickSort(
        rows, ascending, low, high, [&](int row) { return LeadingInt(rows.CellText(row, column)); },
        CompareNumbers);
}

ColumnSorter ApplyColumnClick(int clickedColumn, std::int32_t& sortColumn, std::int32_t& sortAscending)
{
    if (clickedColumn < 0)
        return ColumnSorter::None;
    sortAscending = clickedColumn == sortColumn ? !sortAscending : 1;
    sortColumn = clickedColumn;
    return clickedColumn == PERCENT_COLUMN || clickedColumn == SIZE_COLUMN ? ColumnSorter::Numeric
                                                                           : ColumnSorter::Text;
}

void SortOnColumnClick(RowTable& rows, int clickedColumn, std::int32_t& sortColumn,
                       std::int32_t& sortAscending)
{
    switch (ApplyColumnClick(clickedColumn, sortColumn, sortAscending)) {
    case ColumnSorter::Text:
        SortTextItems(rows, sortColumn, sortAscending != 0);
        break;
    case ColumnSorter::Numeric:
        SortNumericItems(rows, sortColumn, sortAscending != 0);
        break;
    case ColumnSorter::None:
        break;
    }
}

} // namespace pg
