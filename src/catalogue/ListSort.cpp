#include "catalogue/ListSort.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace pg {

namespace {

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

// The quicksort with the middle position as pivot, on positions low .. high of order, which holds
// indices into keys. The pivot key is read once and stays put while positions move. The smaller part
// is sorted by recursion and the larger one by the loop: the two parts are disjoint, so the result
// is the same in either order, and the stack stays shallow.
template <typename Key, typename Compare>
void QuickSort(const std::vector<Key>& keys, std::vector<int>& order, bool ascending, int low, int high,
               Compare compare)
{
    const auto key = [&](int position) -> const Key& {
        return keys[static_cast<std::size_t>(order[static_cast<std::size_t>(position)])];
    };
    const int direction = ascending ? 1 : -1;
    while (low < high) {
        const Key& pivot = key((low + high) / 2);
        int i = low;
        int j = high;
        while (i <= j) {
            while (i < high && compare(key(i), pivot) * direction < 0)
                ++i;
            while (j > low && compare(key(j), pivot) * direction > 0)
                --j;
            if (i <= j) {
                if (compare(key(i), key(j)) != 0)
                    std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        }
        if (j - low < high - i) {
            if (low < j)
                QuickSort(keys, order, ascending, low, j, compare);
            low = i;
        } else {
            if (i < high)
                QuickSort(keys, order, ascending, i, high, compare);
            high = j;
        }
    }
}

// Reads the keys of rows low .. high once, sorts them in memory and moves the rows once. A range
// reaching past the last row ends at it.
template <typename ReadKey, typename Compare>
bool SortRows(RowTable& rows, bool ascending, int low, int high, ReadKey readKey, Compare compare)
{
    const int last = rows.RowCount() - 1;
    if (high == -1 || high > last)
        high = last;
    if (low < 0 || low >= high)
        return false;
    std::vector<decltype(readKey(0))> keys;
    keys.reserve(static_cast<std::size_t>(high - low + 1));
    for (int row = low; row <= high; ++row)
        keys.push_back(readKey(row));
    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    QuickSort(keys, order, ascending, 0, high - low, compare);
    // A permutation in ascending order leaves every row where it is.
    if (!std::is_sorted(order.begin(), order.end()))
        rows.ReorderRows(low, order);
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
    return SortRows(
        rows, ascending, low, high, [&](int row) { return rows.CellText(row, column); }, CompareTexts);
}

bool SortNumericItems(RowTable& rows, int column, bool ascending, int low, int high)
{
    if (column >= rows.ColumnCount())
        return false;
    return SortRows(
        rows, ascending, low, high, [&](int row) { return LeadingInt(rows.CellText(row, column)); },
        CompareNumbers);
}

ColumnSorter ApplyColumnClick(int clickedColumn, std::int32_t& sortColumn, std::int32_t& sortAscending)
{
    if (clickedColumn < 0)
        return ColumnSorter::None;
    sortAscending = clickedColumn == sortColumn ? !sortAscending : 1;
    sortColumn = clickedColumn;
    return SorterOf(clickedColumn);
}

int CompareCells(int column, const std::string& a, const std::string& b)
{
    return SorterOf(column) == ColumnSorter::Numeric ? CompareNumbers(LeadingInt(a), LeadingInt(b))
                                                     : CompareTexts(a, b);
}

ColumnSorter SorterOf(int column)
{
    if (column < 0)
        return ColumnSorter::None;
    return column == PERCENT_COLUMN || column == SIZE_COLUMN ? ColumnSorter::Numeric : ColumnSorter::Text;
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
