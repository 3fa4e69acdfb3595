#include "ui/ResizableDialog.h"

#include "framework/Application.h"
#include "ui/WindowRects.h"

#include <iterator>

namespace pg {
namespace {

constexpr WORD SIZE_GRIP_BITMAP = 32766; // OBM_SIZE
constexpr int DEFER_BATCH_SIZE = 20;

TrackLimits ToTrackLimits(const MINMAXINFO& info)
{
    const auto point = [](const POINT& p) { return Point32{p.x, p.y}; };
    return {point(info.ptReserved), point(info.ptMaxSize), point(info.ptMaxPosition),
            point(info.ptMinTrackSize), point(info.ptMaxTrackSize)};
}

void CopyLimits(const TrackLimits& limits, MINMAXINFO& info)
{
    const auto point = [](const Point32& p) { return POINT{p.x, p.y}; };
    info.ptMaxSize = point(limits.maxSize);
    info.ptMaxPosition = point(limits.maxPosition);
    info.ptMinTrackSize = point(limits.minTrackSize);
    info.ptMaxTrackSize = point(limits.maxTrackSize);
}

} // namespace

ResizableDialog::ResizableDialog(UINT templateId, HWND parent) : fw::Dialog(templateId, parent) {}

ResizableDialog::~ResizableDialog()
{
    // Once the dialog's window is gone its children are gone too, and the handle may be reused.
    if (m_hWnd && m_grip)
        ::DestroyWindow(m_grip);
    m_grip = nullptr;
    m_bmpGrip.Reset();
}

const fw::MessageMap* ResizableDialog::GetMessageMap() const
{
    static const fw::MessageEntry entries[] = {
        fw::WmSize<&ResizableDialog::OnSize>(),
        fw::WmGetMinMaxInfo<&ResizableDialog::OnGetMinMaxInfo>(),
        fw::WmEraseBkgnd<&ResizableDialog::OnEraseBkgnd>(),
        fw::WmNcHitTest<&ResizableDialog::OnNcHitTest>(),
    };
    static const fw::MessageMap map{fw::Dialog::GetMessageMap(), std::begin(entries), std::end(entries)};
    return &map;
}

BOOL ResizableDialog::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    m_rcWindow = WindowRect(m_hWnd);
    m_initWidth = m_rcWindow.Width();
    m_initHeight = m_rcWindow.Height();
    CreateGrip();
    AddAnchor(GRIP_CONTROL_ID, ANCHOR_MOVE, ANCHOR_MOVE, true);
    m_initDone = true;
    return TRUE;
}

void ResizableDialog::CreateGrip()
{
    m_bmpGrip.Reset(::LoadBitmapA(nullptr, MAKEINTRESOURCEA(SIZE_GRIP_BITMAP)));
    m_grip = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, 0, 10, 10, m_hWnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(GRIP_CONTROL_ID)),
                               fw::ResourceInstance(), nullptr);
    if (!m_grip)
        return;
    // The control takes the bitmap's size.
    ::SendMessageA(m_grip, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_bmpGrip.Get()));
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const Rect grip = PlaceGrip(ToRect(client), ChildRect(m_hWnd, m_grip));
    ::SetWindowPos(m_grip, nullptr, grip.left, grip.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void ResizableDialog::AddAnchor(std::int32_t id, std::int32_t hMode, std::int32_t vMode,
                                bool excludeFromErase)
{
    const HWND control = GetDlgItem(id);
    if (!control)
        return;
    m_anchors.push_back(
        MakeAnchor(id, hMode, vMode, ChildRect(m_hWnd, control), excludeFromErase, m_rcWindow));
}

void ResizableDialog::SetResizeDirections(std::int32_t allowWidth, std::int32_t allowHeight)
{
    m_allowWidth = allowWidth;
    m_allowHeight = allowHeight;
}

void ResizableDialog::OnSize(UINT, int, int)
{
    Default();
    if (m_anchors.empty())
        return;
    const Rect newWindow = WindowRect(m_hWnd);
    MoveControls(LayoutAnchors(m_anchors, m_rcWindow, newWindow));
    m_rcWindow = newWindow;
}

void ResizableDialog::MoveControls(const std::vector<AnchorMove>& moves) const
{
    // A moved control is painted afresh: a copy of its old pixels would carry along whatever its
    // overlapping neighbours had drawn there.
    constexpr UINT MOVE_FLAGS = SWP_NOZORDER | SWP_NOCOPYBITS;
    // One batch, so that all controls change in one step without flicker.
    HDWP batch = ::BeginDeferWindowPos(DEFER_BATCH_SIZE);
    for (const AnchorMove& move : moves) {
        if (!batch)
            break;
        batch = ::DeferWindowPos(batch, GetDlgItem(move.id), nullptr, move.rect.left, move.rect.top,
                                 move.rect.Width(), move.rect.Height(), MOVE_FLAGS);
    }
    if (batch) {
        ::EndDeferWindowPos(batch);
    } else {
        // A batch that could not be built has dropped its moves; the stored rectangles have already
        // changed, so the controls are moved one by one to stay in step with them.
        for (const AnchorMove& move : moves)
            ::SetWindowPos(GetDlgItem(move.id), nullptr, move.rect.left, move.rect.top, move.rect.Width(),
                           move.rect.Height(), MOVE_FLAGS);
    }
    // Controls that let the background show through, such as group boxes, need it erased anew
    // under their new place.
    for (const AnchorMove& move : moves) {
        if (m_anchors[move.index].excludeFromErase)
            continue;
        const RECT area{move.rect.left, move.rect.top, move.rect.right, move.rect.bottom};
        ::InvalidateRect(m_hWnd, &area, TRUE);
    }
}

void ResizableDialog::OnGetMinMaxInfo(MINMAXINFO* limits)
{
    TrackLimits trackLimits = ToTrackLimits(*limits);
    ApplySizeLimits(trackLimits, {m_initDone, m_initWidth, m_initHeight, m_allowWidth, m_allowHeight});
    CopyLimits(trackLimits, *limits);
}

BOOL ResizableDialog::OnEraseBkgnd(HDC context)
{
    // The clipping serves this erase only; whoever painted with the context next would lose the
    // controls' areas too.
    const int saved = ::SaveDC(context);
    for (const Anchor& anchor : m_anchors) {
        if (!anchor.excludeFromErase)
            continue;
        if (anchor.id == GRIP_CONTROL_ID && !::IsWindowVisible(m_grip))
            continue;
        ::ExcludeClipRect(context, anchor.rect.left, anchor.rect.top, anchor.rect.right, anchor.rect.bottom);
    }
    Default();
    if (saved)
        ::RestoreDC(context, saved);
    return 0;
}

LRESULT ResizableDialog::OnNcHitTest(POINT cursor)
{
    if (m_grip) {
        RECT grip{};
        ::GetWindowRect(m_grip, &grip);
        if (::PtInRect(&grip, cursor))
            return HTBOTTOMRIGHT;
    }
    return Default();
}

} // namespace pg
