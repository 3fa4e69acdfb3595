// The output window and the Go button with a stand-in for the preview tool.
//
// The program looks for the tool beside itself before anywhere else, and the build puts the real
// tool beside this test program. So each test here runs again in a copy of the test program in
// a folder of its own: beside the stand-in (also copied as the media player, so that what is
// played can be seen), or with no tool at all.
#include "ExpectedTexts.h"
#include "Win32TestSupport.h"

#include "ToolEndMarker.h"
#include "app/MainDialog.h"
#include "framework/Dialog.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "tool/OutputDialog.h"
#include "tool/ToolJob.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

namespace {

using pgtest::CopyWhenChanged;
using pgtest::Expected;
using pgtest::PumpMessages;
using pgtest::ReadWholeFile;
using pgtest::STAND_IN;
using pgtest::WaitUntil;
using pgtest::WindowText;

constexpr char INSIDE_VARIABLE[] = "PG_TOOL_TEST_FOLDER";
constexpr char MARKER[] = TOOL_END_MARKER;

enum class ToolFolder { StandIn, NoTool };

std::string FolderPath(ToolFolder folder)
{
    return std::string(PG_BIN_DIR "\\..\\tool-tests\\") +
           (folder == ToolFolder::StandIn ? "standin" : "notool");
}

std::string ThisProgram()
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

bool InsideToolFolder()
{
    return std::getenv(INSIDE_VARIABLE) != nullptr;
}

// This process's own folder once it runs as the copy.
std::string OwnFolder()
{
    const std::string program = ThisProgram();
    return program.substr(0, program.rfind('\\'));
}

void PrepareFolder(ToolFolder folder)
{
    const std::string path = FolderPath(folder);
    ::CreateDirectoryA(PG_BIN_DIR "\\..\\tool-tests", nullptr);
    ::CreateDirectoryA(path.c_str(), nullptr);
    ASSERT_TRUE(CopyWhenChanged(ThisProgram(), path + "\\win32_tests.exe"));
    if (folder == ToolFolder::StandIn) {
        ASSERT_TRUE(CopyWhenChanged(STAND_IN, path + "\\ClipmendC.exe"));
        ASSERT_TRUE(CopyWhenChanged(STAND_IN, path + "\\Mplayer2.exe"));
    }
}

// Runs the current test once more in a copy of this program in the folder, and expects it to
// pass there. True when that has been done, so that the caller has nothing left to do.
bool RanInToolFolder(ToolFolder folder)
{
    if (InsideToolFolder())
        return false;
    PrepareFolder(folder);
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string path = FolderPath(folder);
    std::string commandLine =
        "\"" + path + "\\win32_tests.exe\" --gtest_filter=" + test->test_suite_name() + "." + test->name();
    // The copy reports into this process's own output.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    ::SetEnvironmentVariableA(INSIDE_VARIABLE, "1");
    const BOOL created = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          path.c_str(), &startup, &started);
    ::SetEnvironmentVariableA(INSIDE_VARIABLE, nullptr);
    EXPECT_TRUE(created) << commandLine;
    if (!created)
        return true;
    DWORD exitCode = 1;
    if (::WaitForSingleObject(started.hProcess, 240000) != WAIT_OBJECT_0)
        ::TerminateProcess(started.hProcess, 99);
    ::GetExitCodeProcess(started.hProcess, &exitCode);
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    EXPECT_EQ(0u, exitCode) << "the test failed in " << path;
    return true;
}

// What the stand-in prints in a mode, caught in a file without the program under test.
std::string StandInOutput(const std::string& mode)
{
    const std::string outputPath = OwnFolder() + "\\standin-output.bin";
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    const HANDLE output = ::CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &security,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::string commandLine = "ClipmendC.exe \"" + mode + "\"";
    PROCESS_INFORMATION started{};
    if (::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr,
                         nullptr, &startup, &started)) {
        ::WaitForSingleObject(started.hProcess, 10000);
        ::CloseHandle(started.hThread);
        ::CloseHandle(started.hProcess);
    }
    ::CloseHandle(output);
    return ReadWholeFile(outputPath);
}

// The process's open handles, counted in the system's handle list (Wine answers 0 to
// GetProcessHandleCount).
DWORD HandleCount()
{
    struct HandleEntry
    {
        ULONG ownerProcessId;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        void* object;
        ACCESS_MASK access;
    };
    using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    constexpr ULONG SYSTEM_HANDLE_INFORMATION = 16;
    const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> buffer(1 << 16);
    ULONG needed = 0;
    LONG status = 0;
    while ((status = query(SYSTEM_HANDLE_INFORMATION, buffer.data(), static_cast<ULONG>(buffer.size()),
                           &needed)) == static_cast<LONG>(0xC0000004))
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    ULONG count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(void*));
    DWORD own = 0;
    for (ULONG i = 0; i < count; ++i)
        if (entries[i].ownerProcessId == ::GetCurrentProcessId())
            ++own;
    return own;
}

int ThreadCount()
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId())
            ++count;
    ::CloseHandle(snapshot);
    return count;
}

// What the output window adds once the tool is done.
std::string EndText()
{
    return "\r\n\r\n" + Expected(pgtest::OUTPUT_END_TEXT);
}

// Every line the stand-in has been started with, tool and media player alike.
class CommandLog
{
public:
    CommandLog() : m_path(OwnFolder() + "\\commands.log")
    {
        ::DeleteFileA(m_path.c_str());
        ::SetEnvironmentVariableA("TOOLSTUB_LOG", m_path.c_str());
    }
    ~CommandLog() { ::SetEnvironmentVariableA("TOOLSTUB_LOG", nullptr); }

    std::string Text() const { return ReadWholeFile(m_path); }
    bool WaitFor(const std::string& part, DWORD timeoutMs = 10000) const
    {
        return WaitUntil([&] { return Text().find(part) != std::string::npos; }, timeoutMs);
    }

private:
    std::string m_path;
};

class OutputWindowTest : public testing::Test
{
protected:
    void SetUp() override { pg::LanguageOffset = pg::LanguageOffsetForLocale(::GetUserDefaultLCID()); }
    void TearDown() override
    {
        if (m_dialog)
            m_dialog->DestroyWindow();
    }

    // Opens the window without a modal loop; the stand-in prints what the mode says.
    void Open(const std::string& mode)
    {
        if (m_dialog)
            m_dialog->DestroyWindow();
        m_dialog = std::make_unique<pg::OutputDialog>();
        m_dialog->m_arguments = pg::ToolArguments(mode, "film", 1, 50, 640, 352).arguments;
        ASSERT_TRUE(m_dialog->Create(nullptr));
    }

    HWND Item(int id) const { return ::GetDlgItem(m_dialog->GetSafeHwnd(), id); }
    std::string BoxText() const { return WindowText(Item(IDE_TOOL_OUTPUT)); }
    bool CloseAndPlayEnabled() const { return ::IsWindowEnabled(Item(IDOK)) != FALSE; }
    // The reader thread enables the button after it has shown the end text, a moment later.
    bool CloseAndPlayBecomesEnabled() const
    {
        return WaitUntil([&] { return CloseAndPlayEnabled(); }, 10000);
    }
    bool BoxShows(const std::string& text, DWORD timeoutMs = 10000) const
    {
        return WaitUntil([&] { return BoxText() == text; }, timeoutMs);
    }

    std::unique_ptr<pg::OutputDialog> m_dialog;
};

TEST_F(OutputWindowTest, LocalizedTextsAndFirstBoxText)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    Open("exit-now");
    EXPECT_EQ(Expected(pgtest::OUTPUT_TITLE), WindowText(m_dialog->GetSafeHwnd()));
    EXPECT_EQ(Expected(pgtest::OUTPUT_CANCEL), WindowText(Item(IDCANCEL)));
    EXPECT_EQ(Expected(pgtest::OUTPUT_CLOSE_AND_PLAY), WindowText(Item(IDOK)));
    // The tool has exited without a word; the program still holds the pipe's write end, so the
    // first text stays and the work is not over.
    PumpMessages(1500);
    EXPECT_EQ(Expected(pgtest::OUTPUT_WAITING), BoxText());
    EXPECT_TRUE(::IsWindowEnabled(Item(IDCANCEL)));
    EXPECT_FALSE(CloseAndPlayEnabled());
}

TEST_F(OutputWindowTest, CommandLineHasTheArgumentsTwoBlanksAndTheSwitch)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    CommandLog log;
    m_dialog = std::make_unique<pg::OutputDialog>();
    m_dialog->m_arguments = "\"exit-now\" \"C:\\my films\\a.avi\" -k 1  ";
    ASSERT_TRUE(m_dialog->Create(nullptr));
    EXPECT_TRUE(log.WaitFor("\r\n"));
    EXPECT_EQ("ClipmendC.exe \"exit-now\" \"C:\\my films\\a.avi\" -k 1    /A\r\n", log.Text());
}

TEST_F(OutputWindowTest, LoneLineFeedsShowAsLineBreaks)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    Open("lines");
    EXPECT_TRUE(BoxShows("first\r\nsecond\r\nthird\r\n")) << BoxText();
    EXPECT_FALSE(CloseAndPlayEnabled());
}

TEST_F(OutputWindowTest, BoxHoldsOnlyTheLatestChunk)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    Open("two-chunks");
    EXPECT_TRUE(BoxShows("one\r\n")) << BoxText();
    EXPECT_TRUE(BoxShows("two\r\n")) << BoxText();
}

TEST_F(OutputWindowTest, StandardErrorIsShownToo)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    Open("stderr");
    EXPECT_TRUE(BoxShows("error line\r\n")) << BoxText();
}

TEST_F(OutputWindowTest, ChunkOf4096BytesIsShownWhole)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    const std::string printed = StandInOutput("chunk4096");
    ASSERT_EQ(4096u, printed.size());
    Open("chunk4096");
    // Its marker stands near the end, so the work is over.
    EXPECT_TRUE(BoxShows(pg::ConvertLoneLineFeeds(printed) + EndText())) << BoxText().size();
    EXPECT_TRUE(CloseAndPlayBecomesEnabled());
}

TEST_F(OutputWindowTest, MarkerFromTheSecondCharacterOnEndsTheWork)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    Open("marker-middle");
    EXPECT_TRUE(BoxShows(std::string("Work done.\r\nSee ") + MARKER + "\r\n" + EndText())) << BoxText();
    EXPECT_TRUE(CloseAndPlayBecomesEnabled());
}

TEST_F(OutputWindowTest, MarkerAtTheFirstCharacterDoesNotEndTheWork)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    Open("marker-at-0");
    EXPECT_TRUE(BoxShows(std::string(MARKER) + "\r\n")) << BoxText();
    PumpMessages(300);
    EXPECT_EQ(std::string(MARKER) + "\r\n", BoxText());
    EXPECT_FALSE(CloseAndPlayEnabled());
}

TEST_F(OutputWindowTest, MarkerCutByTheReadsEndsTheWorkWhereverTheCutFalls)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    const std::string marker = MARKER;
    for (std::size_t cut = 0; cut < marker.size(); ++cut) {
        Open("marker-split:" + std::to_string(cut));
        EXPECT_TRUE(BoxShows(marker.substr(cut) + "\r\n" + EndText())) << cut << ": " << BoxText();
        EXPECT_TRUE(CloseAndPlayBecomesEnabled()) << cut;
    }
}

TEST_F(OutputWindowTest, BinaryBytesAreShownUpToTheFirstZero)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    const std::string printed = StandInOutput("binary");
    ASSERT_EQ(256u, printed.size());
    ASSERT_EQ('\0', printed.back());
    Open("binary");
    const std::string expected = pg::ConvertLoneLineFeeds(printed.substr(0, 255));
    EXPECT_TRUE(BoxShows(expected)) << BoxText().size();
    EXPECT_FALSE(CloseAndPlayEnabled());
}

// The modal window of one run, watched from a second thread.
class ModalRunTest : public OutputWindowTest
{
protected:
    // Runs the window modally; the action gets it once it shows.
    INT_PTR RunModal(const std::string& arguments, std::function<void(HWND)> action)
    {
        pg::OutputDialog dialog;
        dialog.m_arguments = arguments;
        pgtest::WindowWatcher watcher("#32770", Expected(pgtest::OUTPUT_TITLE), std::move(action));
        const INT_PTR result = dialog.DoModal();
        EXPECT_TRUE(watcher.Seen());
        return result;
    }
};

// The process's handles while a window of the output template is open and starts nothing: the
// open window itself holds one under Wine.
DWORD HandlesWithPlainOutputWindow()
{
    DWORD handles = 0;
    fw::Dialog plain(IDD_OUTPUT, nullptr);
    pgtest::WindowWatcher watcher("#32770", pgtest::OUTPUT_TITLE.german, [&](HWND window) {
        handles = HandleCount();
        ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    });
    plain.DoModal();
    return handles;
}

TEST_F(ModalRunTest, MissingToolShowsTheConnectErrorAndCloseAndPlayEndsWithOk)
{
    if (RanInToolFolder(ToolFolder::NoTool))
        return;
    const HANDLE outputBefore = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE inputBefore = ::GetStdHandle(STD_INPUT_HANDLE);
    // The first run also settles what the system sets up once for windows and threads.
    for (int run = 0; run < 2; ++run) {
        const DWORD handlesExpected = HandlesWithPlainOutputWindow();
        ASSERT_GT(handlesExpected, 0u);
        std::string boxText;
        bool closeAndPlayEnabled = false;
        bool cancelEnabled = false;
        DWORD handlesWhileOpen = 0;
        const INT_PTR result = RunModal("\"lines\" \"film.avi\" -k 1  ", [&](HWND window) {
            boxText = WindowText(::GetDlgItem(window, IDE_TOOL_OUTPUT));
            closeAndPlayEnabled = ::IsWindowEnabled(::GetDlgItem(window, IDOK)) != FALSE;
            cancelEnabled = ::IsWindowEnabled(::GetDlgItem(window, IDCANCEL)) != FALSE;
            handlesWhileOpen = HandleCount();
            ::PostMessageA(::GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(IDOK, result);
        EXPECT_EQ("Error at connect...", boxText);
        EXPECT_TRUE(closeAndPlayEnabled);
        EXPECT_TRUE(cancelEnabled);
        // The failed start gave back both standard handles and, while the window is still
        // open, every pipe handle.
        EXPECT_EQ(outputBefore, ::GetStdHandle(STD_OUTPUT_HANDLE));
        EXPECT_EQ(inputBefore, ::GetStdHandle(STD_INPUT_HANDLE));
        // A leaked start would keep its four pipe handles; one handle of slack covers what the
        // system itself opens now and then for threads and windows.
        if (run == 1) {
            EXPECT_LE(handlesWhileOpen, handlesExpected + 1);
        }
    }
}

TEST_F(ModalRunTest, StandardHandlesAreBackWhileTheToolRuns)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    const HANDLE outputBefore = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE inputBefore = ::GetStdHandle(STD_INPUT_HANDLE);
    HANDLE outputDuring = nullptr;
    HANDLE inputDuring = nullptr;
    const INT_PTR result = RunModal("\"keep-running:500\" \"film.avi\" -k 1  ", [&](HWND window) {
        outputDuring = ::GetStdHandle(STD_OUTPUT_HANDLE);
        inputDuring = ::GetStdHandle(STD_INPUT_HANDLE);
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(outputBefore, outputDuring);
    EXPECT_EQ(inputBefore, inputDuring);
}

TEST_F(ModalRunTest, CancelWhileTheToolPrintsLeavesNothingBehind)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    const int threads = ThreadCount();
    const std::string arguments = "\"keep-running:400\" \"film.avi\" -k 1  ";
    const auto cancelOnceItPrints = [](HWND window) {
        const HWND box = ::GetDlgItem(window, IDE_TOOL_OUTPUT);
        WaitUntil([&] { return WindowText(box).rfind("tick", 0) == 0; });
        ::PostMessageA(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
    };
    // A first run settles whatever the system sets up once for a child console.
    EXPECT_EQ(IDCANCEL, RunModal(arguments, cancelOnceItPrints));
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threads; }, 15000)) << ThreadCount();
    const DWORD handles = HandleCount();
    ASSERT_GT(handles, 0u);

    for (int run = 0; run < 20; ++run)
        EXPECT_EQ(IDCANCEL, RunModal(arguments, cancelOnceItPrints)) << run;
    // The tools go on printing into pipes of closed windows; once each has exited, its reader
    // ends on the broken pipe and lets go of its handles.
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threads; }, 30000)) << ThreadCount();
    EXPECT_TRUE(WaitUntil([&] { return HandleCount() == handles; }, 5000)) << HandleCount() << " " << handles;
}

TEST_F(OutputWindowTest, DestroyedWindowObjectIsNotTouchedByTheReader)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    const int threads = ThreadCount();
    for (int run = 0; run < 5; ++run) {
        Open("keep-running:600");
        ASSERT_TRUE(WaitUntil([&] { return BoxText().rfind("tick", 0) == 0; })) << BoxText();
        m_dialog->DestroyWindow();
        m_dialog.reset();
        // Fresh allocations take the freed object's memory while the tool keeps printing.
        std::vector<std::unique_ptr<std::string>> filler;
        for (int i = 0; i < 200; ++i)
            filler.push_back(std::make_unique<std::string>(sizeof(pg::OutputDialog), 'x'));
        PumpMessages(150);
        for (const auto& text : filler)
            EXPECT_EQ(std::string(sizeof(pg::OutputDialog), 'x'), *text);
    }
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threads; }, 15000)) << ThreadCount();
}

// The Go button on the real main window.
class GoButtonTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!InsideToolFolder())
            return;
        m_main = std::make_unique<pg::MainDialog>();
        ASSERT_TRUE(m_main->Create(nullptr));
        PumpMessages();
        m_film = OwnFolder() + "\\film";
        ::DeleteFileA((m_film + ".avi").c_str());
    }
    void TearDown() override
    {
        if (!m_main)
            return;
        m_main->DestroyWindow();
        ::DeleteFileA((m_film + ".avi").c_str());
    }

    HWND Item(int id) const { return ::GetDlgItem(m_main->GetSafeHwnd(), id); }

    void Fill(const std::string& input, const std::string& output, int startFrame = 1, int frameCount = 50,
              int width = 640, int height = 352)
    {
        m_main->SetDlgItemText(IDE_INPUT, input);
        m_main->SetDlgItemText(IDE_OUTPUT, output);
        m_main->SetDlgItemText(IDE_START_FRAME, std::to_string(startFrame));
        m_main->SetDlgItemText(IDE_FRAME_COUNT, std::to_string(frameCount));
        m_main->SetDlgItemText(IDE_WIDTH, std::to_string(width));
        m_main->SetDlgItemText(IDE_HEIGHT, std::to_string(height));
    }

    // Presses Go; the action gets the output window, if one opens.
    bool PressGo(std::function<void(HWND)> action, DWORD timeoutMs = 10000)
    {
        pgtest::WindowWatcher watcher("#32770", Expected(pgtest::OUTPUT_TITLE), std::move(action), timeoutMs);
        ::SendMessageA(m_main->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDB_GO, BN_CLICKED),
                       reinterpret_cast<LPARAM>(Item(IDB_GO)));
        // Without a window the watcher's timer keeps looking until it gives up.
        WaitUntil([&] { return watcher.Seen(); }, timeoutMs + 500);
        return watcher.Seen();
    }

    static std::function<void(HWND)> ClickWhenEnabled(int button)
    {
        return [button](HWND window) {
            const HWND control = ::GetDlgItem(window, button);
            WaitUntil([&] { return ::IsWindowEnabled(control) != FALSE; });
            ::PostMessageA(control, BM_CLICK, 0, 0);
        };
    }

    void CreateFilm() const { std::ofstream((m_film + ".avi").c_str()) << "RIFF"; }

    bool PlayOutputEnabled() const { return ::IsWindowEnabled(Item(IDB_PLAY_OUTPUT)) != FALSE; }

    std::unique_ptr<pg::MainDialog> m_main;
    std::string m_film;
};

TEST_F(GoButtonTest, ArgumentsFromTheFieldsReachTheTool)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    CommandLog log;
    Fill("marker-middle", m_film, 0, 0, 640, 0);
    EXPECT_TRUE(PressGo(ClickWhenEnabled(IDCANCEL)));
    EXPECT_TRUE(log.WaitFor("\r\n"));
    EXPECT_EQ("ClipmendC.exe \"marker-middle\" \"" + m_film + ".avi\" -k 1    /A\r\n", log.Text());
    // Only the members changed: the fields show what was typed.
    EXPECT_EQ(m_film + ".avi", m_main->m_outFile);
    EXPECT_EQ(1, m_main->m_startFrame);
    EXPECT_EQ(m_film, m_main->GetDlgItemText(IDE_OUTPUT));
    EXPECT_EQ("0", m_main->GetDlgItemText(IDE_START_FRAME));
}

TEST_F(GoButtonTest, FullJobAndUpperCaseExtension)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    CommandLog log;
    Fill("marker-middle", m_film + ".AVI", -5, 7, 320, 240);
    EXPECT_TRUE(PressGo(ClickWhenEnabled(IDCANCEL)));
    EXPECT_TRUE(log.WaitFor("\r\n"));
    EXPECT_EQ("ClipmendC.exe \"marker-middle\" \"" + m_film + ".AVI\" -k -5 -n 7 -h 320 -v 240  /A\r\n",
              log.Text());
    EXPECT_EQ(-5, m_main->m_startFrame);
}

TEST_F(GoButtonTest, EmptyInputOrOutputRunsNothing)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    CommandLog log;
    bool opened = false;
    const auto cancel = [&](HWND window) {
        opened = true;
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    };
    Fill("", m_film);
    EXPECT_FALSE(PressGo(cancel, 1000));
    Fill("lines", "");
    EXPECT_FALSE(PressGo(cancel, 1000));
    EXPECT_FALSE(opened);
    EXPECT_EQ("", log.Text());
}

TEST_F(GoButtonTest, CancelWithExistingOutputEnablesPlayOutputAndPlaysNothing)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    CommandLog log;
    CreateFilm();
    Fill("exit-now", m_film);
    EXPECT_FALSE(PlayOutputEnabled());
    EXPECT_TRUE(PressGo(ClickWhenEnabled(IDCANCEL)));
    EXPECT_TRUE(PlayOutputEnabled());
    EXPECT_TRUE(log.WaitFor("ClipmendC.exe"));
    ::Sleep(1000);
    EXPECT_EQ(std::string::npos, log.Text().find("Mplayer2")) << log.Text();
}

TEST_F(GoButtonTest, CloseAndPlayWithMissingOutputDisablesPlayOutputAndPlaysNothing)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    CommandLog log;
    CreateFilm();
    Fill("exit-now", m_film);
    EXPECT_TRUE(PressGo(ClickWhenEnabled(IDCANCEL)));
    ASSERT_TRUE(PlayOutputEnabled());
    ::DeleteFileA((m_film + ".avi").c_str());

    Fill("marker-middle", m_film);
    EXPECT_TRUE(PressGo(ClickWhenEnabled(IDOK)));
    EXPECT_FALSE(PlayOutputEnabled());
    ::Sleep(1000);
    EXPECT_EQ(std::string::npos, log.Text().find("Mplayer2")) << log.Text();
}

TEST_F(GoButtonTest, CloseAndPlayWithExistingOutputPlaysIt)
{
    if (RanInToolFolder(ToolFolder::StandIn))
        return;
    CommandLog log;
    CreateFilm();
    Fill("marker-middle", m_film);
    EXPECT_TRUE(PressGo(ClickWhenEnabled(IDOK)));
    EXPECT_TRUE(PlayOutputEnabled());
    EXPECT_TRUE(log.WaitFor("Mplayer2")) << log.Text();
    EXPECT_NE(std::string::npos, log.Text().find(m_film + ".avi")) << log.Text();
}

} // namespace
