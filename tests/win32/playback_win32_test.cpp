// Playback: the movie window on real AVI and MPEG files, and the two Play buttons of the main window
// with the stand-in media player (bin\Mplayer2.exe beside this test, found there by ShellExecuteA).
// Downloads (".part") play through the media device registered for that extension: the Wine prefix
// registers the DirectShow device (scripts/wine-prefix), as Windows users do, which plays AVI and
// MPEG downloads alike.
#include "CatalogueTree.h"
#include "ExpectedTexts.h"
#include "SmallAvi.h"
#include "Win32TestSupport.h"

#include "app/MainDialog.h"
#include "framework/Application.h"
#include "playback/MoviePreviewDialog.h"

#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <vfw.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace {

using pgtest::Expected;
using pgtest::PlayingPosition;
using pgtest::PumpMessages;
using pgtest::WaitUntil;
using pgtest::WindowText;

// Scratch folders of downloads and media files; file names with blanks as users' files have them.
class Folder : public pgtest::CatalogueTree
{
public:
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        File(name, bytes);
        return PathOf(name);
    }
    std::string Avi(const std::string& name, const pgtest::SmallAvi& avi = {}) const
    {
        return Write(name, pgtest::SmallAviBytes(avi));
    }
};

// 8 s of MPEG-1 video, 160x120, in a program stream (made by tests/data/media/make-clip.sh).
std::string MpegClipBytes()
{
    return pgtest::ReadWholeFile(std::string(PG_TEST_DATA) + "\\media\\clip.mpg");
}

// The media window inside a movie window, or null.
HWND MediaWindowOf(HWND movie)
{
    return ::FindWindowExA(movie, nullptr, "MCIWndClass", nullptr);
}

// The length the media window reports, in its device's time format (frames for the AVI device,
// milliseconds for the DirectShow device).
unsigned MediaLength(HWND media)
{
    return static_cast<unsigned>(::SendMessageA(media, MCIWNDM_GETLENGTH, 0, 0));
}

// True when the window's client area covers exactly the rectangle of the child.
bool ClientIsExactly(HWND window, HWND child)
{
    RECT client{};
    RECT childRect{};
    ::GetClientRect(window, &client);
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    ::GetWindowRect(child, &childRect);
    return ::EqualRect(&client, &childRect);
}

// Colours of the media window's picture, read from the screen: a grid of points over its client
// area above the play bar.
std::vector<COLORREF> PictureColours(HWND media)
{
    RECT area{};
    ::GetClientRect(media, &area);
    ::MapWindowPoints(media, nullptr, reinterpret_cast<POINT*>(&area), 2);
    if (const HWND playBar = ::FindWindowExA(media, nullptr, TRACKBAR_CLASSA, nullptr)) {
        RECT bar{};
        ::GetWindowRect(playBar, &bar);
        area.bottom = bar.top;
    }
    std::vector<COLORREF> colours;
    const HDC screen = ::GetDC(nullptr);
    for (int row = 1; row <= 5; ++row)
        for (int column = 1; column <= 7; ++column)
            colours.push_back(::GetPixel(screen, area.left + (area.right - area.left) * column / 8,
                                         area.top + (area.bottom - area.top) * row / 6));
    ::ReleaseDC(nullptr, screen);
    return colours;
}

// True when every point shows the same frame colour of a test AVI (frame n: red 0x10 + 10n,
// green 0x20 + 12n, blue 0x30 + 14n).
bool ShowsOneAviFrame(const std::vector<COLORREF>& colours)
{
    const COLORREF first = colours.front();
    const int frame = (GetRValue(first) - 0x10) / 10;
    const auto within = [](int value, int expected) {
        return value >= expected - 4 && value <= expected + 4;
    };
    return std::all_of(colours.begin(), colours.end(), [&](COLORREF c) { return c == first; }) &&
           frame >= 0 && within(GetRValue(first), 0x10 + 10 * frame) &&
           within(GetGValue(first), 0x20 + 12 * frame) && within(GetBValue(first), 0x30 + 14 * frame);
}

std::size_t DistinctColours(std::vector<COLORREF> colours)
{
    std::sort(colours.begin(), colours.end());
    return static_cast<std::size_t>(std::unique(colours.begin(), colours.end()) - colours.begin());
}

// Runs the action while a watcher answers OK to a message box of this process with the given
// title; yields what the box said, or nothing when none came within the timeout.
struct AnsweredBox
{
    bool seen = false;
    std::string text;
};

AnsweredBox AnswerBoxDuring(const std::string& title, const std::function<void()>& action)
{
    AnsweredBox answered;
    pgtest::WindowWatcher watcher("#32770", title, [&](HWND box) {
        answered.text = pgtest::MessageBoxText(box);
        answered.seen = true;
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    action();
    // A window that shows after the action has returned is still answered.
    WaitUntil([&] { return watcher.Seen(); });
    return answered;
}

// The media window's own error box (Wine's title) when it cannot open a file.
constexpr char MEDIA_ERROR_TITLE[] = "MCI Error";

// True, after answering it, when the active window is the media window's error box. Called from
// timers of the test's thread, which keep running inside the box's modal loop: a failed open then
// fails the test instead of hanging it.
bool AnsweredMediaError()
{
    const HWND active = ::GetActiveWindow();
    if (!active || WindowText(active) != MEDIA_ERROR_TITLE)
        return false;
    ::PostMessageA(active, WM_COMMAND, IDOK, 0);
    return true;
}

// Answers the media window's error boxes for as long as it lives.
class MediaErrorAnswerer
{
public:
    MediaErrorAnswerer() : m_timer(::SetTimer(nullptr, 0, 100, &Answer)) { s_seen = false; }
    ~MediaErrorAnswerer() { ::KillTimer(nullptr, m_timer); }
    MediaErrorAnswerer(const MediaErrorAnswerer&) = delete;
    MediaErrorAnswerer& operator=(const MediaErrorAnswerer&) = delete;
    bool Seen() const { return s_seen; }

private:
    static void CALLBACK Answer(HWND, UINT, UINT_PTR, DWORD) { s_seen = AnsweredMediaError() || s_seen; }
    static inline bool s_seen = false;
    UINT_PTR m_timer;
};

class MovieWindowTest : public testing::Test
{
protected:
    void TearDown() override
    {
        if (m_movie)
            m_movie->DestroyWindow();
        PumpMessages();
    }

    HWND Open(const std::string& path)
    {
        if (m_movie)
            m_movie->DestroyWindow();
        m_movie = std::make_unique<pg::MoviePreviewDialog>();
        m_movie->m_path = path;
        EXPECT_TRUE(m_movie->Create(nullptr));
        return m_movie->GetSafeHwnd();
    }

    Folder m_folder;
    std::unique_ptr<pg::MoviePreviewDialog> m_movie;
};

TEST_F(MovieWindowTest, WithoutAPathStaysEmptyUnderItsTemplateTitleWithTheProgramIcon)
{
    const HWND window = Open("");
    EXPECT_EQ("Movie-Preview", WindowText(window));
    EXPECT_EQ(nullptr, m_movie->MediaWindow());
    const HWND onlyChild = ::GetWindow(window, GW_CHILD);
    EXPECT_EQ(IDCANCEL, ::GetDlgCtrlID(onlyChild));
    EXPECT_EQ(nullptr, ::GetWindow(onlyChild, GW_HWNDNEXT));

    const HICON programIcon = ::LoadIconA(fw::ResourceInstance(), MAKEINTRESOURCEA(IDI_PROGRAM));
    ASSERT_NE(nullptr, programIcon);
    EXPECT_EQ(programIcon, reinterpret_cast<HICON>(::SendMessageA(window, WM_GETICON, ICON_BIG, 0)));
    EXPECT_EQ(programIcon, reinterpret_cast<HICON>(::SendMessageA(window, WM_GETICON, ICON_SMALL, 0)));
}

TEST_F(MovieWindowTest, PlaysWithPathPositionAndLengthInTheTitleAndFitsAroundTheMedia)
{
    // Wide enough for an exact fit: no window gets narrower than the system's minimum tracking width.
    const std::string path = m_folder.Avi("clip one.avi", {160, 120, 10, 20});
    const HWND window = Open(path);
    const HWND media = m_movie->MediaWindow();
    ASSERT_NE(nullptr, media);
    EXPECT_EQ(window, ::GetParent(media));
    EXPECT_EQ(0x50808608u, static_cast<DWORD>(::GetWindowLongA(media, GWL_STYLE)) & 0x50808608u);
    EXPECT_EQ(250, ::SendMessageA(media, MCIWNDM_GETACTIVETIMER, 0, 0));
    EXPECT_EQ(250, ::SendMessageA(media, MCIWNDM_GETINACTIVETIMER, 0, 0));
    // Wine: the first position notification comes as playing starts, before Create returns.
    EXPECT_TRUE(WindowText(window) == path || PlayingPosition(WindowText(window), path, 20) >= 0);
    EXPECT_TRUE(WaitUntil([&] { return PlayingPosition(WindowText(window), path, 20) > 0; }))
        << WindowText(window);

    EXPECT_TRUE(ClientIsExactly(window, media));
    RECT mediaRect{};
    ::GetWindowRect(media, &mediaRect);
    EXPECT_GT(mediaRect.bottom - mediaRect.top, 120); // the picture and the play bar under it
    EXPECT_TRUE(WaitUntil([&] { return ShowsOneAviFrame(PictureColours(media)); }));
}

TEST_F(MovieWindowTest, ShowsThePictureOfAnUnfinishedAviDownload)
{
    // A third of the film has arrived: headers and the first frames, no index.
    const std::string film = pgtest::SmallAviBytes({160, 120, 10, 60});
    const std::string path = m_folder.Write("film three.part", pgtest::CutShort(film, film.size() / 3));
    const MediaErrorAnswerer errors;
    const HWND window = Open(path);
    ASSERT_FALSE(errors.Seen()) << "the media window could not open the AVI download";
    const HWND media = m_movie->MediaWindow();
    ASSERT_NE(nullptr, media);
    std::vector<COLORREF> colours;
    EXPECT_TRUE(WaitUntil([&] {
        colours = PictureColours(media);
        return ShowsOneAviFrame(colours);
    })) << std::hex
        << colours.front();
    EXPECT_TRUE(WaitUntil([&] { return PlayingPosition(WindowText(window), path, MediaLength(media)) > 0; }))
        << WindowText(window);
}

TEST_F(MovieWindowTest, PlaysAnMpegDownloadWithPositionAndLengthInTheTitleAndFitsAroundTheMedia)
{
    const std::string path = m_folder.Write("clip two.part", MpegClipBytes());
    const MediaErrorAnswerer errors;
    const HWND window = Open(path);
    ASSERT_FALSE(errors.Seen()) << "the media window could not open the MPEG download";
    const HWND media = m_movie->MediaWindow();
    ASSERT_NE(nullptr, media);
    const unsigned length = MediaLength(media);
    EXPECT_GT(length, 0u);
    EXPECT_TRUE(WaitUntil([&] { return PlayingPosition(WindowText(window), path, length) > 0; }))
        << WindowText(window);

    EXPECT_TRUE(ClientIsExactly(window, media));
    RECT mediaRect{};
    ::GetWindowRect(media, &mediaRect);
    EXPECT_GT(mediaRect.bottom - mediaRect.top, 120); // the picture and the play bar under it
    EXPECT_GE(mediaRect.right - mediaRect.left, 160);
    // The clip's colour bars, not an empty black or blank area.
    EXPECT_TRUE(WaitUntil([&] { return DistinctColours(PictureColours(media)) >= 4; }));
}

TEST_F(MovieWindowTest, PositionNotificationWritesFileNamePositionAndLength)
{
    const std::string path = m_folder.Avi("12 b.avi", {64, 48, 10, 900});
    const HWND window = Open(path);
    ::SendMessageA(window, MCIWNDM_NOTIFYPOS, reinterpret_cast<WPARAM>(m_movie->MediaWindow()), 120);
    EXPECT_EQ(path + " 120 / 900", WindowText(window));
}

TEST_F(MovieWindowTest, SizeNotificationFitsOnlyAroundItsOwnMediaWindowWithMedia)
{
    const std::string path = m_folder.Avi("clip.avi", {160, 120, 10, 20});
    const HWND window = Open(path);
    const HWND media = m_movie->MediaWindow();
    ASSERT_NE(nullptr, media);
    const auto moveAway = [&] { ::MoveWindow(window, 30, 40, 500, 400, TRUE); };
    const auto isAway = [&] {
        RECT rect{};
        ::GetWindowRect(window, &rect);
        return rect.left == 30 && rect.top == 40 && rect.right == 530 && rect.bottom == 440;
    };

    moveAway();
    const HWND stranger =
        ::MCIWndCreateA(nullptr, fw::ResourceInstance(), WS_POPUP | MCIWNDF_NOERRORDLG, path.c_str());
    ::SendMessageA(window, MCIWNDM_NOTIFYSIZE, reinterpret_cast<WPARAM>(stranger), 0);
    EXPECT_TRUE(isAway()); // not among the window's children
    ::DestroyWindow(stranger);

    ::SendMessageA(window, MCIWNDM_NOTIFYSIZE, reinterpret_cast<WPARAM>(media), 0);
    EXPECT_TRUE(ClientIsExactly(window, media));

    ::SendMessageA(media, MCI_CLOSE, 0, 0);
    moveAway();
    ::SendMessageA(window, MCIWNDM_NOTIFYSIZE, reinterpret_cast<WPARAM>(media), 0);
    EXPECT_TRUE(isAway()); // without media the media window has no file name
}

TEST_F(MovieWindowTest, MissingFileLeavesTheWindowOpenUnderItsPath)
{
    const std::string missing = m_folder.PathOf("gone.avi");
    HWND window = nullptr;
    // The media window reports the failure itself.
    EXPECT_NE("", AnswerBoxDuring(MEDIA_ERROR_TITLE, [&] { window = Open(missing); }).text);
    PumpMessages(300);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_EQ(missing, WindowText(window));
    EXPECT_TRUE(::IsWindow(m_movie->MediaWindow()));

    int result = 0;
    EXPECT_TRUE(AnswerBoxDuring(MEDIA_ERROR_TITLE, [&] { result = m_movie->OpenAndPlay(missing); }).seen);
    EXPECT_EQ(-2, result);
    // Wine: a media window that holds media fails every further open ("alias already in use"),
    // so only one whose opens failed takes another file.
    EXPECT_EQ(0, m_movie->OpenAndPlay(m_folder.Avi("good.avi")));
}

// ---------------------------------------------------------------- the Play buttons

class PlayButtonTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_log = m_folder.PathOf("player.log");
        ::SetEnvironmentVariableA("MPLAYER2_STANDIN_LOG", m_log.c_str());
        ASSERT_TRUE(m_main.Create(nullptr));
        PumpMessages();
    }

    void TearDown() override
    {
        // A player left open goes before its folder.
        pgtest::ClosePlayers();
        ::SetEnvironmentVariableA("MPLAYER2_STANDIN_LOG", nullptr);
        m_main.DestroyWindow();
        PumpMessages();
    }

    void PlayInput(const std::string& input, const std::string& mediaName)
    {
        m_main.SetDlgItemText(IDE_INPUT, input);
        m_main.SetDlgItemText(IDE_MEDIA_NAME, mediaName);
        Click(IDB_PLAY_INPUT);
    }

    void Click(int button)
    {
        ::SendMessageA(m_main.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                       reinterpret_cast<LPARAM>(m_main.GetDlgItem(button)));
    }

    // Presses Play input on a download and expects the modal movie window to open on it and play;
    // a timer of this thread watches the window and closes it.
    void ExpectPlaysInTheMovieWindow(const std::string& part, const std::string& mediaName);

    // The parameters the stand-in player was started with, one line per start.
    std::string PlayerLog() const { return pgtest::ReadWholeFile(m_log); }

    Folder m_folder;
    std::string m_log;
    pg::MainDialog m_main;
};

TEST_F(PlayButtonTest, OtherInputGoesToThePlayerUnquotedAndThePlayerClosesAtTheEnd)
{
    const std::string path = m_folder.Avi("my clip.avi", {64, 48, 10, 5});
    PlayInput(path, "my clip.avi");
    EXPECT_TRUE(WaitUntil([&] { return PlayerLog() == "/play /close " + path + "\r\n"; })) << PlayerLog();
    EXPECT_TRUE(WaitUntil([&] { return ::FindWindowA(pgtest::PLAYER_CLASS, nullptr) != nullptr; }));
    EXPECT_TRUE(WaitUntil([&] { return ::FindWindowA(pgtest::PLAYER_CLASS, nullptr) == nullptr; }));
}

TEST_F(PlayButtonTest, PlayOutputHandsTheMemberAsItStands)
{
    const std::string path = m_folder.Avi("out put.avi", {64, 48, 10, 3});
    m_main.m_outFile = path;
    m_main.SetDlgItemText(IDE_OUTPUT, "shown on screen");
    Click(IDB_PLAY_OUTPUT);
    EXPECT_TRUE(WaitUntil([&] { return PlayerLog() == path + "\r\n"; })) << PlayerLog();
}

// What a timer of the test's thread sees of the modal movie window that Play input opens; it
// closes the window once the title shows the playing position, or at the deadline.
struct MovieWatch
{
    std::string path;
    HWND movie = nullptr;
    long position = -1;
    DWORD deadline = 0;
    bool mediaError = false;
} s_watch;

void CALLBACK WatchMovieWindow(HWND, UINT, UINT_PTR, DWORD)
{
    if (AnsweredMediaError())
        s_watch.mediaError = true;
    const HWND active = ::GetActiveWindow();
    if (!s_watch.movie && active && WindowText(active).compare(0, s_watch.path.size(), s_watch.path) == 0)
        s_watch.movie = active;
    if (s_watch.movie && ::IsWindow(s_watch.movie))
        if (const HWND media = MediaWindowOf(s_watch.movie))
            s_watch.position = PlayingPosition(WindowText(s_watch.movie), s_watch.path, MediaLength(media));
    if (s_watch.movie &&
        (s_watch.position > 0 || static_cast<LONG>(s_watch.deadline - ::GetTickCount()) <= 0))
        ::PostMessageA(s_watch.movie, WM_COMMAND, IDCANCEL, 0);
}

void PlayButtonTest::ExpectPlaysInTheMovieWindow(const std::string& part, const std::string& mediaName)
{
    s_watch = {part, nullptr, -1, ::GetTickCount() + 10000, false};
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &WatchMovieWindow);
    PlayInput(part, mediaName);
    ::KillTimer(nullptr, timer);

    EXPECT_FALSE(s_watch.mediaError) << "the media window could not open " << mediaName;
    ASSERT_NE(nullptr, s_watch.movie) << "no movie window opened for " << mediaName;
    EXPECT_GT(s_watch.position, 0) << mediaName;
    EXPECT_FALSE(::IsWindow(s_watch.movie));
}

TEST_F(PlayButtonTest, UnfinishedDownloadWithItsStartPlaysInTheMovieWindow)
{
    // A third of the film has arrived. Without a device registered for the "part" extension the
    // open would fail with an MCI error.
    const std::string film = pgtest::SmallAviBytes({64, 48, 10, 60});
    const std::string part = m_folder.Write("12.part", pgtest::CutShort(film, film.size() / 3));
    m_folder.Write("12.part.met", pgtest::MetFile().Header().Name("Film.avi").Gap(0, 86049, 900000).str());
    ExpectPlaysInTheMovieWindow(part, "Film.AVI");
    EXPECT_EQ("", PlayerLog());
}

TEST_F(PlayButtonTest, UnfinishedMpegDownloadWithItsStartPlaysInTheMovieWindow)
{
    // Half of the clip has arrived; the same ".part" extension has to reach the MPEG decoder.
    const std::string clip = MpegClipBytes();
    const auto arrived = static_cast<std::uint32_t>(clip.size() / 2);
    const std::string part = m_folder.Write("13 b.part", clip.substr(0, arrived));
    m_folder.Write("13 b.part.met", pgtest::MetFile()
                                        .Header()
                                        .Name("Clip.mpg")
                                        .Gap(0, arrived, static_cast<std::uint32_t>(clip.size()))
                                        .str());
    ExpectPlaysInTheMovieWindow(part, "Clip.MPG");
    EXPECT_EQ("", PlayerLog());
}

TEST_F(PlayButtonTest, LocalizedRefusalOfDownloadsThatCannotBeShown)
{
    const std::string withStart = m_folder.Avi("1.part");
    m_folder.Write("1.part.met", pgtest::MetFile().Header().Name("Film.avi").Gap(0, 86049, 900000).str());
    const std::string withoutStart = m_folder.Avi("2.PART");
    m_folder.Write("2.PART.met", pgtest::MetFile().Header().Name("Film.avi").Gap(0, 0, 900000).str());

    for (const auto& [input, mediaName] : {std::pair{withoutStart, "film.avi"}, {withStart, "film.mpeg"}}) {
        const AnsweredBox box =
            AnswerBoxDuring(pgtest::MessageBoxTitle(), [&] { PlayInput(input, mediaName); });
        EXPECT_EQ(Expected(pgtest::CANNOT_PLAY), box.text) << input << " " << mediaName;
    }
    PumpMessages(300);
    EXPECT_EQ("", PlayerLog());
}

// Without the system media player (this prefix has none once the stand-in beside the tests is put
// aside), a file opens in the program the system has for its kind, or the user is told why not.
class PlayWithoutPlayerTest : public PlayButtonTest
{
protected:
    static constexpr char PLAYER_BESIDE_TESTS[] = PG_BIN_DIR "\\Mplayer2.exe";
    static constexpr char PLAYER_PUT_ASIDE[] = PG_BIN_DIR "\\Mplayer2.exe.aside";

    void SetUp() override
    {
        PlayButtonTest::SetUp();
        ASSERT_TRUE(::MoveFileA(PLAYER_BESIDE_TESTS, PLAYER_PUT_ASIDE)) << ::GetLastError();
    }
    void TearDown() override
    {
        ::MoveFileA(PLAYER_PUT_ASIDE, PLAYER_BESIDE_TESTS);
        for (const char* key : {"pgplaytest_file\\shell\\open\\command", "pgplaytest_file\\shell\\open",
                                "pgplaytest_file\\shell", "pgplaytest_file", ".pgplaytest"})
            ::RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
        PlayButtonTest::TearDown();
    }

    // Files ending in ".pgplaytest" open in a copy of the stand-in under another name.
    void RegisterTestKind()
    {
        const std::string recorder = m_folder.PathOf("Recorder.exe");
        ASSERT_TRUE(::CopyFileA(PLAYER_PUT_ASIDE, recorder.c_str(), FALSE));
        const std::string command = "\"" + recorder + "\" /play /close \"%1\"";
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueA(HKEY_CLASSES_ROOT, ".pgplaytest", REG_SZ, "pgplaytest_file", 0));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueA(HKEY_CLASSES_ROOT, "pgplaytest_file\\shell\\open\\command",
                                                REG_SZ, command.c_str(), 0));
    }
};

TEST_F(PlayWithoutPlayerTest, BothButtonsOpenTheFileInTheProgramRegisteredForItsKind)
{
    RegisterTestKind();
    const std::string input = m_folder.Avi("in put.pgplaytest", {64, 48, 10, 3});
    PlayInput(input, "film.avi");
    EXPECT_TRUE(WaitUntil([&] { return PlayerLog() == "/play /close \"" + input + "\"\r\n"; }))
        << PlayerLog();

    const std::string output = m_folder.Avi("out put.pgplaytest", {64, 48, 10, 3});
    m_main.m_outFile = output;
    Click(IDB_PLAY_OUTPUT);
    EXPECT_TRUE(WaitUntil([&] { return PlayerLog().find(output) != std::string::npos; })) << PlayerLog();
}

TEST_F(PlayWithoutPlayerTest, LocalizedMessageNamesTheFileWhenNothingCanOpenIt)
{
    const std::string input = m_folder.Write("clip.pgnothing", "not a film");
    const AnsweredBox box = AnswerBoxDuring(pgtest::MessageBoxTitle(), [&] { PlayInput(input, "clip.avi"); });
    EXPECT_EQ("Sorry, " + input + Expected(pgtest::PLAY_NO_PROGRAM), box.text);
    // The program goes on as before.
    m_main.m_outFile = m_folder.PathOf("missing.avi");
    EXPECT_TRUE(AnswerBoxDuring(pgtest::MessageBoxTitle(), [&] { Click(IDB_PLAY_OUTPUT); }).seen);
    EXPECT_TRUE(::IsWindowEnabled(m_main.GetSafeHwnd()));
}

} // namespace
