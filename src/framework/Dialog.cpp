#include "framework/Dialog.h"

#include "framework/Application.h"
#include "framework/DataExchange.h"

#include <iterator>

namespace fw {

Dialog::Dialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

const MessageMap* Dialog::GetMessageMap() const
{
    static const MessageEntry entries[] = {
        fw::OnCommand<Dialog>(IDOK, BN_CLICKED, &Dialog::OnOkCommand),
        fw::OnCommand<Dialog>(IDCANCEL, BN_CLICKED, &Dialog::OnCancelCommand),
    };
    static const MessageMap map{Window::GetMessageMap(), std::begin(entries), std::end(entries)};
    return &map;
}

INT_PTR CALLBACK Dialog::StaticDialogProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    auto* self = reinterpret_cast<Dialog*>(lParam);
    // From here on every message goes through the object's tables; the dialog manager's own
    // procedure becomes the default processing.
    self->Attach(window);
    self->HookWindowProc();
    try {
        return self->OnInitDialog();
    } catch (...) {
        // Nothing may unwind through the dialog manager: the dialog shows as far as it got.
        ::MessageBeep(MB_ICONHAND);
        return TRUE;
    }
}

HWND Dialog::OwnerForModal() const
{
    if (m_parent)
        return m_parent;
    Window* mainWindow = WinApp::MainWindow();
    if (mainWindow && mainWindow != this && ::IsWindow(mainWindow->GetSafeHwnd()))
        return mainWindow->GetSafeHwnd();
    return nullptr;
}

HWND Dialog::CreateFromTemplate(HWND owner)
{
    return ::CreateDialogParamA(ResourceInstance(), MAKEINTRESOURCEA(m_templateId), owner,
                                &Dialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
}

bool Dialog::Create(HWND parent)
{
    m_continueModal = false;
    return CreateFromTemplate(parent) != nullptr;
}

void Dialog::DestroyWindow()
{
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

INT_PTR Dialog::DoModal()
{
    const HWND owner = OwnerForModal();
    m_continueModal = true;
    m_modalResult = -1;
    const bool disableOwner = owner && ::IsWindowEnabled(owner);
    if (disableOwner)
        ::EnableWindow(owner, FALSE);

    const HWND dialog = CreateFromTemplate(owner);
    if (dialog && m_continueModal && !::IsWindowVisible(dialog))
        ::ShowWindow(dialog, SW_SHOWNORMAL);

    MSG message;
    while (dialog && m_continueModal && ::IsWindow(dialog)) {
        const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0)
            break;
        if (!PreTranslateChain(message) && !::IsDialogMessageA(dialog, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }

    if (disableOwner)
        ::EnableWindow(owner, TRUE);
    if (dialog && ::IsWindow(dialog)) {
        ::SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        if (owner && ::GetActiveWindow() == dialog)
            ::SetActiveWindow(owner);
        ::DestroyWindow(dialog);
    }
    return m_modalResult;
}

bool Dialog::PreTranslateChain(MSG& message)
{
    // The target window and its parents up to this dialog each get a look at the message.
    for (HWND window = message.hwnd; window; window = ::GetParent(window)) {
        if (Window* object = Window::FromHandle(window))
            if (object->PreTranslateMessage(&message))
                return true;
        if (window == m_hWnd)
            break;
    }
    return false;
}

void Dialog::EndDialog(INT_PTR result)
{
    m_modalResult = result;
    m_continueModal = false;
    if (m_hWnd)
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

BOOL Dialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

void Dialog::OnOK()
{
    if (!UpdateData(true))
        return;
    EndDialog(IDOK);
}

void Dialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

bool Dialog::UpdateData(bool saveAndValidate)
{
    DataExchange exchange(*this, saveAndValidate);
    DoDataExchange(exchange);
    return !exchange.Failed();
}

std::string Dialog::GetDlgItemText(int id) const
{
    return WindowText(GetDlgItem(id));
}

void Dialog::SetDlgItemText(int id, const std::string& text) const
{
    ::SetDlgItemTextA(m_hWnd, id, text.c_str());
}

} // namespace fw
