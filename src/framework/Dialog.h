#pragma once
// A dialog from a resource template, run modally by its own message loop so that every
// window in its chain gets PreTranslateMessage.
#include "framework/Window.h"

#include <cstdint>
#include <string>

namespace fw {

class DataExchange;

class Dialog : public Window
{
public:
    Dialog(UINT templateId, HWND parent);

    INT_PTR DoModal();
    // Opens the dialog without a modal loop. The caller pumps messages and destroys the window
    // before the object goes: only while the object lives do its handlers (WM_DESTROY among them)
    // run.
    bool Create(HWND parent);
    void DestroyWindow();
    void EndDialog(INT_PTR result);

    // Transfers between controls and members; false when a field could not be read.
    bool UpdateData(bool saveAndValidate);

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    std::string GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const std::string& text) const;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(DataExchange&) {}

    const MessageMap* GetMessageMap() const override;

private:
    void OnOkCommand() { OnOK(); }
    void OnCancelCommand() { OnCancel(); }
    bool PreTranslateChain(MSG& message);
    HWND OwnerForModal() const;
    HWND CreateFromTemplate(HWND owner);

    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_parent;
    bool m_continueModal = false;
    INT_PTR m_modalResult = -1;
};

} // namespace fw
