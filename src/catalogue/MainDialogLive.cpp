// The live download list: between refreshes, the downloads whose files the temp directory's watch
// reports are read again and merged into the rows in the order they stand in.
#include "app/MainDialog.h"

#include "app/DumpOutput.h"
#include "catalogue/FindFileLister.h"
#include "catalogue/ListText.h"
#include "catalogue/ListViewRows.h"
#include "catalogue/MetadataPrefetch.h"
#include "catalogue/PartMetFile.h"
#include "framework/Strings.h"
#include "res/resource.h"

#include <cstdio>
#include <optional>

namespace pg {

namespace {

bool IsDirectory(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.empty() ? "." : path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Scrolls a report-view list so that `top` is its first visible row, as far as the rows reach.
void ScrollToTopRow(HWND list, int top)
{
    const int now = static_cast<int>(::SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
    RECT row{};
    row.left = LVIR_BOUNDS;
    if (now == top || !::SendMessageA(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row)))
        return;
    ::SendMessageA(list, LVM_SCROLL, 0, (top - now) * (row.bottom - row.top));
}

} // namespace

void MainDialog::WatchTempDir()
{
    ::ShowWindow(GetDlgItem(IDT_LIVE_OFF), SW_HIDE);
    m_watcher.Start(m_hWnd, WM_DOWNLOADS_CHANGED, m_tempDir, m_recursive != 0);
}

LRESULT MainDialog::OnDownloadsChanged(WPARAM, LPARAM)
{
    const TempDirWatcher::Changes changes = m_watcher.TakeChanges();
    // A directory that is not there lists nothing, which says enough.
    if (changes.failure == TempDirWatcher::Failure::Lost ||
        (changes.failure == TempDirWatcher::Failure::Refused && IsDirectory(m_watcher.Directory())))
        ShowLiveNote();
    const std::vector<DownloadChange> downloads =
        changes.overflow ? ReadEveryDownload() : ReadChangedDownloads(changes.paths);
    if (!downloads.empty()) {
        const HWND list = m_partList.GetSafeHwnd();
        // The control scrolls to a row that gets the focus; the user's place in the list stays.
        const int top = static_cast<int>(::SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
        ListViewRows rows(list);
        MergeChanges(rows, m_listed, m_rowOrder, downloads);
        ScrollToTopRow(list, top);
    }
    std::fflush(stdout);
    return 0;
}

std::vector<DownloadChange> MainDialog::ReadChangedDownloads(const std::set<std::string>& paths)
{
    const std::vector<std::string> patterns = SplitPatterns(m_patterns);
    std::set<std::string> downloads;
    for (const std::string& path : paths) {
        const std::string download = DownloadOfChangedFile(path, patterns);
        if (!download.empty()) {
            downloads.insert(download);
            continue;
        }
        // Any other name may be a directory that came, went or was renamed, with downloads in it.
        for (std::string& listed : m_listed.PathsUnder(path + "\\"))
            downloads.insert(std::move(listed));
        if (m_recursive != 0 && IsDirectory(path)) {
            PartEntryList found;
            FindFileLister lister;
            for (const std::string& pattern : patterns)
                found.Scan(lister, path + "\\", pattern, true, SORT_SIZE_DESCENDING, false);
            for (std::size_t i = 0; i < found.Count(); ++i)
                downloads.insert(found[i].m_path);
        }
    }
    std::vector<DownloadChange> changes;
    changes.reserve(downloads.size());
    for (const std::string& download : downloads)
        changes.push_back(ReadDownload(download));
    return changes;
}

std::vector<DownloadChange> MainDialog::ReadEveryDownload()
{
    const std::string directory = m_watcher.Directory();
    PartEntryList found;
    FindFileLister lister;
    for (const std::string& pattern : SplitPatterns(m_patterns))
        found.Scan(lister, directory, pattern, m_recursive != 0, SORT_SIZE_DESCENDING, false);
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < found.Count(); ++i)
        paths.push_back(found[i].m_path);
    const std::set<std::string> present(paths.begin(), paths.end());

    std::vector<DownloadChange> changes;
    MetadataPrefetch metadata(std::move(paths));
    for (std::size_t i = 0; i < found.Count(); ++i)
        changes.push_back(ChangedRow(found[i].m_path, found[i].m_size, metadata.Info(i, DumpOutput())));
    for (std::string& listed : m_listed.PathsUnder(directory))
        if (!present.count(listed))
            changes.push_back({std::move(listed), std::nullopt});
    return changes;
}

DownloadChange MainDialog::ReadDownload(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return {path, std::nullopt};
    const std::uint64_t bytes = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
    return ChangedRow(path, bytes, pg::GetPartInfo(path, DumpOutput()));
}

DownloadChange MainDialog::ChangedRow(const std::string& path, std::uint64_t bytes, const PartInfo& info)
{
    ListedDownload row{Trim(info.name), Trim(PercentText(info.percent)), Trim(SizeText(bytes)), path, bytes};
    if (!info.read) {
        const std::optional<std::intptr_t> id = m_listed.IdOf(path);
        if (const ListedDownload* shown = id ? m_listed.Find(*id) : nullptr) {
            row.name = shown->name;
            row.percent = shown->percent;
        }
    }
    return {path, std::move(row)};
}

void MainDialog::ShowLiveNote()
{
    const HWND note = GetDlgItem(IDT_LIVE_OFF);
    ::SetWindowTextA(note, LoadTranslated(IDS_LIVE_OFF).c_str());
    ::ShowWindow(note, SW_SHOW);
}

} // namespace pg
