#include "ui/HyperLinkStatic.h"

#include "framework/Application.h"
#include "framework/Registry.h"
#include "ui/HyperlinkText.h"
#include "ui/WindowRects.h"

#include <commctrl.h>
#include <shellapi.h>

#include <iterator>
#include <utility>

namespace pg {
namespace {

constexpr UINT_PTR TOOL_ID = 1;
constexpr WORD HELP_HAND_CURSOR = 106;
constexpr char HELP_PROGRAM[] = "\\winhlp32.exe";
constexpr char HTML_DOCUMENT_KEY[] = ".htm";
constexpr char OPEN_COMMAND_KEY[] = "\\shell\\open\\command";

// Tool records without the fields newer common controls added, so that older ones accept them.
TTTOOLINFOA ToolInfo(HWND control, const std::string& text)
{
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = control;
    tool.uId = TOOL_ID;
    tool.lpszText = const_cast<char*>(text.c_str());
    return tool;
}

std::string DefaultValueText(HKEY key)
{
    std::string text;
    DWORD type = 0;
    if (!fw::QueryValueText(key, nullptr, text, &type) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return text;
}

std::string WindowsDirectory()
{
    const UINT length = ::GetWindowsDirectoryA(nullptr, 0);
    std::string directory(length, '\0');
    const UINT copied = ::GetWindowsDirectoryA(directory.data(), length);
    if (copied == 0 || copied >= length)
        return {};
    directory.resize(copied);
    return directory;
}

} // namespace

HyperLinkStatic::~HyperLinkStatic()
{
    // Once the control's window is gone, the tooltip has gone with its owner.
    if (m_hWnd && m_tooltip)
        ::DestroyWindow(m_tooltip);
}

const fw::MessageMap* HyperLinkStatic::GetMessageMap() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnReflectedCommand<HyperLinkStatic>(STN_CLICKED, &HyperLinkStatic::OnClicked),
        fw::ReflectedCtlColorStatic<&HyperLinkStatic::OnCtlColor>(),
        fw::WmSetCursor<&HyperLinkStatic::OnSetCursor>(),
        fw::WmMouseMove<&HyperLinkStatic::OnMouseMove>(),
    };
    static const fw::MessageMap map{fw::Window::GetMessageMap(), std::begin(entries), std::end(entries)};
    return &map;
}

void HyperLinkStatic::PreSubclassWindow()
{
    // Clicks are then notified to the parent, which reflects them back here.
    ::SetWindowLongA(m_hWnd, GWL_STYLE, ::GetWindowLongA(m_hWnd, GWL_STYLE) | SS_NOTIFY);
    const std::string text = GetWindowText();
    if (m_target.empty())
        m_target = text;
    if (text.empty())
        SetWindowText(m_target);
    RebuildLinkFont();
    FitToText();
    LoadHandPointer();
    CreateTooltip();
    fw::Window::PreSubclassWindow();
}

void HyperLinkStatic::RebuildLinkFont()
{
    auto current = reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
    // A control that was never given a font draws with the system font.
    if (!current)
        current = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
    LOGFONTA logFont{};
    if (::GetObjectA(current, sizeof logFont, &logFont) == 0)
        return;
    logFont.lfUnderline = m_underlined ? TRUE : FALSE;
    fw::FontHandle font(::CreateFontIndirectA(&logFont));
    if (!font)
        return;
    ::SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    // The old font is deleted only once the control no longer uses it.
    m_linkFont = std::move(font);
}

void HyperLinkStatic::CreateTooltip()
{
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    m_tooltip =
        ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, m_hWnd, nullptr, fw::ResourceInstance(), nullptr);
    if (!m_tooltip)
        return;
    TTTOOLINFOA tool = ToolInfo(m_hWnd, m_target);
    tool.rect = client;
    ::SendMessageA(m_tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void HyperLinkStatic::SetTarget(std::string target)
{
    m_target = std::move(target);
    if (!m_hWnd)
        return;
    FitToText();
    if (m_tooltip) {
        TTTOOLINFOA tool = ToolInfo(m_hWnd, m_target);
        ::SendMessageA(m_tooltip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void HyperLinkStatic::SetVisitedState(BOOL visited)
{
    m_visited = visited;
    if (m_hWnd)
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void HyperLinkStatic::SetPointer(HCURSOR pointer)
{
    if (pointer != m_pointerCopy.Get())
        m_pointerCopy.Reset();
    m_pointer = pointer;
    if (!m_pointer)
        LoadHandPointer();
}

void HyperLinkStatic::SetUnderlined(BOOL underlined)
{
    m_underlined = underlined;
    if (!m_hWnd)
        return;
    RebuildLinkFont();
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void HyperLinkStatic::FitToText()
{
    if (!m_hWnd)
        return;
    const Rect window = ChildRect(::GetParent(m_hWnd), m_hWnd);
    const std::string text = GetWindowText();
    SIZE extent{};
    {
        const fw::WindowDC dc(m_hWnd);
        const fw::SelectedObject font(dc.Get(), m_linkFont.Get());
        ::GetTextExtentPoint32A(dc.Get(), text.c_str(), static_cast<int>(text.size()), &extent);
    }
    const auto style = static_cast<std::uint32_t>(::GetWindowLongA(m_hWnd, GWL_STYLE));
    const Rect fitted = FitLinkRect(window, style, extent.cx, extent.cy);
    ::SetWindowPos(m_hWnd, nullptr, fitted.left, fitted.top, fitted.Width(), fitted.Height(), SWP_NOZORDER);
}

void HyperLinkStatic::LoadHandPointer()
{
    if (m_pointer)
        return;
    const std::string directory = WindowsDirectory();
    if (directory.empty())
        return;
    const fw::ModuleHandle help(::LoadLibraryA((directory + HELP_PROGRAM).c_str()));
    if (!help)
        return;
    if (const HCURSOR hand = ::LoadCursorA(help.Get(), MAKEINTRESOURCEA(HELP_HAND_CURSOR))) {
        // The copy stays valid after the help program is released.
        m_pointerCopy.Reset(::CopyIcon(hand));
        m_pointer = m_pointerCopy.Get();
    }
}

void HyperLinkStatic::ReportOpenFailure(std::int32_t code)
{
    fw::AppMessageBox(OpenFailureText(code), MB_OK | MB_ICONEXCLAMATION);
}

BOOL HyperLinkStatic::PreTranslateMessage(MSG* message)
{
    if (m_tooltip)
        ::SendMessageA(m_tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(message));
    return fw::Window::PreTranslateMessage(message);
}

HBRUSH HyperLinkStatic::OnCtlColor(HDC context)
{
    ::SetTextColor(context, LinkTextColour(m_hovering != FALSE, m_visited != FALSE));
    ::SetBkMode(context, TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

BOOL HyperLinkStatic::OnSetCursor(HWND, UINT, UINT)
{
    if (!m_pointer)
        return FALSE;
    ::SetCursor(m_pointer);
    return TRUE;
}

void HyperLinkStatic::Redraw() const
{
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void HyperLinkStatic::OnMouseMove(UINT, POINT point)
{
    Default();
    if (!m_hovering) {
        m_hovering = TRUE;
        Redraw();
        ::SetCapture(m_hWnd);
        return;
    }
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    if (::PtInRect(&client, point))
        return;
    m_hovering = FALSE;
    ::ReleaseCapture();
    Redraw();
}

void HyperLinkStatic::OnClicked()
{
    m_hovering = FALSE;
    const std::int32_t result = OpenTarget(m_target, SW_SHOW);
    m_visited = OpenSucceeded(result) ? TRUE : FALSE;
    if (m_visited) {
        SetVisitedState(TRUE);
        return;
    }
    ::MessageBeep(MB_ICONEXCLAMATION);
    ReportOpenFailure(result);
}

std::int32_t HyperLinkStatic::OpenTarget(const std::string& target, int showCommand)
{
    const auto shell = reinterpret_cast<INT_PTR>(
        ::ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, showCommand));
    if (static_cast<UINT_PTR>(shell) > 32)
        return static_cast<std::int32_t>(shell);
    // The shell refused: start the registered web browser directly with the target.
    std::string command;
    if (ReadClassDefault(HKEY_CLASSES_ROOT, HTML_DOCUMENT_KEY, command) != ERROR_SUCCESS)
        return static_cast<std::int32_t>(shell);
    command += OPEN_COMMAND_KEY;
    if (ReadClassDefault(HKEY_CLASSES_ROOT, command, command) != ERROR_SUCCESS)
        return static_cast<std::int32_t>(shell);
    return static_cast<std::int32_t>(
        ::WinExec(HyperlinkCommandText(command, target).c_str(), static_cast<UINT>(showCommand)));
}

LONG HyperLinkStatic::ReadClassDefault(HKEY root, const std::string& subKey, std::string& value)
{
    fw::RegistryKey key;
    const LONG opened = ::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_QUERY_VALUE, key.Put());
    if (opened != ERROR_SUCCESS)
        return opened;
    value = DefaultValueText(key.Get());
    return ERROR_SUCCESS;
}

} // namespace pg
