#include "app/MainDialog.h"

#include "app/DirSettings.h"
#include "app/MainLayout.h"
#include "framework/Application.h"
#include "framework/Choosers.h"
#include "framework/DataExchange.h"
#include "framework/IconPaint.h"
#include "framework/Language.h"
#include "framework/Strings.h"
#include "playback/PlayDecision.h"
#include "res/resource.h"
#include "ui/AboutDialog.h"

#include <shlobj.h>

#include <iterator>

namespace pg {
namespace {

constexpr UINT WM_UNLOCK_LIST = WM_USER + 1;

struct ListColumn
{
    UINT heading;
    int format;
    bool wide;
};

constexpr ListColumn LIST_COLUMNS[] = {
    {IDS_COLUMN_FILE_NAME, LVCFMT_LEFT, true},
    {IDS_COLUMN_PERCENT, LVCFMT_RIGHT, false},
    {IDS_COLUMN_SIZE, LVCFMT_RIGHT, false},
    {IDS_COLUMN_PART_FILE, LVCFMT_LEFT, true},
};

struct TranslatedCaption
{
    int control;
    UINT text;
};

constexpr TranslatedCaption TRANSLATED_CAPTIONS[] = {
    {IDB_CLOSE, IDS_CLOSE},
    {IDT_INPUT, IDS_INPUT_LABEL},
    {IDT_OUTPUT, IDS_OUTPUT_LABEL},
    {IDT_START_FRAME, IDS_START_FRAME_LABEL},
    {IDT_FRAME_COUNT, IDS_FRAME_COUNT_LABEL},
    {IDT_IF_KNOWN, IDS_IF_KNOWN_LABEL},
    {IDT_HEIGHT, IDS_HEIGHT_LABEL},
    {IDT_WIDTH, IDS_WIDTH_LABEL},
    {IDB_GO, IDS_GO},
};

} // namespace

MainDialog::MainDialog(HWND parent) : ResizableDialog(IDD_MAIN, parent)
{
    LanguageOffset = 0;
    m_hIcon = ::LoadIconA(fw::ResourceInstance(), MAKEINTRESOURCEA(IDI_PROGRAM));
}

const fw::MessageMap* MainDialog::GetMessageMap() const
{
    static const fw::MessageEntry entries[] = {
        fw::WmSysCommand<&MainDialog::OnSysCommand>(),
        fw::WmWithoutParameters<WM_PAINT, &MainDialog::OnPaint>(),
        fw::WmQueryDragIcon<&MainDialog::OnQueryDragIcon>(),
        fw::OnCommand<MainDialog>(IDB_BROWSE_INPUT, BN_CLICKED, &MainDialog::OnBrowseInput),
        fw::OnCommand<MainDialog>(IDB_BROWSE_OUTPUT, BN_CLICKED, &MainDialog::OnBrowseOutput),
        fw::OnCommand<MainDialog>(IDB_REFRESH, BN_CLICKED, &MainDialog::Refresh),
        fw::OnCommand<MainDialog>(IDE_TEMP_DIR, EN_KILLFOCUS, &MainDialog::OnTempDirKillFocus),
        fw::OnCommand<MainDialog>(IDB_BROWSE_TEMP_DIR, BN_CLICKED, &MainDialog::OnBrowseTempDir),
        fw::OnCommand<MainDialog>(IDB_CLOSE, BN_CLICKED, &MainDialog::OnClose),
        fw::OnMessage<MainDialog>(WM_UNLOCK_LIST, &MainDialog::OnUnlockList),
        // Download catalogue
        fw::OnNotify<MainDialog>(IDL_DOWNLOADS, NM_DBLCLK, &MainDialog::OnListDoubleClick),
        fw::OnNotify<MainDialog>(IDL_DOWNLOADS, LVN_COLUMNCLICK, &MainDialog::OnColumnClick),
        fw::OnMessage<MainDialog>(WM_DOWNLOADS_CHANGED, &MainDialog::OnDownloadsChanged),
        fw::WmWithoutParameters<WM_DESTROY, &MainDialog::OnDestroy>(),
        // Preview tool
        fw::OnCommand<MainDialog>(IDB_GO, BN_CLICKED, &MainDialog::OnGo),
        // Playback
        fw::OnCommand<MainDialog>(IDB_PLAY_INPUT, BN_CLICKED, &MainDialog::OnPlayInput),
        fw::OnCommand<MainDialog>(IDB_PLAY_OUTPUT, BN_CLICKED, &MainDialog::OnPlayOutput),
    };
    static const fw::MessageMap map{ResizableDialog::GetMessageMap(), std::begin(entries), std::end(entries)};
    return &map;
}

void MainDialog::DoDataExchange(fw::DataExchange& exchange)
{
    fw::DdxControl(exchange, IDB_PLAY_OUTPUT, m_playOutputButton);
    fw::DdxControl(exchange, IDB_PLAY_INPUT, m_playInputButton);
    fw::DdxText(exchange, IDE_INPUT, m_inFile);
    fw::DdxText(exchange, IDE_OUTPUT, m_outFile);
    fw::DdxText(exchange, IDE_WIDTH, m_width);
    fw::DdxText(exchange, IDE_START_FRAME, m_startFrame);
    fw::DdxText(exchange, IDE_HEIGHT, m_height);
    fw::DdxControl(exchange, IDL_DOWNLOADS, m_partList);
    fw::DdxText(exchange, IDE_TEMP_DIR, m_tempDir);
    fw::DdxText(exchange, IDE_FRAME_COUNT, m_frameCount);
    fw::DdxText(exchange, IDE_MEDIA_NAME, m_mediaName);
}

namespace {

struct MainAnchor
{
    std::int32_t control;
    std::int32_t hMode;
    std::int32_t vMode;
    bool excludeFromErase = true;
};

// The list grows both ways, the right-hand column follows the right edge at its own height and
// Refresh and the note beside it, under the list, follow the bottom edge. The temp-directory row
// stays at the top left.
constexpr MainAnchor MAIN_ANCHORS[] = {
    {IDL_DOWNLOADS, ANCHOR_STRETCH, ANCHOR_STRETCH},
    {IDT_INPUT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDE_INPUT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDT_OUTPUT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDE_OUTPUT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDB_BROWSE_INPUT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDB_PLAY_INPUT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDB_BROWSE_OUTPUT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDB_PLAY_OUTPUT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDB_CLOSE, ANCHOR_MOVE, ANCHOR_FIXED},
    // A group box draws only its frame and caption: left out of the erase, its inside would show
    // whatever was on the screen before.
    {IDG_TOOL, ANCHOR_MOVE, ANCHOR_FIXED, false},
    {IDT_START_FRAME, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDE_START_FRAME, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDT_FRAME_COUNT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDE_FRAME_COUNT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDT_IF_KNOWN, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDT_WIDTH, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDE_WIDTH, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDT_HEIGHT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDE_HEIGHT, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDB_GO, ANCHOR_MOVE, ANCHOR_FIXED},
    {IDB_REFRESH, ANCHOR_FIXED, ANCHOR_MOVE},
    {IDT_LIVE_OFF, ANCHOR_STRETCH, ANCHOR_MOVE},
};

} // namespace

BOOL MainDialog::OnInitDialog()
{
    ResizableDialog::OnInitDialog();
    LanguageOffset = LanguageOffsetForLocale(::GetUserDefaultLCID());

    AddAboutItemToSystemMenu();
    fw::SetWindowIcons(m_hWnd, m_hIcon);
    TranslateCaptions();
    CreateListColumns();
    InitTempDir();
    SetResizeDirections(2, 2);
    for (const MainAnchor& anchor : MAIN_ANCHORS)
        AddAnchor(anchor.control, anchor.hMode, anchor.vMode, anchor.excludeFromErase);

    UpdateData(false);
    Refresh();
    ::ShowWindow(m_partList.GetSafeHwnd(), SW_SHOW);
    return TRUE;
}

void MainDialog::AddAboutItemToSystemMenu()
{
    const HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE);
    if (!systemMenu)
        return;
    const std::string item = LoadTranslated(IDS_ABOUT_ITEM);
    if (item.empty())
        return;
    ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUT, item.c_str());
}

void MainDialog::TranslateCaptions()
{
    for (const TranslatedCaption& caption : TRANSLATED_CAPTIONS) {
        m_text = LoadTranslated(caption.text);
        SetDlgItemText(caption.control, m_text);
    }
}

void MainDialog::CreateListColumns()
{
    RECT client{};
    ::GetClientRect(m_partList.GetSafeHwnd(), &client);
    const ColumnWidths widths =
        ListColumnWidths(client.right - client.left, ::GetSystemMetrics(SM_CXVSCROLL));
    int index = 0;
    for (const ListColumn& column : LIST_COLUMNS) {
        std::string heading = LoadTranslated(column.heading);
        LVCOLUMNA lvColumn{};
        lvColumn.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        lvColumn.fmt = column.format;
        lvColumn.cx = column.wide ? widths.wide : widths.narrow;
        lvColumn.pszText = heading.data();
        ::SendMessageA(m_partList.GetSafeHwnd(), LVM_INSERTCOLUMNA, index++,
                       reinterpret_cast<LPARAM>(&lvColumn));
    }
}

void MainDialog::InitTempDir()
{
    m_tempDir = LoadTranslated(IDS_DEFAULT_TEMP_DIR);
    DirSettings settings;
    settings.Load();
    if (!settings.m_tmpDir.empty())
        m_tempDir = settings.m_tmpDir;
    m_tempDir = WithFinalBackslash(m_tempDir);
}

void MainDialog::OnSysCommand(UINT command)
{
    // Every id from 16 to 31 is the about item.
    if ((command & 0xFFF0) == IDM_ABOUT) {
        AboutDialog about;
        about.DoModal();
        return;
    }
    Default();
}

void MainDialog::OnPaint()
{
    if (!fw::PaintIconWhenMinimised(m_hWnd, m_hIcon))
        Default();
}

HICON MainDialog::OnQueryDragIcon()
{
    return m_hIcon;
}

std::string MainDialog::ChooseFile(UINT titleId, UINT filterId, const char* defaultExtension)
{
    const std::string title = LoadTranslated(titleId);
    m_text = LoadTranslated(filterId);
    fw::Window* owner = fw::WinApp::MainWindow();
    fw::FileDialog dialog(true, defaultExtension, nullptr, OFN_HIDEREADONLY, m_text,
                          owner ? owner->GetSafeHwnd() : m_hWnd);
    dialog.m_title = title;
    return dialog.DoModal() == IDOK ? dialog.GetPathName() : std::string();
}

void MainDialog::OnBrowseInput()
{
    const std::string path = ChooseFile(IDS_INPUT_DIALOG_TITLE, IDS_INPUT_FILTER, "*.part");
    if (path.empty())
        return;
    SetDlgItemText(IDE_INPUT, path);
    SetDlgItemText(IDE_MEDIA_NAME, path);
    m_playInputButton.EnableWindow(!IsDownloadPath(path) || GetFirstGapStart(path) != 0);
}

void MainDialog::OnBrowseOutput()
{
    const std::string path = ChooseFile(IDS_OUTPUT_DIALOG_TITLE, IDS_OUTPUT_FILTER, "*.avi");
    if (!path.empty())
        SetDlgItemText(IDE_OUTPUT, path);
}

void MainDialog::OnBrowseTempDir()
{
    m_text = LoadTranslated(IDS_TEMP_DIR_BROWSE_TITLE);
    const fw::FolderChoice choice = fw::BrowseForFolder(m_hWnd, m_text, BIF_RETURNONLYFSDIRS);
    if (!choice.hasPath)
        return;
    SetDlgItemText(IDE_TEMP_DIR, choice.path);
    OnTempDirKillFocus();
    Refresh();
}

void MainDialog::OnTempDirKillFocus()
{
    DirSettings settings;
    UpdateData(true);
    if (!m_tempDir.empty()) {
        settings.m_tmpDir = m_tempDir;
        settings.Save();
    }
    Refresh();
}

void MainDialog::OnClose()
{
    EndDialog(IDOK);
}

void MainDialog::OnDestroy()
{
    m_watcher.Stop();
    Default();
}

LRESULT MainDialog::OnUnlockList(WPARAM, LPARAM)
{
    SetListLocked(0);
    return 1;
}

void MainDialog::SetListLocked(std::int32_t locked)
{
    m_listLocked = locked;
    m_partList.EnableWindow(locked != 1);
}

bool MainDialog::FileExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace pg
