// Stand-in for the system media player in Wine prefixes that have none: plays one file in the
// media window. It takes "[/play] [/close] PATH", the path unquoted (blanks and all) or quoted;
// with /close it ends once the media has played to its end. When the environment variable
// MPLAYER2_STANDIN_LOG names a file, the parameters are appended to it first, one line each,
// so that tests can see exactly what the player was given.
#include <windows.h>

#include <vfw.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

constexpr char WINDOW_CLASS[] = "Mplayer2StandIn";
constexpr char LOG_VARIABLE[] = "MPLAYER2_STANDIN_LOG";

struct Request
{
    bool closeAtEnd = false;
    std::string path;
};

struct Player
{
    HWND media = nullptr;
    bool closeAtEnd = false;
    bool playing = false;
};

Player g_player;

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Takes a leading switch such as "/play" off the text, with the blanks after it.
bool TakeSwitch(std::string& text, const char* name)
{
    const std::size_t length = std::strlen(name);
    if (text.size() < length || _strnicmp(text.c_str(), name, length) != 0)
        return false;
    if (text.size() > length && !std::isspace(static_cast<unsigned char>(text[length])))
        return false;
    text = Trimmed(text.substr(length));
    return true;
}

Request ParseParameters(const std::string& parameters)
{
    Request request;
    std::string text = Trimmed(parameters);
    // Every path given is played, with or without /play.
    for (;;) {
        if (TakeSwitch(text, "/close"))
            request.closeAtEnd = true;
        else if (!TakeSwitch(text, "/play"))
            break;
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    request.path = text;
    return request;
}

void LogParameters(const std::string& parameters)
{
    char path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableA(LOG_VARIABLE, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    const HANDLE log = ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return;
    const std::string line = parameters + "\r\n";
    DWORD written = 0;
    ::WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(log);
}

void FitAroundMedia(HWND window, HWND media)
{
    RECT frame{};
    ::GetWindowRect(media, &frame);
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongA(window, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongA(window, GWL_EXSTYLE)));
    ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK PlayerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case MCIWNDM_NOTIFYSIZE:
        FitAroundMedia(window, reinterpret_cast<HWND>(wParam));
        return 0;
    case MCIWNDM_NOTIFYMODE:
        // The end of the media shows as the change from playing to stopped.
        if (lParam == MCI_MODE_PLAY)
            g_player.playing = true;
        else if (g_player.playing && lParam == MCI_MODE_STOP && g_player.closeAtEnd)
            ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show)
{
    const std::string parameters = commandLine ? commandLine : "";
    LogParameters(parameters);
    const Request request = ParseParameters(parameters);
    g_player.closeAtEnd = request.closeAtEnd;

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &PlayerProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = WINDOW_CLASS;
    ::RegisterClassA(&windowClass);

    const std::string title = request.path.empty() ? "Media Player" : request.path + " - Media Player";
    const HWND window = ::CreateWindowExA(0, WINDOW_CLASS, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                          CW_USEDEFAULT, 320, 240, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    g_player.media = ::MCIWndCreateA(
        window, instance, WS_CHILD | WS_VISIBLE | MCIWNDF_NOTIFYMODE | MCIWNDF_NOTIFYSIZE, nullptr);
    if (!g_player.media)
        return 1;
    ::ShowWindow(window, show);

    if (!request.path.empty()) {
        // A failed open has been reported by the media window; the player then stays empty.
        const bool opened = ::SendMessageA(g_player.media, MCIWNDM_OPENA, 0,
                                           reinterpret_cast<LPARAM>(request.path.c_str())) == 0;
        if (opened)
            ::SendMessageA(g_player.media, MCI_PLAY, 0, 0);
        else if (request.closeAtEnd)
            ::DestroyWindow(window);
    }

    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return 0;
}
