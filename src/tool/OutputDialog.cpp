#include "tool/OutputDialog.h"

#include "framework/DataExchange.h"
#include "framework/Strings.h"
#include "framework/Thread.h"
#include "res/resource.h"

#include <array>
#include <cstring>
#include <iterator>

namespace pg {
namespace {

// Not translated: it is the same in both languages.
constexpr char CONNECT_ERROR[] = "Error at connect...";

LOGFONTA OutputFont()
{
    LOGFONTA font{};
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = GB2312_CHARSET;
    std::strcpy(font.lfFaceName, "FixedSys");
    return font;
}

// Puts one of the program's standard handles back as it was when this was made.
class RememberedStdHandle
{
public:
    explicit RememberedStdHandle(DWORD which) : m_which(which), m_handle(::GetStdHandle(which)) {}
    RememberedStdHandle(const RememberedStdHandle&) = delete;
    RememberedStdHandle& operator=(const RememberedStdHandle&) = delete;
    ~RememberedStdHandle() { PutBack(); }

    bool PutBack()
    {
        if (m_putBack)
            return true;
        m_putBack = true;
        return ::SetStdHandle(m_which, m_handle) != FALSE;
    }

private:
    DWORD m_which;
    HANDLE m_handle;
    bool m_putBack = false;
};

// Releases every pipe handle of a start that did not get as far as the reader. Made before the
// remembered standard handles, so it runs after they are back.
class FailedStartCleanup
{
public:
    explicit FailedStartCleanup(ToolRun& run) : m_run(run) {}
    FailedStartCleanup(const FailedStartCleanup&) = delete;
    FailedStartCleanup& operator=(const FailedStartCleanup&) = delete;
    ~FailedStartCleanup()
    {
        if (!m_started)
            m_run.CloseHandles();
    }
    void Started() { m_started = true; }

private:
    ToolRun& m_run;
    bool m_started = false;
};

// Both ends inheritable, the system's default buffer size.
bool CreateInheritablePipe(fw::KernelHandle& readEnd, fw::KernelHandle& writeEnd)
{
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!::CreatePipe(&read, &write, &security, 0))
        return false;
    readEnd.Reset(read);
    writeEnd.Reset(write);
    return true;
}

// A copy of a pipe end that only the program holds: the tool does not inherit it.
bool DuplicateForProgram(HANDLE source, fw::KernelHandle& copy)
{
    const HANDLE process = ::GetCurrentProcess();
    return ::DuplicateHandle(process, source, process, copy.Put(), 0, FALSE, DUPLICATE_SAME_ACCESS) != FALSE;
}

HWND OutputBox(const ToolRun& run)
{
    const HWND window = run.Window();
    return window ? ::GetDlgItem(window, IDE_TOOL_OUTPUT) : nullptr;
}

} // namespace

void ToolRun::CloseStdoutWrite()
{
    if (const HANDLE handle = m_stdoutWrite.exchange(nullptr))
        ::CloseHandle(handle);
}

void ToolRun::WindowClosed()
{
    m_window.store(nullptr);
    CloseStdoutWrite();
}

void ToolRun::CloseHandles()
{
    m_stdinRead.Reset();
    CloseStdoutWrite();
    m_stdinWrite.Reset();
    m_stdoutRead.Reset();
}

OutputDialog::OutputDialog(HWND parent) : fw::Dialog(IDD_OUTPUT, parent), m_logFont(OutputFont()) {}

const fw::MessageMap* OutputDialog::GetMessageMap() const
{
    static const fw::MessageEntry entries[] = {
        fw::WmWithoutParameters<WM_DESTROY, &OutputDialog::OnDestroy>(),
    };
    static const fw::MessageMap map{fw::Dialog::GetMessageMap(), std::begin(entries), std::end(entries)};
    return &map;
}

void OutputDialog::DoDataExchange(fw::DataExchange& exchange)
{
    fw::DdxText(exchange, IDE_TOOL_OUTPUT, m_text);
}

BOOL OutputDialog::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    // A fresh run each time the window opens: a reader of an earlier run may still hold its own.
    m_run = std::make_shared<ToolRun>();
    m_run->SetWindow(m_hWnd);
    m_run->m_endText = LoadTranslated(IDS_OUTPUT_END_TEXT);
    ::EnableWindow(GetDlgItem(IDCANCEL), TRUE);

    SetWindowText(LoadTranslated(IDS_OUTPUT_TITLE));
    SetDlgItemText(IDCANCEL, LoadTranslated(IDS_OUTPUT_CANCEL));
    SetDlgItemText(IDOK, LoadTranslated(IDS_OUTPUT_CLOSE_AND_PLAY));
    m_text = LoadTranslated(IDS_OUTPUT_WAITING);
    UpdateData(false);

    m_font.Reset(::CreateFontIndirectA(&m_logFont));
    if (m_font)
        ::SendMessageA(GetDlgItem(IDE_TOOL_OUTPUT), WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), TRUE);

    if (StartTool())
        return TRUE;
    m_text = CONNECT_ERROR;
    UpdateData(false);
    return TRUE;
}

void OutputDialog::OnOK()
{
    // Close and Play ends with IDOK whatever the exchange of the box text says.
    EndDialog(IDOK);
    fw::Dialog::OnOK();
}

void OutputDialog::OnDestroy()
{
    if (m_run)
        m_run->WindowClosed();
    Default();
}

bool OutputDialog::StartTool()
{
    ToolRun& run = *m_run;
    FailedStartCleanup cleanup(run);

    RememberedStdHandle output(STD_OUTPUT_HANDLE);
    fw::KernelHandle outputRead;
    fw::KernelHandle outputWrite;
    if (!CreateInheritablePipe(outputRead, outputWrite))
        return false;
    run.SetStdoutWrite(outputWrite.Release());
    if (!::SetStdHandle(STD_OUTPUT_HANDLE, run.StdoutWrite()) ||
        !DuplicateForProgram(outputRead.Get(), run.m_stdoutRead))
        return false;
    outputRead.Reset();

    RememberedStdHandle input(STD_INPUT_HANDLE);
    fw::KernelHandle inputWrite;
    if (!CreateInheritablePipe(run.m_stdinRead, inputWrite) ||
        !::SetStdHandle(STD_INPUT_HANDLE, run.m_stdinRead.Get()))
        return false;

    // From here on a failed start still lets the user choose Close and Play.
    const bool duplicated = DuplicateForProgram(inputWrite.Get(), run.m_stdinWrite);
    inputWrite.Reset();
    if (!duplicated || !LaunchTool() || !input.PutBack() || !output.PutBack() || !StartReader()) {
        ShowFinished(run);
        return false;
    }
    cleanup.Started();
    return true;
}

bool OutputDialog::LaunchTool()
{
    std::string commandLine = ToolCommandLine(m_arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = m_run->m_stdinRead.Get();
    startup.hStdOutput = m_run->StdoutWrite();
    startup.hStdError = m_run->StdoutWrite();
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr,
                          nullptr, &startup, &started))
        return false;
    // The tool is followed only through its output.
    fw::KernelHandle process(started.hProcess);
    fw::KernelHandle thread(started.hThread);
    return true;
}

bool OutputDialog::StartReader()
{
    auto reference = std::make_unique<std::shared_ptr<ToolRun>>(m_run);
    // The reader ends by itself; its thread object is not kept.
    const fw::KernelHandle thread =
        fw::BeginThread(&OutputDialog::ReaderThreadProc, reference.get(), THREAD_PRIORITY_BELOW_NORMAL);
    if (!thread)
        return false;
    static_cast<void>(reference.release());
    return true;
}

unsigned __stdcall OutputDialog::ReaderThreadProc(void* parameter)
{
    const std::unique_ptr<std::shared_ptr<ToolRun>> reference(
        static_cast<std::shared_ptr<ToolRun>*>(parameter));
    ToolRun& run = **reference;
    std::array<char, TOOL_CHUNK_SIZE + 1> buffer;
    try {
        for (;;) {
            DWORD bytesRead = 0;
            const BOOL succeeded =
                ::ReadFile(run.m_stdoutRead.Get(), buffer.data(), TOOL_CHUNK_SIZE, &bytesRead, nullptr);
            if (succeeded && bytesRead > 0) {
                buffer[bytesRead] = '\0';
                ShowChunk(run, buffer.data());
                continue;
            }
            const DWORD error = succeeded ? ERROR_SUCCESS : ::GetLastError();
            ShowFinished(run);
            if (error == ERROR_BROKEN_PIPE)
                break;
            ShowChunk(run, "");
        }
    } catch (...) {
        // Out of memory for the texts: the reader stops showing, and ends as after the last chunk.
    }
    run.CloseHandles();
    if (const HWND window = run.Window())
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    return 1;
}

void OutputDialog::ShowChunk(ToolRun& run, const char* chunk)
{
    const std::string converted = ConvertLoneLineFeeds(chunk);
    ClearOutput(run);
    if (const HWND box = OutputBox(run))
        ::SendMessageA(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(converted.c_str()));
    if (run.m_endMarker.ChunkEndsWork(converted))
        ShowFinished(run);
}

void OutputDialog::ClearOutput(ToolRun& run)
{
    const HWND box = OutputBox(run);
    if (!box)
        return;
    ::SendMessageA(box, EM_SETSEL, 0, -1);
    ::SendMessageA(box, EM_SCROLLCARET, 0, 0);
    ::SendMessageA(box, WM_CLEAR, 0, 0);
}

void OutputDialog::ShowFinished(ToolRun& run)
{
    const HWND box = OutputBox(run);
    if (!box)
        return;
    const LRESULT length = ::SendMessageA(box, WM_GETTEXTLENGTH, 0, 0);
    ::SendMessageA(box, EM_SETSEL, length, length);
    ::SendMessageA(box, EM_SCROLLCARET, 0, 0);
    ::SendMessageA(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(run.m_endText.c_str()));
    ::EnableWindow(::GetDlgItem(::GetParent(box), IDOK), TRUE);
}

} // namespace pg
