#include "catalogue/ListViewRows.h"

#include "framework/RedrawPause.h"

#include <commctrl.h>

#include <numeric>
#include <unordered_map>
#include <vector>

namespace pg {

namespace {

LPARAM Param(HWND list, int row)
{
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    ::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

void SetParam(HWND list, int row, LPARAM param)
{
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = param;
    ::SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

int CALLBACK CompareDestinations(LPARAM first, LPARAM second, LPARAM)
{
    return first < second ? -1 : first > second ? 1 : 0;
}

using DestinationByParam = std::unordered_map<LPARAM, int>;

int CALLBACK CompareMappedDestinations(LPARAM first, LPARAM second, LPARAM destinations)
{
    const auto& destinationByParam = *reinterpret_cast<const DestinationByParam*>(destinations);
    return CompareDestinations(destinationByParam.find(first)->second,
                               destinationByParam.find(second)->second, 0);
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
    if (m_textBuffer.empty())
        m_textBuffer.resize(256);
    for (;;) {
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = m_textBuffer.data();
        item.cchTextMax = static_cast<int>(m_textBuffer.size());
        const auto length = static_cast<std::size_t>(
            ::SendMessageA(m_list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < m_textBuffer.size())
            return std::string(m_textBuffer.data(), length);
        m_textBuffer.resize(m_textBuffer.size() * 2);
    }
}

bool ListViewRows::InsertCells(int index, const std::vector<std::string>& cells, LPARAM param) const
{
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<char*>(cells.empty() ? "" : cells[0].c_str());
    item.lParam = param;
    if (::SendMessageA(m_list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) != index)
        return false;
    for (std::size_t column = 1; column < cells.size(); ++column)
        if (!SetCell(index, static_cast<int>(column), cells[column]))
            return false;
    return true;
}

bool ListViewRows::SetCell(int row, int column, const std::string& text) const
{
    LVITEMA cell{};
    cell.mask = LVIF_TEXT;
    cell.iItem = row;
    cell.iSubItem = column;
    cell.pszText = const_cast<char*>(text.c_str());
    return ::SendMessageA(m_list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&cell)) != FALSE;
}

std::intptr_t ListViewRows::RowId(int row) const
{
    return Param(m_list, row);
}

int ListViewRows::FindId(std::intptr_t id, int from) const
{
    LVFINDINFOA find{};
    find.flags = LVFI_PARAM;
    find.lParam = id;
    // The control's search starts after the row it is given.
    return static_cast<int>(::SendMessageA(m_list, LVM_FINDITEMA, static_cast<WPARAM>(from - 1),
                                           reinterpret_cast<LPARAM>(&find)));
}

void ListViewRows::PauseRedraw()
{
    if (!m_pause)
        m_pause.emplace(m_list);
}

void ListViewRows::RemoveRow(int row)
{
    PauseRedraw();
    ::SendMessageA(m_list, LVM_DELETEITEM, row, 0);
}

void ListViewRows::SetRow(int row, const ListedDownload& download)
{
    const std::vector<std::string> cells = download.Cells();
    for (std::size_t column = 0; column < cells.size(); ++column)
        SetCell(row, static_cast<int>(column), cells[column]);
}

void ListViewRows::MoveRow(int from, int to, const ListedDownload& download)
{
    LVITEMA item{};
    item.mask = LVIF_PARAM | LVIF_STATE;
    item.iItem = from;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageA(m_list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    PauseRedraw();
    ::SendMessageA(m_list, LVM_DELETEITEM, from, 0);
    if (!InsertCells(to, download.Cells(), item.lParam))
        return;
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = item.state & state.stateMask;
    ::SendMessageA(m_list, LVM_SETITEMSTATE, to, reinterpret_cast<LPARAM>(&state));
}

void ListViewRows::InsertRow(int row, const ListedDownload& download, std::intptr_t id)
{
    PauseRedraw();
    InsertCells(row, download.Cells(), id);
}

// The control sorts by item data alone. Where every row's item data is distinct (the rows this
// program inserts carry distinct ids), it names the row's destination for the
// control's sort. Otherwise each row is given its destination as item data for the sort and its own
// item data back after it. Texts, image, state, selection and focus stay with the row.
void ListViewRows::ReorderRows(int low, const std::vector<int>& order)
{
    const auto count = static_cast<std::size_t>(RowCount());
    std::vector<int> destination(count);
    std::iota(destination.begin(), destination.end(), 0);
    for (std::size_t k = 0; k < order.size(); ++k)
        destination[static_cast<std::size_t>(low + order[k])] = low + static_cast<int>(k);
    std::vector<LPARAM> params(count);
    DestinationByParam destinationByParam;
    destinationByParam.reserve(count);
    bool distinct = true;
    for (std::size_t row = 0; row < count; ++row) {
        params[row] = Param(m_list, static_cast<int>(row));
        distinct = distinct && destinationByParam.emplace(params[row], destination[row]).second;
    }
    if (distinct) {
        ::SendMessageA(m_list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&destinationByParam),
                       reinterpret_cast<LPARAM>(&CompareMappedDestinations));
        return;
    }
    // Without the pause every change of item data repaints its row.
    const fw::RedrawPause pause(m_list);
    for (std::size_t row = 0; row < count; ++row)
        SetParam(m_list, static_cast<int>(row), destination[row]);
    ::SendMessageA(m_list, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(&CompareDestinations));
    for (std::size_t row = 0; row < count; ++row)
        SetParam(m_list, destination[row], params[row]);
}

} // namespace pg
