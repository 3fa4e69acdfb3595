#include "playback/MoviePreviewDialog.h"

#include "framework/Application.h"
#include "framework/IconPaint.h"
#include "framework/Text.h"
#include "res/resource.h"

#include <vfw.h>

#include <iterator>

namespace pg {
namespace {

constexpr DWORD MEDIA_WINDOW_STYLE = WS_CHILD | WS_VISIBLE | WS_BORDER | MCIWNDF_NOOPEN | MCIWNDF_NOTIFYSIZE |
                                     MCIWNDF_NOTIFYPOS | MCIWNDF_NOMENU;
static_assert(MEDIA_WINDOW_STYLE == 0x50808608);

// Position updates four times a second whether or not the media window is active.
constexpr UINT POSITION_PERIOD_MS = 250;

std::string MediaFileName(HWND media)
{
    char name[MAX_PATH] = {};
    ::SendMessageA(media, MCIWNDM_GETFILENAMEA, sizeof name, reinterpret_cast<LPARAM>(name));
    name[sizeof name - 1] = '\0';
    return name;
}

bool IsChildOf(HWND parent, HWND media)
{
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (child == media)
            return true;
    return false;
}

} // namespace

MoviePreviewDialog::MoviePreviewDialog(HWND parent) : fw::Dialog(IDD_MOVIE_PREVIEW, parent)
{
    m_hIcon = ::LoadIconA(fw::ResourceInstance(), MAKEINTRESOURCEA(IDI_PROGRAM));
}

const fw::MessageMap* MoviePreviewDialog::GetMessageMap() const
{
    static const fw::MessageEntry entries[] = {
        fw::WmWithoutParameters<WM_PAINT, &MoviePreviewDialog::OnPaint>(),
    };
    static const fw::MessageMap map{fw::Dialog::GetMessageMap(), std::begin(entries), std::end(entries)};
    return &map;
}

BOOL MoviePreviewDialog::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    fw::SetWindowIcons(m_hWnd, m_hIcon);
    if (m_path.empty())
        return TRUE;

    SetWindowText(m_path);
    m_mediaWindow = ::MCIWndCreateA(m_hWnd, fw::ResourceInstance(), MEDIA_WINDOW_STYLE, nullptr);
    if (!m_mediaWindow) {
        EndDialog(IDOK);
        return TRUE;
    }
    ::SendMessageA(m_mediaWindow, MCIWNDM_SETTIMERS, POSITION_PERIOD_MS, POSITION_PERIOD_MS);
    if (OpenAndPlay(m_path) != 0) {
        ::UpdateWindow(m_hWnd);
        return TRUE;
    }
    return FALSE;
}

int MoviePreviewDialog::OpenAndPlay(const std::string& path)
{
    if (::SendMessageA(m_mediaWindow, MCIWNDM_OPENA, 0, reinterpret_cast<LPARAM>(path.c_str())) != 0)
        return -2;
    SetWindowText(path);
    ::SendMessageA(m_mediaWindow, MCI_PLAY, 0, 0);
    return 0;
}

LRESULT MoviePreviewDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The notifications name their media window in wParam: the first ones arrive while
    // MCIWndCreateA still runs, before its handle is known here.
    if (message == MCIWNDM_NOTIFYPOS)
        ShowPosition(reinterpret_cast<HWND>(wParam), lParam);
    else if (message == MCIWNDM_NOTIFYSIZE)
        FitAroundMediaWindow(reinterpret_cast<HWND>(wParam));
    return fw::Dialog::WindowProc(message, wParam, lParam);
}

void MoviePreviewDialog::ShowPosition(HWND media, LPARAM position) const
{
    const auto length = static_cast<unsigned>(::SendMessageA(media, MCIWNDM_GETLENGTH, 0, 0));
    SetWindowText(MediaFileName(media) + fw::Format(" %u / %u", static_cast<unsigned>(position), length));
}

void MoviePreviewDialog::FitAroundMediaWindow(HWND media) const
{
    if (MediaFileName(media).empty() || !IsChildOf(m_hWnd, media))
        return;
    RECT frame{};
    ::GetWindowRect(media, &frame);
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_EXSTYLE)));
    ::MoveWindow(m_hWnd, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top, TRUE);
}

void MoviePreviewDialog::OnPaint()
{
    if (!fw::PaintIconWhenMinimised(m_hWnd, m_hIcon))
        Default();
}

} // namespace pg
