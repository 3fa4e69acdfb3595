#pragma once
// The rows of a report-style list view as the row sort sees them.
#include "catalogue/ListSort.h"

#include <windows.h>

#include <string>
#include <vector>

namespace pg {

// Reads cell texts back from the control and swaps whole rows inside it: texts, and the item data
// (image, parameter and every state bit except 0x00F0), so selection and focus travel with a row.
class ListViewRows : public RowTable
{
public:
    explicit ListViewRows(HWND list) : m_list(list) {}

    int RowCount() const override;
    // The number of columns of the list's header (its child window with id 0).
    int ColumnCount() const override;
    std::string CellText(int row, int column) const override;
    void SwapRows(int i, int j) override;

    // Inserts a row at `index` with the cells' texts, first column first; true when the row and
    // every cell were set.
    bool InsertRow(int index, const std::vector<std::string>& cells) const;

private:
    void SetCellText(int row, int column, const std::string& text) const;

    HWND m_list;
};

} // namespace pg
