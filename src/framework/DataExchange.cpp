#include "framework/DataExchange.h"

#include "framework/Application.h"
#include "framework/Text.h"

namespace fw {
namespace {

constexpr char PARSE_INT_MESSAGE[] = "Please enter an integer.";

// Setting an unchanged text would only make the control flicker.
void SetWindowText(HWND control, const std::string& text)
{
    if (WindowText(control) != text)
        ::SetWindowTextA(control, text.c_str());
}

} // namespace

void DataExchange::Fail(HWND control, const char* message)
{
    m_failed = true;
    AppMessageBox(message, MB_OK);
    if (control) {
        ::SetFocus(control);
        ::SendMessageA(control, EM_SETSEL, 0, -1);
    }
}

void DdxText(DataExchange& exchange, int id, std::string& value)
{
    if (exchange.Failed())
        return;
    const HWND control = exchange.GetDialog().GetDlgItem(id);
    if (exchange.SavesAndValidates())
        value = WindowText(control);
    else
        SetWindowText(control, value);
}

void DdxText(DataExchange& exchange, int id, std::int32_t& value)
{
    if (exchange.Failed())
        return;
    const HWND control = exchange.GetDialog().GetDlgItem(id);
    if (!exchange.SavesAndValidates()) {
        SetWindowText(control, Format("%d", static_cast<int>(value)));
        return;
    }
    std::int32_t parsed = 0;
    if (ParseInt32(WindowText(control), parsed))
        value = parsed;
    else
        exchange.Fail(control, PARSE_INT_MESSAGE);
}

void DdxControl(DataExchange& exchange, int id, Window& control)
{
    if (exchange.Failed() || control.GetSafeHwnd())
        return;
    control.SubclassWindow(exchange.GetDialog().GetDlgItem(id));
}

} // namespace fw
