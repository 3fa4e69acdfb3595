#pragma once
// The rows of a report-style list view as the row sort sees them.
#include "catalogue/ListSort.h"

#include <windows.h>

#include <string>
#include <vector>

namespace pg {

// Reads cell texts back from the control and reorders whole rows inside it; item data, image,
// selection and focus travel with a row.
class ListViewRows : public RowTable
{
public:
    explicit ListViewRows(HWND list) : m_list(list) {}

    int RowCount() const override;
    // The number of columns of the list's header (its child window with id 0).
    int ColumnCount() const override;
    std::string CellText(int row, int column) const override;
    void ReorderRows(int low, const std::vector<int>& order) override;

    // Inserts a row at `index` with the cells' texts, first column first, and the index as its item
    // data; true when the row and every cell were set.
    bool InsertRow(int index, const std::vector<std::string>& cells) const;

private:
    HWND m_list;
    mutable std::vector<char> m_textBuffer; // sized on the first read
};

} // namespace pg
