#pragma once
// The program's main window: the download list and the fields of one preview job.
#include "catalogue/LiveList.h"
#include "catalogue/PartEntryList.h"
#include "catalogue/TempDirWatcher.h"
#include "ui/ResizableDialog.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace pg {

class MetadataPrefetch;
struct PartInfo;

class MainDialog : public ResizableDialog
{
public:
    explicit MainDialog(HWND parent = nullptr);

    static bool FileExists(const std::string& path);

    void Refresh();
    void SetListLocked(std::int32_t locked);

    // Download catalogue: metadata lookups, list rows, double-click and sorting.
    // Name of the download of a .part file; leaves its share received in m_percentReceived.
    std::string GetPartInfo(std::string partPath);
    // Offset of the download's first missing byte, 0 when none is usable.
    static std::int32_t GetFirstGapStart(std::string partPath);
    bool AddListRow(int index, const std::string& name, const std::string& percent, const std::string& size,
                    const std::string& path);
    void OnListDoubleClick(NMHDR* header, LRESULT* result);
    void OnColumnClick(NMHDR* header, LRESULT* result);
    bool SortTextItems(int column, bool ascending, int low, int high);
    bool SortNumericItems(int column, bool ascending, int low, int high);
    // Posted by the temp directory's watch when changes wait.
    static constexpr UINT WM_DOWNLOADS_CHANGED = WM_APP + 1;
    // Reads the downloads that changed since the last update and brings their rows up to date.
    LRESULT OnDownloadsChanged(WPARAM, LPARAM);
    // (end of download catalogue)

    // Preview tool: the Go button.
    void OnGo();
    // (end of preview tool)

    // Playback: the two Play buttons.
    void OnPlayInput();
    // Also run by Go: plays m_outFile as the member holds it, without reading the fields.
    void OnPlayOutput();
    // (end of playback)

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& exchange) override;
    const fw::MessageMap* GetMessageMap() const override;

private:
    void OnSysCommand(UINT command);
    void OnPaint();
    HICON OnQueryDragIcon();
    LRESULT OnUnlockList(WPARAM, LPARAM);
    // The file-open dialog with a translated title and filter; the chosen path, empty when cancelled.
    std::string ChooseFile(UINT titleId, UINT filterId, const char* defaultExtension);
    void OnBrowseInput();
    void OnBrowseOutput();
    void OnBrowseTempDir();
    void OnTempDirKillFocus();
    void OnClose();
    void OnDestroy();

    // Handlers and helpers of the subsystems, in the same order as above.
    // GetPartInfo of a refresh's download `index`, its metadata read ahead.
    std::string GetPartInfo(MetadataPrefetch& metadata, std::size_t index);
    // Keeps the share received in m_percentReceived; yields the name.
    std::string TakePartInfo(const PartInfo& info);
    // Starts watching m_tempDir for the live list.
    void WatchTempDir();
    // The downloads that the changed files stand for, read again; every download when the watch
    // could not tell what changed.
    std::vector<DownloadChange> ReadChangedDownloads(const std::set<std::string>& paths);
    std::vector<DownloadChange> ReadEveryDownload();
    // A download's row as it now reads, none when its data file has gone.
    DownloadChange ReadDownload(const std::string& path);
    // The row of a download of that size and metadata. Metadata that could not be read to its end
    // (the client may be saving it) leaves a listed download its name and share.
    DownloadChange ChangedRow(const std::string& path, std::uint64_t bytes, const PartInfo& info);
    void ShowLiveNote();
    // (end of subsystem handlers)

    void AddAboutItemToSystemMenu();
    void TranslateCaptions();
    void CreateListColumns();
    void InitTempDir();

public:
    fw::Window m_playOutputButton;
    fw::Window m_playInputButton;
    std::string m_inFile;
    std::string m_outFile;
    std::int32_t m_width = 640;
    std::int32_t m_startFrame = 1;
    std::int32_t m_height = 352;
    fw::Window m_partList;
    std::string m_tempDir;
    std::int32_t m_frameCount = 50;
    std::string m_mediaName;
    PartEntryList m_spareEntries;
    PartEntryList m_entries;
    PartEntryList* m_scanTarget = nullptr;
    fw::Window* m_scanList = nullptr;
    std::int32_t m_scanning = 0;
    std::int32_t m_scanDone = 0;
    std::string m_patterns = "*.part";
    std::int32_t m_recursive = 1;
    std::int32_t m_sortColumn = -1;
    std::int32_t m_sortAscending = 1;
    HICON m_hIcon = nullptr;
    std::string m_text;
    float m_percentReceived = 0.0f;
    std::int32_t m_listLocked = 0;

    // The live list: the watch of the temp directory, the downloads the rows show and the order
    // the rows stand in (a refresh's, or the last header sort's).
    TempDirWatcher m_watcher;
    ListedDownloads m_listed;
    RowOrder m_rowOrder;
};

} // namespace pg
