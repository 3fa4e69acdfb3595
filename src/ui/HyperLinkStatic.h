#pragma once
// A static text control of a dialog template turned into a clickable hyperlink: link colours,
// underlined font, fitted to its text, hand pointer, tooltip with the target, and on a click the
// target handed to the shell, or to the registered web browser when the shell refuses.
#include "framework/Handles.h"
#include "framework/Window.h"

#include <cstdint>
#include <string>

namespace pg {

class HyperLinkStatic : public fw::Window
{
public:
    HyperLinkStatic() = default;
    ~HyperLinkStatic() override;

    // All setters may run before the control is attached; they then only store the value.
    void SetTarget(std::string target);
    void SetVisitedState(BOOL visited);
    // No cursor falls back to the help program's hand pointer.
    void SetPointer(HCURSOR pointer);
    void SetUnderlined(BOOL underlined);
    void FitToText();
    void LoadHandPointer();
    void ReportOpenFailure(std::int32_t code);

    BOOL PreTranslateMessage(MSG* message) override;

    // The shell's result, or the browser launcher's when the shell refused; above 32 is success.
    static std::int32_t OpenTarget(const std::string& target, int showCommand);
    // The default value of a registry key, read whole; 0 or the error of opening the key.
    // A value that cannot be read yields an empty text.
    static LONG ReadClassDefault(HKEY root, const std::string& subKey, std::string& value);

protected:
    void PreSubclassWindow() override;
    const fw::MessageMap* GetMessageMap() const override;

private:
    void OnClicked();
    HBRUSH OnCtlColor(HDC dc);
    BOOL OnSetCursor(HWND, UINT hitTest, UINT mouseMessage);
    void OnMouseMove(UINT keys, POINT point);

    // Gives the control an underlined (or not) copy of the font it uses now.
    void RebuildLinkFont();
    void CreateTooltip();
    void Redraw() const;

    std::string m_target;
    fw::FontHandle m_linkFont;
    HWND m_tooltip = nullptr; // owned by the control's window
    BOOL m_hovering = FALSE;
    BOOL m_visited = FALSE;
    BOOL m_underlined = TRUE;
    HCURSOR m_pointer = nullptr;
    fw::IconHandle m_pointerCopy; // the hand pointer's private copy, when that is m_pointer
};

} // namespace pg
