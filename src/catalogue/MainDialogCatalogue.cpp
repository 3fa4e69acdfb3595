// The main window's download list: metadata lookups, the refresh, the rows, the double-click and
// the header-click sort.
#include "app/MainDialog.h"

#include "app/MainLayout.h"
#include "catalogue/FindFileLister.h"
#include "catalogue/ListSort.h"
#include "catalogue/ListText.h"
#include "catalogue/ListViewRows.h"
#include "catalogue/MetadataPrefetch.h"
#include "catalogue/PartMetFile.h"

#include <cstdio>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <io.h>

namespace pg {

namespace {

constexpr int kNameColumn = 0;
constexpr int kPartPathColumn = 3;

// Stops a list from repainting after every row change, and repaints it once at the end. A hidden
// list is left alone: it paints nothing, and turning redrawing back on would show it.
class RedrawPause
{
  public:
    explicit RedrawPause(HWND window)
        : m_window(window), m_paused((::GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0)
    {
        if (m_paused)
            ::SendMessageA(m_window, WM_SETREDRAW, FALSE, 0);
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;
    ~RedrawPause()
    {
        if (!m_paused)
            return;
        ::SendMessageA(m_window, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(m_window, nullptr, TRUE);
    }

  private:
    HWND m_window;
    bool m_paused;
};

// The metadata reader's dump goes to standard output. The runtime leaves that stream unbuffered
// when it is a console or a device, and Wine's runtime then writes it in tiny pieces (a refresh of
// a thousand downloads took close to a minute); with a buffer, flushed when a refresh or a single
// lookup ends, the dump costs a few large writes. The stream is also switched to binary mode with
// the reader making the CR LF line ends itself: the bytes stay those of a text-mode stream, without
// the runtime's conversion on every write, which took a good part of a large refresh. Nothing else
// in the program writes to standard output, so both are set before its first output, as the
// runtime requires.
DumpTarget DumpStream()
{
    static const bool buffered = std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16) == 0;
    static const bool binary = _setmode(_fileno(stdout), _O_BINARY) != -1;
    static_cast<void>(buffered);
    return DumpTarget(stdout, binary);
}

} // namespace

std::string MainDialog::GetPartInfo(std::string partPath)
{
    const PartInfo info = pg::GetPartInfo(partPath, DumpStream());
    std::fflush(stdout);
    return TakePartInfo(info);
}

std::string MainDialog::GetPartInfo(MetadataPrefetch& metadata, std::size_t index)
{
    return TakePartInfo(metadata.Info(index, DumpStream()));
}

std::string MainDialog::TakePartInfo(const PartInfo& info)
{
    m_percentReceived = info.percent;
    return info.name;
}

std::int32_t MainDialog::GetFirstGapStart(std::string partPath)
{
    const std::int32_t start = pg::GetFirstGapStart(partPath, DumpStream());
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

    const RedrawPause pause(list);
    for (std::size_t i = 0; i < m_entries.Count(); ++i) {
        const PartEntry& entry = m_entries[i];
        const std::string name = GetPartInfo(metadata, i);
        const std::string size = SizeText(entry.m_size);
        const std::string percent = PercentText(m_percentReceived);
        AddListRow(static_cast<int>(i), name, percent, size, entry.m_path);
    }
    std::fflush(stdout);
}

bool MainDialog::AddListRow(int index, std::string name, std::string percent, std::string size,
                            const std::string& path)
{
    name = Trim(name);
    percent = Trim(percent);
    size = Trim(size);
    const HWND list = m_partList.GetSafeHwnd();

    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = name.data();
    if (::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) != index)
        return false;

    const std::string* subItems[] = {&percent, &size, &path};
    for (int column = 1; column <= 3; ++column) {
        LVITEMA subItem{};
        subItem.mask = LVIF_TEXT;
        subItem.iItem = index;
        subItem.iSubItem = column;
        subItem.pszText = const_cast<char*>(subItems[column - 1]->c_str());
        if (!::SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&subItem)))
            return false;
    }
    return true;
}

void MainDialog::OnListDoubleClick(NMHDR*, LRESULT* result)
{
    const HWND list = m_partList.GetSafeHwnd();
    const ListViewRows rows(list);
    int row = -1;
    while ((row = static_cast<int>(::SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) != -1) {
        UpdateData(true);
        m_inFile = rows.CellText(row, kPartPathColumn);
        m_outFile = rows.CellText(row, kNameColumn);
        m_mediaName = m_outFile;
        UpdateData(false);
        m_playInputButton.EnableWindow(GetFirstGapStart(m_inFile) != 0);
        m_playOutputButton.EnableWindow(FileExists(m_outFile + ".avi"));
    }
    *result = 0;
}

void MainDialog::OnColumnClick(NMHDR* header, LRESULT* result)
{
    const auto* click = reinterpret_cast<const NMLISTVIEW*>(header);
    const RedrawPause pause(m_partList.GetSafeHwnd());
    ListViewRows rows(m_partList.GetSafeHwnd());
    SortOnColumnClick(rows, click->iSubItem, m_sortColumn, m_sortAscending);
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
