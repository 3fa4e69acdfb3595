#pragma once
// A dialog whose window the user may resize: registered controls follow their anchors, a size
// grip sits in the bottom-right corner and the window never gets smaller than it opened.
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "ui/AnchorLayout.h"

#include <cstdint>
#include <vector>

namespace pg {

class ResizableDialog : public fw::Dialog
{
public:
    ResizableDialog(UINT templateId, HWND parent);
    ~ResizableDialog() override;

    // Registers a child control after the base initialisation has run; nothing moves yet.
    // An id without a child control is ignored.
    void AddAnchor(std::int32_t id, std::int32_t hMode, std::int32_t vMode, bool excludeFromErase);

    // Zero holds that direction at the opening size; any other value lets it grow.
    void SetResizeDirections(std::int32_t allowWidth, std::int32_t allowHeight);

protected:
    // Derived dialogs call this first in their own OnInitDialog, then register their anchors.
    BOOL OnInitDialog() override;
    const fw::MessageMap* GetMessageMap() const override;

private:
    void OnSize(UINT type, int width, int height);
    void OnGetMinMaxInfo(MINMAXINFO* limits);
    BOOL OnEraseBkgnd(HDC dc);
    LRESULT OnNcHitTest(POINT screenPoint);

    void CreateGrip();
    void MoveControls(const std::vector<AnchorMove>& moves) const;

    std::vector<Anchor> m_anchors;
    Rect m_rcWindow;
    std::int32_t m_initWidth = 0;
    std::int32_t m_initHeight = 0;
    std::int32_t m_allowWidth = 1;
    std::int32_t m_allowHeight = 1;
    fw::BitmapHandle m_bmpGrip;
    HWND m_grip = nullptr; // child of the dialog; the window goes with the dialog's
    bool m_initDone = false;
};

} // namespace pg
