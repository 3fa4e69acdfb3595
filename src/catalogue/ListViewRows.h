#pragma once
// The rows of a report-style list view as the row sort and the live list see them.
#include "catalogue/ListSort.h"
#include "catalogue/LiveList.h"
#include "framework/RedrawPause.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace pg {

// Reads cell texts back from the control and reorders, changes, moves and removes whole rows inside
// it; item data, image, selection and focus travel with a row. A row's id is its item data. Rows
// inserted, moved or removed through this object are drawn once, when it goes: the control redraws
// the whole list on each of them.
class ListViewRows : public LiveRows
{
public:
    explicit ListViewRows(HWND list) : m_list(list) {}

    int RowCount() const override;
    // The number of columns of the list's header (its child window with id 0).
    int ColumnCount() const override;
    std::string CellText(int row, int column) const override;
    void ReorderRows(int low, const std::vector<int>& order) override;

    std::intptr_t RowId(int row) const override;
    int FindId(std::intptr_t id, int from) const override;
    void RemoveRow(int row) override;
    void SetRow(int row, const ListedDownload& download) override;
    void MoveRow(int from, int to, const ListedDownload& download) override;
    void InsertRow(int row, const ListedDownload& download, std::intptr_t id) override;

    // Inserts a row at `index` with the cells' texts, first column first, and the item data;
    // true when the row and every cell were set.
    bool InsertCells(int index, const std::vector<std::string>& cells, LPARAM param) const;

private:
    bool SetCell(int row, int column, const std::string& text) const;
    void PauseRedraw();

    HWND m_list;
    std::optional<fw::RedrawPause> m_pause;
    mutable std::vector<char> m_textBuffer; // sized on the first read
};

} // namespace pg
