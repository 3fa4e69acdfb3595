// The main window's download list: metadata lookups, the refresh, the rows, the double-click and
// the header-click sort.
#include "app/MainDialog.h"

#include "app/DumpOutput.h"
#include "app/MainLayout.h"
#include "catalogue/FindFileLister.h"
#include "catalogue/ListSort.h"
#include "catalogue/ListText.h"
#include "catalogue/ListViewRows.h"
#include "catalogue/MetadataPrefetch.h"
#include "catalogue/PartMetFile.h"
#include "framework/RedrawPause.h"
#include "tool/ToolJob.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace pg {

std::string MainDialog::GetPartInfo(std::string partPath)
{
    const PartInfo info = pg::GetPartInfo(partPath, DumpOutput());
    std::fflush(stdout);
    return TakePartInfo(info);
}

std::string MainDialog::GetPartInfo(MetadataPrefetch& metadata, std::size_t index)
{
    return TakePartInfo(metadata.Info(index, DumpOutput()));
}

std::string MainDialog::TakePartInfo(const PartInfo& info)
{
    m_percentReceived = info.percent;
    return info.name;
}

std::int32_t MainDialog::GetFirstGapStart(std::string partPath)
{
    const std::int32_t start = pg::GetFirstGapStart(partPath, DumpOutput());
    std::fflush(stdout);
    return start;
}

void MainDialog::Refresh()
{
    const HWND list = m_partList.GetSafeHwnd();
    UpdateData(true);
    ::SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    m_entries.Clear();
    m_tempDir = WithFinalBackslash(m_tempDir);
    UpdateData(false);
    // Watched before it is scanned, so that nothing that changes during the scan goes unseen.
    WatchTempDir();

    m_scanTarget = &m_entries;
    m_scanList = &m_partList;
    m_scanning = 1;
    ::SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    FindFileLister lister;
    for (const std::string& pattern : SplitPatterns(m_patterns))
        m_scanTarget->Scan(lister, m_tempDir, pattern, m_recursive != 0, SORT_SIZE_DESCENDING, false);
    m_scanning = 0;
    m_scanDone = 1;

    std::vector<std::string> partPaths;
    partPaths.reserve(m_entries.Count());
    for (std::size_t i = 0; i < m_entries.Count(); ++i)
        partPaths.push_back(m_entries[i].m_path);
    MetadataPrefetch metadata(std::move(partPaths));

    const fw::RedrawPause pause(list);
    m_listed.Clear();
    m_rowOrder = RowOrder();
    for (std::size_t i = 0; i < m_entries.Count(); ++i) {
        const PartEntry& entry = m_entries[i];
        const std::string name = GetPartInfo(metadata, i);
        const std::string size = SizeText(entry.m_size);
        const std::string percent = PercentText(m_percentReceived);
        // The record hands out the ids 0, 1, 2 ... in this order: each row's id is its index,
        // which AddListRow gives it as item data.
        m_listed.Add({Trim(name), Trim(percent), Trim(size), entry.m_path, entry.m_size});
        AddListRow(static_cast<int>(i), name, percent, size, entry.m_path);
    }
    std::fflush(stdout);
}

bool MainDialog::AddListRow(int index, const std::string& name, const std::string& percent,
                            const std::string& size, const std::string& path)
{
    return ListViewRows(m_partList.GetSafeHwnd())
        .InsertCells(index, {Trim(name), Trim(percent), Trim(size), path}, index);
}

void MainDialog::OnListDoubleClick(NMHDR*, LRESULT* result)
{
    const HWND list = m_partList.GetSafeHwnd();
    const ListViewRows rows(list);
    int row = -1;
    while ((row = static_cast<int>(::SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) != -1) {
        UpdateData(true);
        m_inFile = rows.CellText(row, PATH_COLUMN);
        m_outFile = rows.CellText(row, NAME_COLUMN);
        m_mediaName = m_outFile;
        UpdateData(false);
        m_playInputButton.EnableWindow(GetFirstGapStart(m_inFile) != 0);
        // The file Go writes for this name: ".avi" appended only where no container's extension ends it.
        m_playOutputButton.EnableWindow(FileExists(WithVideoExtension(m_outFile)));
    }
    *result = 0;
}

void MainDialog::OnColumnClick(NMHDR* header, LRESULT* result)
{
    const auto* click = reinterpret_cast<const NMLISTVIEW*>(header);
    ListViewRows rows(m_partList.GetSafeHwnd());
    SortOnColumnClick(rows, click->iSubItem, m_sortColumn, m_sortAscending);
    if (click->iSubItem >= 0)
        m_rowOrder = {m_sortColumn, m_sortAscending != 0};
    *result = 0;
}

bool MainDialog::SortTextItems(int column, bool ascending, int low, int high)
{
    ListViewRows rows(m_partList.GetSafeHwnd());
    return pg::SortTextItems(rows, column, ascending, low, high);
}

bool MainDialog::SortNumericItems(int column, bool ascending, int low, int high)
{
    ListViewRows rows(m_partList.GetSafeHwnd());
    return pg::SortNumericItems(rows, column, ascending, low, high);
}

} // namespace pg
