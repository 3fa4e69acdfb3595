#include "catalogue/ListViewRows.h"

#include <commctrl.h>

#include <vector>

namespace pg {

namespace {

constexpr UINT ITEM_DATA_MASK = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
constexpr UINT ITEM_STATE_MASK = 0xFF0F;

LVITEMA ItemData(HWND list, int row)
{
    LVITEMA item{};
    item.mask = ITEM_DATA_MASK;
    item.stateMask = ITEM_STATE_MASK;
    item.iItem = row;
    ::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item;
}

void SetItemData(HWND list, int row, LVITEMA item)
{
    item.mask = ITEM_DATA_MASK;
    item.stateMask = ITEM_STATE_MASK;
    item.iItem = row;
    item.iSubItem = 0;
    ::SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

} // namespace

int ListViewRows::RowCount() const
{
    return static_cast<int>(::SendMessageA(m_list, LVM_GETITEMCOUNT, 0, 0));
}

int ListViewRows::ColumnCount() const
{
    return static_cast<int>(::SendMessageA(::GetDlgItem(m_list, 0), HDM_GETITEMCOUNT, 0, 0));
}

std::string ListViewRows::CellText(int row, int column) const
{
    // The control copies at most the buffer size minus one; a full buffer may mean a longer text.
    std::vector<char> buffer(256);
    for (;;) {
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        const auto length = static_cast<std::size_t>(
            ::SendMessageA(m_list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

void ListViewRows::SetCellText(int row, int column, const std::string& text) const
{
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    ::SendMessageA(m_list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

bool ListViewRows::InsertRow(int index, const std::vector<std::string>& cells) const
{
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(cells.empty() ? "" : cells[0].c_str());
    if (::SendMessageA(m_list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) != index)
        return false;
    for (std::size_t column = 1; column < cells.size(); ++column) {
        LVITEMA cell{};
        cell.mask = LVIF_TEXT;
        cell.iItem = index;
        cell.iSubItem = static_cast<int>(column);
        cell.pszText = const_cast<char*>(cells[column].c_str());
        if (!::SendMessageA(m_list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&cell)))
            return false;
    }
    return true;
}

void ListViewRows::SwapRows(int i, int j)
{
    const int columns = ColumnCount();
    std::vector<std::string> saved;
    saved.reserve(static_cast<std::size_t>(columns));
    for (int column = 0; column < columns; ++column)
        saved.push_back(CellText(i, column));
    const LVITEMA dataI = ItemData(m_list, i);
    const LVITEMA dataJ = ItemData(m_list, j);

    for (int column = 0; column < columns; ++column)
        SetCellText(i, column, CellText(j, column));
    SetItemData(m_list, i, dataJ);

    for (int column = 0; column < columns; ++column)
        SetCellText(j, column, saved[static_cast<std::size_t>(column)]);
    SetItemData(m_list, j, dataI);
}

} // namespace pg
