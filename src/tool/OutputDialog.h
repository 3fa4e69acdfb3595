#pragma once
// The window in which the preview tool runs: the tool's standard handles are pipes, and a reader
// thread shows what the tool prints, one chunk at a time.
#include "ToolEndMarker.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "tool/ToolJob.h"

#include <atomic>
#include <memory>
#include <string>

namespace pg {

// What one tool run shares between the output window and its reader thread. The reader holds it
// for as long as it runs, which may be long after the window has closed; so the window handle it
// may still message is cleared when the window goes, and every step of the reader checks it.
class ToolRun
{
public:
    ToolRun() = default;
    ToolRun(const ToolRun&) = delete;
    ToolRun& operator=(const ToolRun&) = delete;
    ~ToolRun() { CloseHandles(); }

    HWND Window() const { return m_window.load(); }
    void SetWindow(HWND window) { m_window.store(window); }

    HANDLE StdoutWrite() const { return m_stdoutWrite.load(); }
    void SetStdoutWrite(HANDLE handle) { m_stdoutWrite.store(handle); }
    // Either thread may let go of the output pipe's write end; whichever comes first closes it.
    void CloseStdoutWrite();

    // The window has closed: nothing is shown any more, and once the tool exits the pipe breaks
    // and the reader ends.
    void WindowClosed();

    // In the reader's order: input read end, output write end, input write end, output read end.
    void CloseHandles();

    fw::KernelHandle m_stdinRead;
    fw::KernelHandle m_stdinWrite;
    fw::KernelHandle m_stdoutRead;
    std::string m_endText;
    EndMarkerSearch m_endMarker{TOOL_END_MARKER}; // the reader's alone

private:
    std::atomic<HANDLE> m_stdoutWrite{nullptr};
    std::atomic<HWND> m_window{nullptr};
};

class OutputDialog : public fw::Dialog
{
public:
    explicit OutputDialog(HWND parent = nullptr);

    std::string m_arguments;
    LOGFONTA m_logFont;
    fw::FontHandle m_font;
    std::string m_text = "Working...";

protected:
    void DoDataExchange(fw::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    const fw::MessageMap* GetMessageMap() const override;

private:
    bool StartTool();
    bool LaunchTool();
    bool StartReader();
    void OnDestroy();

    // The reader's procedure; its parameter is its own reference to the run.
    static unsigned __stdcall ReaderThreadProc(void* parameter);
    static void ShowChunk(ToolRun& run, const char* chunk);
    static void ClearOutput(ToolRun& run);
    static void ShowFinished(ToolRun& run);

    std::shared_ptr<ToolRun> m_run;
};

} // namespace pg
