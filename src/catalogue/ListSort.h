#pragma once
// Sorting of the download list's rows by one column. The quicksort runs on the column's texts held
// in memory and the rows are then moved once; the order, ties included, is the one the same
// quicksort gives when it swaps rows inside the list.
#include <cstdint>
#include <string>
#include <vector>

namespace pg {

// The download list's columns.
constexpr int NAME_COLUMN = 0;
constexpr int PERCENT_COLUMN = 1;
constexpr int SIZE_COLUMN = 2;
constexpr int PATH_COLUMN = 3;

// The rows of a list as the sort sees them.
class RowTable
{
public:
    virtual ~RowTable() = default;
    virtual int RowCount() const = 0;
    virtual int ColumnCount() const = 0;
    virtual std::string CellText(int row, int column) const = 0;
    // Moves whole rows (texts, item data, selection and focus): the row at low + order[k] goes to
    // low + k. The rows outside low .. low + order.size() - 1 stay where they are.
    virtual void ReorderRows(int low, const std::vector<int>& order) = 0;
};

// Value of a text as the runtime's atoi reads it: leading white space skipped, an optional sign,
// the leading decimal digits; the rest is ignored ("700.00 MB" is 700). Overflow wraps around.
std::int32_t LeadingInt(const std::string& text);

// Sort rows low to high (inclusive; high = -1 or past the last row means the last row) by the
// column's text in byte order, or by its LeadingInt value. False when there was nothing to sort,
// and for a negative low; the numeric sort also refuses a column beyond the list's.
bool SortTextItems(RowTable& rows, int column, bool ascending, int low = 0, int high = -1);
bool SortNumericItems(RowTable& rows, int column, bool ascending, int low = 0, int high = -1);

enum class ColumnSorter { None, Text, Numeric };

// How a column compares: the percent and size columns by their LeadingInt values, the others as text.
ColumnSorter SorterOf(int column);

// -1, 0 or 1 as the column's ascending sort orders the two cell texts.
int CompareCells(int column, const std::string& a, const std::string& b);

// Header-click state: a click on the sorted column reverses the direction, a click on another
// column sorts it ascending. Updates sortColumn (-1 before the first click) and sortAscending
// (1 or 0) and says which sorter the column takes; None for a negative column, which changes nothing.
ColumnSorter ApplyColumnClick(int clickedColumn, std::int32_t& sortColumn, std::int32_t& sortAscending);

// The whole header click: the state update, then the sort of all rows by the clicked column.
void SortOnColumnClick(RowTable& rows, int clickedColumn, std::int32_t& sortColumn,
                       std::int32_t& sortAscending);

} // namespace pg
