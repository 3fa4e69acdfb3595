#include "GuiDriver.h"

#include <commctrl.h>

namespace gui {

std::string BinPath(const std::string& fileName)
{
    return std::string(PG_BIN_DIR) + "\\" + fileName;
}

Program::Program(const std::string& exePath, const std::string& currentDirectory,
                 const std::string& standardOutput)
{
    std::string commandLine = "\"" + exePath + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!standardOutput.empty()) {
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        output = ::CreateFileA(standardOutput.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = INVALID_HANDLE_VALUE;
        startup.hStdOutput = output;
        startup.hStdError = INVALID_HANDLE_VALUE;
    }
    PROCESS_INFORMATION info{};
    const BOOL started = ::CreateProcessA(
        exePath.c_str(), commandLine.data(), nullptr, nullptr, output != INVALID_HANDLE_VALUE, 0, nullptr,
        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup, &info);
    if (output != INVALID_HANDLE_VALUE)
        ::CloseHandle(output);
    if (started) {
        ::CloseHandle(info.hThread);
        m_process = info.hProcess;
        m_processId = info.dwProcessId;
        ::WaitForInputIdle(m_process, 10000);
    }
}

Program::~Program()
{
    if (!m_process)
        return;
    if (::WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
        for (HWND window : Windows())
            ::PostMessageA(window, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(m_process, 5000) == WAIT_TIMEOUT)
            ::TerminateProcess(m_process, 1);
    }
    ::CloseHandle(m_process);
}

namespace {

struct WindowSearch
{
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectProcessWindows(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && ::IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> Program::Windows() const
{
    WindowSearch search{m_processId, {}};
    ::EnumWindows(&CollectProcessWindows, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Program::WaitForWindow(const std::string& title, DWORD timeoutMs) const
{
    HWND result = nullptr;
    pgtest::WaitUntil(
        [&] {
            for (HWND window : Windows())
                if (pgtest::WindowText(window) == title) {
                    result = window;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return result;
}

bool Program::WaitForExit(DWORD timeoutMs) const
{
    return m_process && ::WaitForSingleObject(m_process, timeoutMs) == WAIT_OBJECT_0;
}

HWND Item(HWND dialog, int id)
{
    return ::GetDlgItem(dialog, id);
}

void SetText(HWND window, const std::string& text)
{
    ::SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsEnabled(HWND window)
{
    return ::IsWindowEnabled(window) != FALSE;
}

bool IsVisible(HWND window)
{
    return ::IsWindowVisible(window) != FALSE;
}

void PostClick(HWND button)
{
    ::PostMessageA(button, BM_CLICK, 0, 0);
}

void BringToFront(HWND window)
{
    ::SetForegroundWindow(window);
    pgtest::WaitUntil([&] { return ::GetForegroundWindow() == window; }, 2000);
}

void MovePointerTo(POINT screen)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input.mi.dx = static_cast<LONG>((screen.x * 65536LL + ::GetSystemMetrics(SM_CXSCREEN) - 1) /
                                    ::GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = static_cast<LONG>((screen.y * 65536LL + ::GetSystemMetrics(SM_CYSCREEN) - 1) /
                                    ::GetSystemMetrics(SM_CYSCREEN));
    ::SendInput(1, &input, sizeof input);
    ::Sleep(30);
}

void SendMouseButton(DWORD flag)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    ::SendInput(1, &input, sizeof input);
}

void SendKey(WORD virtualKey, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ::SendInput(1, &input, sizeof input);
}

void ClickAt(HWND window, int clientX, int clientY, bool doubleClick)
{
    POINT point{clientX, clientY};
    ::ClientToScreen(window, &point);
    MovePointerTo(point);
    ::Sleep(20);
    for (int i = 0; i < (doubleClick ? 2 : 1); ++i) {
        SendMouseButton(MOUSEEVENTF_LEFTDOWN);
        SendMouseButton(MOUSEEVENTF_LEFTUP);
        ::Sleep(doubleClick ? 30 : 100);
    }
    ::Sleep(100);
}

void ClickControl(HWND dialog, int id, bool doubleClick)
{
    const HWND control = Item(dialog, id);
    RECT client{};
    ::GetClientRect(control, &client);
    ClickAt(control, client.right / 2, client.bottom / 2, doubleClick);
}

void TypeText(const std::string& text)
{
    for (unsigned char c : text) {
        INPUT input[2]{};
        input[0].type = input[1].type = INPUT_KEYBOARD;
        input[0].ki.wScan = input[1].ki.wScan = c;
        input[0].ki.dwFlags = KEYEVENTF_UNICODE;
        input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        ::SendInput(2, input, sizeof(INPUT));
        ::Sleep(5);
    }
    ::Sleep(100);
}

void PressKey(WORD virtualKey)
{
    SendKey(virtualKey, false);
    SendKey(virtualKey, true);
    ::Sleep(150);
}

namespace {

// Memory in another process for list-view messages, freed when it goes.
class RemoteBuffer
{
public:
    RemoteBuffer(HWND window, std::size_t size)
    {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        m_process =
            ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
        if (m_process)
            m_address = ::VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    ~RemoteBuffer()
    {
        if (m_address)
            ::VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
        if (m_process)
            ::CloseHandle(m_process);
    }
    char* Address() const { return static_cast<char*>(m_address); }
    void Write(std::size_t offset, const void* data, std::size_t size) const
    {
        ::WriteProcessMemory(m_process, Address() + offset, data, size, nullptr);
    }
    void Read(std::size_t offset, void* data, std::size_t size) const
    {
        ::ReadProcessMemory(m_process, Address() + offset, data, size, nullptr);
    }
    explicit operator bool() const { return m_address != nullptr; }

private:
    HANDLE m_process = nullptr;
    void* m_address = nullptr;
};

constexpr std::size_t TEXT_SIZE = 4096;

std::string RemoteItemText(HWND list, const RemoteBuffer& buffer, int row, int column)
{
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = buffer.Address() + sizeof(LVITEMA);
    item.cchTextMax = TEXT_SIZE;
    buffer.Write(0, &item, sizeof item);
    const LRESULT length =
        ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(buffer.Address()));
    std::string text(static_cast<std::size_t>(length), '\0');
    buffer.Read(sizeof(LVITEMA), text.data(), text.size());
    return text;
}

} // namespace

std::vector<std::vector<std::string>> ListRows(HWND list, int columns)
{
    std::vector<std::vector<std::string>> rows;
    RemoteBuffer buffer(list, sizeof(LVITEMA) + TEXT_SIZE);
    if (!buffer)
        return rows;
    const int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::vector<std::string> cells;
        for (int column = 0; column < columns; ++column)
            cells.push_back(RemoteItemText(list, buffer, row, column));
        rows.push_back(cells);
    }
    return rows;
}

std::string ListCell(HWND list, int row, int column)
{
    const RemoteBuffer buffer(list, sizeof(LVITEMA) + TEXT_SIZE);
    return buffer ? RemoteItemText(list, buffer, row, column) : std::string();
}

std::vector<std::string> ListHeadings(HWND list, int columns)
{
    std::vector<std::string> headings;
    RemoteBuffer buffer(list, sizeof(LVCOLUMNA) + TEXT_SIZE);
    if (!buffer)
        return headings;
    for (int column = 0; column < columns; ++column) {
        LVCOLUMNA lvColumn{};
        lvColumn.mask = LVCF_TEXT;
        lvColumn.pszText = buffer.Address() + sizeof(LVCOLUMNA);
        lvColumn.cchTextMax = TEXT_SIZE;
        buffer.Write(0, &lvColumn, sizeof lvColumn);
        ::SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(buffer.Address()));
        char text[TEXT_SIZE] = {};
        buffer.Read(sizeof(LVCOLUMNA), text, sizeof text - 1);
        headings.emplace_back(text);
    }
    return headings;
}

RECT ListItemRect(HWND list, int row)
{
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    RemoteBuffer buffer(list, sizeof rect);
    if (!buffer)
        return rect;
    buffer.Write(0, &rect, sizeof rect);
    ::SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(buffer.Address()));
    buffer.Read(0, &rect, sizeof rect);
    return rect;
}

std::string RunAndCapture(const std::string& commandLine)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return {};
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    std::string command = commandLine;
    std::string output;
    if (::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                         &startup, &info)) {
        ::CloseHandle(writeEnd);
        writeEnd = nullptr;
        char chunk[4096];
        DWORD got = 0;
        while (::ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0)
            output.append(chunk, got);
        ::WaitForSingleObject(info.hProcess, 10000);
        ::CloseHandle(info.hProcess);
        ::CloseHandle(info.hThread);
    }
    if (writeEnd)
        ::CloseHandle(writeEnd);
    ::CloseHandle(readEnd);
    return output;
}

} // namespace gui
