// Playback: the movie window on real AVI files, and the two Play buttons of the main window with
// the stand-in media player (bin\Mplayer2.exe beside this test, found there by ShellExecuteA).
#include "CatalogueTree.h"
#include "SmallAvi.h"
#include "Win32TestSupport.h"

#include "app/MainDialog.h"
#include "framework/Application.h"
#include "framework/Text.h"
#include "playback/MoviePreviewDialog.h"
#include "res/resource.h"

#include <gtest/gtest.h>
#include <vfw.h>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

using pgtest::PumpMessages;
using pgtest::WindowText;

constexpr char PLAYER_CLASS[] = "Mplayer2StandIn";
constexpr char PLAYER_LOG_VARIABLE[] = "MPLAYER2_STANDIN_LOG";

// Scratch folders of downloads and media files; names with blanks as users' files have them.
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

// Metadata of a download named Film.avi whose first gap starts at `gapStart`.
std::string FilmMet(std::uint32_t gapStart)
{
    return pgtest::MetFile().Name("Film.avi").Size(900000).Copied(300000).Gap(0, gapStart, 900000).Bytes();
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 10000)
{
    const DWORD end = ::GetTickCount() + timeoutMs;
    while (!condition()) {
        if (static_cast<LONG>(end - ::GetTickCount()) <= 0)
            return false;
        PumpMessages(20);
    }
    return true;
}

struct PositionTitle
{
    bool matches = false;
    unsigned position = 0;
    unsigned length = 0;
};

// Reads a title of the form "<name> <position> / <length>".
PositionTitle ParsePositionTitle(const std::string& title, const std::string& name)
{
    PositionTitle parsed;
    if (title.compare(0, name.size(), name) != 0)
        return parsed;
    const std::string rest = title.substr(name.size());
    parsed.matches = std::sscanf(rest.c_str(), " %u / %u", &parsed.position, &parsed.length) == 2 &&
                     rest == fw::Format(" %u / %u", parsed.position, parsed.length);
    return parsed;
}

bool TitleIsPathOrPosition(const std::string& title, const std::string& path)
{
    return title == path || ParsePositionTitle(title, path).matches;
}

RECT WindowRect(HWND window)
{
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect;
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The client area of the movie window, in screen coordinates.
RECT ClientOnScreen(HWND window)
{
    RECT client{};
    ::GetClientRect(window, &client);
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return client;
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

// The message box of the media window itself, shown when it cannot open a file (Wine's title).
constexpr char MEDIA_ERROR_TITLE[] = "MCI Error";

struct AnsweredBox
{
    bool seen = false;
    std::string text;
};

// Runs the action while a watcher answers OK to a message box of this process with the given
// title; tells whether one came (within the timeout) and what it said.
AnsweredBox AnswerBoxDuring(const std::string& title, const std::function<void()>& action,
                            DWORD timeoutMs = 10000)
{
    AnsweredBox answered;
    {
        pgtest::WindowWatcher watcher(
            "#32770", title,
            [&](HWND box) {
                answered.text = pgtest::MessageBoxText(box);
                answered.seen = true;
                ::PostMessageA(box, WM_COMMAND, IDOK, 0);
            },
            timeoutMs);
        action();
        // The watcher reads window titles, which this thread must answer until it is done.
        WaitFor([&] { return watcher.Seen(); }, timeoutMs + 200);
    }
    return answered;
}

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
    ASSERT_NE(nullptr, onlyChild);
    EXPECT_EQ(IDCANCEL, ::GetDlgCtrlID(onlyChild));
    EXPECT_FALSE(::IsWindowVisible(onlyChild));
    EXPECT_EQ(nullptr, ::GetWindow(onlyChild, GW_HWNDNEXT));

    const HICON programIcon = ::LoadIconA(fw::ResourceInstance(), MAKEINTRESOURCEA(IDI_PROGRAM));
    ASSERT_NE(nullptr, programIcon);
    EXPECT_EQ(programIcon, reinterpret_cast<HICON>(::SendMessageA(window, WM_GETICON, ICON_BIG, 0)));
    EXPECT_EQ(programIcon, reinterpret_cast<HICON>(::SendMessageA(window, WM_GETICON, ICON_SMALL, 0)));
}

TEST_F(MovieWindowTest, OpensWithThePathAsTitleThenShowsPositionAndLength)
{
    const std::string path = m_folder.Avi("clip one.avi");
    const HWND window = Open(path);
    // Wine: the first position notification comes with the start of playing, before Create returns.
    EXPECT_TRUE(TitleIsPathOrPosition(WindowText(window), path)) << WindowText(window);
    const HWND media = m_movie->MediaWindow();
    ASSERT_NE(nullptr, media);
    EXPECT_EQ(window, ::GetParent(media));
    EXPECT_EQ(0x50808608u, static_cast<DWORD>(::GetWindowLongA(media, GWL_STYLE)) & 0x50808608u);

    // The title follows the playing position, in frames of the 20-frame clip.
    PositionTitle last;
    EXPECT_TRUE(WaitFor([&] {
        last = ParsePositionTitle(WindowText(window), path);
        return last.matches && last.position > 0;
    })) << WindowText(window);
    EXPECT_EQ(20u, last.length);
    EXPECT_LE(last.position, last.length);
}

TEST_F(MovieWindowTest, ItsClientAreaJustHoldsTheMediaWindow)
{
    const HWND window = Open(m_folder.Avi("clip.avi", {160, 120, 10, 20}));
    const HWND media = m_movie->MediaWindow();
    ASSERT_NE(nullptr, media);
    PumpMessages(100);
    const RECT mediaRect = WindowRect(media);
    EXPECT_TRUE(SameRect(mediaRect, ClientOnScreen(window)));
    // The media window holds the picture and its play bar below it.
    EXPECT_GE(mediaRect.right - mediaRect.left, 160);
    EXPECT_GT(mediaRect.bottom - mediaRect.top, 120);
}

TEST_F(MovieWindowTest, PositionNotificationWritesFileNamePositionAndLength)
{
    const std::string path = m_folder.Avi("12 b.avi", {64, 48, 10, 900});
    const HWND window = Open(path);
    ASSERT_NE(nullptr, m_movie->MediaWindow());
    ::SendMessageA(window, MCIWNDM_NOTIFYPOS, reinterpret_cast<WPARAM>(m_movie->MediaWindow()), 120);
    EXPECT_EQ(path + " 120 / 900", WindowText(window));
}

TEST_F(MovieWindowTest, SizeNotificationFitsOnlyAroundItsOwnMediaWindow)
{
    // Wide enough for the window to fit exactly: no window gets narrower than the system's
    // minimum tracking width.
    const std::string path = m_folder.Avi("clip.avi", {160, 120, 10, 20});
    const HWND window = Open(path);
    const HWND media = m_movie->MediaWindow();
    ASSERT_NE(nullptr, media);
    ::MoveWindow(window, 30, 40, 500, 400, TRUE);
    const RECT moved = WindowRect(window);

    // A media window with open media that is not among the window's children changes nothing.
    const HWND stranger =
        ::MCIWndCreateA(nullptr, fw::ResourceInstance(), WS_POPUP | MCIWNDF_NOERRORDLG, path.c_str());
    ASSERT_NE(nullptr, stranger);
    ::SendMessageA(window, MCIWNDM_NOTIFYSIZE, reinterpret_cast<WPARAM>(stranger), 0);
    EXPECT_TRUE(SameRect(moved, WindowRect(window)));
    ::DestroyWindow(stranger);

    ::SendMessageA(window, MCIWNDM_NOTIFYSIZE, reinterpret_cast<WPARAM>(media), 0);
    EXPECT_TRUE(SameRect(WindowRect(media), ClientOnScreen(window)));
    EXPECT_FALSE(SameRect(moved, WindowRect(window)));

    // Once its media is closed the media window has no file name, and the size stays.
    ::SendMessageA(media, MCI_CLOSE, 0, 0);
    ::MoveWindow(window, 30, 40, 500, 400, TRUE);
    ::SendMessageA(window, MCIWNDM_NOTIFYSIZE, reinterpret_cast<WPARAM>(media), 0);
    EXPECT_TRUE(SameRect(moved, WindowRect(window)));
}

TEST_F(MovieWindowTest, UnfinishedDownloadPlaysUnderItsPartName)
{
    // The prefix registers the "part" extension for the AVI device (scripts/wine-prefix);
    // without it the open fails with an MCI error. Half the frames have arrived, no index.
    const std::string whole = pgtest::SmallAviBytes({64, 48, 10, 40});
    const std::string path = m_folder.Write("12.part", pgtest::CutShort(whole, whole.size() / 2));
    HWND window = nullptr;
    const AnsweredBox error = AnswerBoxDuring(
        MEDIA_ERROR_TITLE, [&] { window = Open(path); }, 1000);
    EXPECT_FALSE(error.seen) << error.text;
    PositionTitle last;
    EXPECT_TRUE(WaitFor([&] {
        last = ParsePositionTitle(WindowText(window), path);
        return last.matches && last.position > 0;
    })) << WindowText(window);
    EXPECT_EQ(40u, last.length); // as the headers say
}

TEST_F(MovieWindowTest, MissingFileLeavesTheWindowOpenUnderItsPath)
{
    const std::string path = m_folder.PathOf("gone.avi");
    HWND window = nullptr;
    // The media window reports the failure itself.
    const AnsweredBox error = AnswerBoxDuring(MEDIA_ERROR_TITLE, [&] { window = Open(path); });
    EXPECT_TRUE(error.seen);
    EXPECT_NE("", error.text);
    PumpMessages(300);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_EQ(path, WindowText(window));
    ASSERT_NE(nullptr, m_movie->MediaWindow());
    EXPECT_TRUE(::IsWindow(m_movie->MediaWindow()));
}

TEST_F(MovieWindowTest, OpenAndPlayTellsAFailedOpenFromAGoodOne)
{
    const std::string missing = m_folder.PathOf("gone.avi");
    AnswerBoxDuring(MEDIA_ERROR_TITLE, [&] { Open(missing); });
    int result = 0;
    EXPECT_TRUE(AnswerBoxDuring(MEDIA_ERROR_TITLE, [&] { result = m_movie->OpenAndPlay(missing); }).seen);
    EXPECT_EQ(-2, result);

    // Wine: a media window that already holds media fails every further open ("alias already in
    // use"), so the good file goes into the one whose open failed.
    const std::string good = m_folder.Avi("other clip.avi");
    EXPECT_EQ(0, m_movie->OpenAndPlay(good));
    EXPECT_TRUE(TitleIsPathOrPosition(WindowText(m_movie->GetSafeHwnd()), good));
}

// ---------------------------------------------------------------- the Play buttons

class PlayButtonTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        m_log = m_folder.PathOf("player.log");
        ::SetEnvironmentVariableA(PLAYER_LOG_VARIABLE, m_log.c_str());
        m_main = std::make_unique<pg::MainDialog>();
        ASSERT_TRUE(m_main->Create(nullptr));
        PumpMessages();
    }

    void TearDown() override
    {
        // A player left open by a test goes now, before its folder is removed.
        for (HWND player = ::FindWindowA(PLAYER_CLASS, nullptr); player;
             player = ::FindWindowA(PLAYER_CLASS, nullptr)) {
            ::PostMessageA(player, WM_CLOSE, 0, 0);
            WaitFor([&] { return !::IsWindow(player); }, 5000);
        }
        ::SetEnvironmentVariableA(PLAYER_LOG_VARIABLE, nullptr);
        m_main->DestroyWindow();
        PumpMessages();
    }

    void SetFields(const std::string& input, const std::string& mediaName)
    {
        m_main->SetDlgItemText(IDE_INPUT, input);
        m_main->SetDlgItemText(IDE_MEDIA_NAME, mediaName);
    }

    void Click(int button) const
    {
        ::SendMessageA(m_main->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                       reinterpret_cast<LPARAM>(m_main->GetDlgItem(button)));
    }

    // The parameters the stand-in player was started with, one line per start.
    std::string PlayerLog() const { return pgtest::ReadFileBytes(m_log); }

    bool WaitForPlayerLog(const std::string& expected)
    {
        return WaitFor([&] { return PlayerLog() == expected; });
    }

    Folder m_folder;
    std::string m_log;
    std::unique_ptr<pg::MainDialog> m_main;
};

TEST_F(PlayButtonTest, OtherInputGoesToThePlayerWhichClosesAtTheEnd)
{
    const std::string path = m_folder.Avi("my clip.avi", {64, 48, 10, 5});
    SetFields(path, "my clip.avi");
    Click(IDB_PLAY_INPUT);
    ASSERT_TRUE(WaitForPlayerLog("/play /close " + path + "\r\n")) << PlayerLog();

    HWND player = nullptr;
    EXPECT_TRUE(WaitFor([&] { return (player = ::FindWindowA(PLAYER_CLASS, nullptr)) != nullptr; }));
    // Half a second of media: the player ends by itself soon after.
    EXPECT_TRUE(WaitFor([&] { return !::FindWindowA(PLAYER_CLASS, nullptr); }, 8000));
}

TEST_F(PlayButtonTest, PlayOutputHandsTheMemberAloneAndThePlayerStaysOpen)
{
    const std::string path = m_folder.Avi("out put.avi", {64, 48, 10, 3});
    m_main->m_outFile = path;
    m_main->SetDlgItemText(IDE_OUTPUT, "shown on screen"); // not read by Play output
    Click(IDB_PLAY_OUTPUT);
    ASSERT_TRUE(WaitForPlayerLog(path + "\r\n")) << PlayerLog();

    HWND player = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (player = ::FindWindowA(PLAYER_CLASS, nullptr)) != nullptr; }));
    PumpMessages(1500); // well past the end of the media: without /close the player stays
    EXPECT_TRUE(::IsWindow(player));
}

// What a timer saw of the modal movie window that Play input opened; it closes the window once
// the title shows the position and the window is fitted, or at the deadline.
struct MovieWatch
{
    std::string path;
    HWND movie = nullptr;
    std::string firstTitle;
    bool sawPosition = false;
    bool fitted = false;
    DWORD deadline = 0;
};
MovieWatch s_watch;

void CALLBACK WatchMovieWindow(HWND, UINT, UINT_PTR, DWORD)
{
    if (!s_watch.movie) {
        const HWND active = ::GetActiveWindow();
        if (active && ClassOf(active) == "#32770" && WindowText(active).rfind(s_watch.path, 0) == 0) {
            s_watch.movie = active;
            s_watch.firstTitle = WindowText(active);
        }
    } else if (::IsWindow(s_watch.movie)) {
        s_watch.sawPosition =
            s_watch.sawPosition || ParsePositionTitle(WindowText(s_watch.movie), s_watch.path).matches;
        HWND media = ::GetWindow(s_watch.movie, GW_CHILD);
        if (media && ClassOf(media) == "Button")
            media = ::GetWindow(media, GW_HWNDNEXT);
        s_watch.fitted = media && SameRect(WindowRect(media), ClientOnScreen(s_watch.movie));
    }
    const bool done = s_watch.sawPosition && s_watch.fitted;
    if (s_watch.movie && (done || static_cast<LONG>(s_watch.deadline - ::GetTickCount()) <= 0))
        ::PostMessageA(s_watch.movie, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(PlayButtonTest, UnfinishedDownloadWithItsStartPlaysInTheMovieWindow)
{
    // Wide enough for an exact fit (no window is narrower than the minimum tracking width).
    const std::string whole = pgtest::SmallAviBytes({160, 120, 10, 60});
    const std::string part = m_folder.Write("12.part", pgtest::CutShort(whole, whole.size() / 3));
    m_folder.Write("12.part.met", FilmMet(86049));
    SetFields(part, "Film.AVI");

    // The movie window runs modally inside the handler: a timer of this thread watches it.
    s_watch = {part, nullptr, {}, false, false, ::GetTickCount() + 10000};
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &WatchMovieWindow);
    Click(IDB_PLAY_INPUT);
    ::KillTimer(nullptr, timer);

    ASSERT_NE(nullptr, s_watch.movie) << "no movie window opened";
    EXPECT_TRUE(TitleIsPathOrPosition(s_watch.firstTitle, part)) << s_watch.firstTitle;
    EXPECT_TRUE(s_watch.sawPosition);
    EXPECT_TRUE(s_watch.fitted);
    EXPECT_FALSE(::IsWindow(s_watch.movie));
    EXPECT_EQ("", PlayerLog()); // the system player is not involved
}

TEST_F(PlayButtonTest, LocalizedRefusalOfDownloadsThatCannotBeShown)
{
    const std::string expected = pgtest::ExpectGerman()
                                     ? "Sorry, das Movie kann nicht mit dieser Funktion gezeigt werden!"
                                     : "Sorry, the movie could not be played!";
    const std::string withStart = m_folder.Avi("1.part");
    m_folder.Write("1.part.met", FilmMet(86049));
    const std::string withoutStart = m_folder.Avi("2.PART");
    m_folder.Write("2.PART.met", FilmMet(0));
    const struct
    {
        std::string input;
        const char* mediaName;
    } cases[] = {
        {withoutStart, "film.avi"},              // its first gap starts at byte 0
        {withStart, "film.mpeg"},                // not one of the five media extensions
        {withStart, withStart.c_str()},          // as after the input browse button
        {m_folder.PathOf("3.part"), "film.avi"}, // no metadata at all
    };
    for (const auto& c : cases) {
        SetFields(c.input, c.mediaName);
        const AnsweredBox box = AnswerBoxDuring(pgtest::MessageBoxTitle(), [&] { Click(IDB_PLAY_INPUT); });
        EXPECT_TRUE(box.seen) << c.input << " " << c.mediaName;
        EXPECT_EQ(expected, box.text) << c.input << " " << c.mediaName;
    }
    PumpMessages(300);
    EXPECT_EQ("", PlayerLog());
}

} // namespace
