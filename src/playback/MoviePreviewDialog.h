#pragma once
// The movie window: plays one media file in an embedded media window with its own play bar,
// shows the path and the playing position in its title and keeps itself fitted around the media.
#include "framework/Dialog.h"

#include <string>

namespace pg {

class MoviePreviewDialog : public fw::Dialog
{
public:
    explicit MoviePreviewDialog(HWND parent = nullptr);

    // 0 once the media window has opened the file and started playing; -2 when the open failed
    // (the media window has then shown its own error message).
    int OpenAndPlay(const std::string& path);

    // The embedded media window, or null while there is none.
    HWND MediaWindow() const { return m_mediaWindow; }

    std::string m_path;
    HICON m_hIcon = nullptr;

protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    const fw::MessageMap* GetMessageMap() const override;

private:
    void OnPaint();
    void ShowPosition(HWND media, LPARAM position) const;
    void FitAroundMediaWindow(HWND media) const;

    HWND m_mediaWindow = nullptr;
};

} // namespace pg
