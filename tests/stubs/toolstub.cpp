// Stand-in for the preview tool in the Windows tests. It is started as
// "ClipmendC.exe \"<mode>\" \"<out>\" -k ...  /A"; the first argument chooses what it prints:
//   lines           "first\nsecond\r\nthird\n" (lone line feeds and CR LF) in one write
//   two-chunks      "one\r\n", a pause, then "two\r\n"
//   chunk4096       exactly 4096 bytes in one write, ending in CR LF, the end marker and CR LF
//   marker-at-0     the end marker at the very start of its only write
//   marker-middle   the end marker in the middle of its only write
//   marker-split:N  "See <end marker>\r\n" in two writes with a pause between them, the
//                   second starting N characters into the marker (0: the marker starts it)
//   binary          every byte value, 1 to 255 and then 0, in one write
//   stderr          one line on standard error
//   exit-now        nothing at all
//   keep-running[:ms]  a line every 100 ms for ms milliseconds (2000 by default)
// Each write goes straight to the handle, so every piece reaches the pipe at once. When the
// environment variable TOOLSTUB_LOG names a file, the command line is appended to it first.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "ToolEndMarker.h"

namespace {

void Put(DWORD handleId, const std::string& bytes)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(handleId), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Put(const std::string& bytes)
{
    Put(STD_OUTPUT_HANDLE, bytes);
}

void RecordCommandLine()
{
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("TOOLSTUB_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    const HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return;
    const std::string line = std::string(GetCommandLineA()) + "\r\n";
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(log);
}

std::string Chunk4096()
{
    const std::string tail = std::string("\r\n") + TOOL_END_MARKER + "\r\n";
    std::string chunk;
    for (std::size_t i = 0; chunk.size() < 4096 - tail.size(); ++i)
        chunk += (i % 64 == 63) ? '\n' : static_cast<char>('A' + i % 26);
    return chunk + tail;
}

int KeepRunning(const std::string& mode)
{
    const std::size_t colon = mode.find(':');
    const int milliseconds = colon == std::string::npos ? 2000 : std::atoi(mode.c_str() + colon + 1);
    for (int elapsed = 0, tick = 1; elapsed < milliseconds; elapsed += 100, ++tick) {
        Put("tick " + std::to_string(tick) + "\r\n");
        Sleep(100);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    RecordCommandLine();
    const std::string mode = argc > 1 ? argv[1] : "";
    const std::string marker = TOOL_END_MARKER;
    if (mode == "lines") {
        Put("first\nsecond\r\nthird\n");
    } else if (mode == "two-chunks") {
        Put("one\r\n");
        Sleep(500);
        Put("two\r\n");
    } else if (mode == "chunk4096") {
        Put(Chunk4096());
    } else if (mode == "marker-at-0") {
        Put(marker + "\r\n");
    } else if (mode == "marker-middle") {
        Put("Work done.\r\nSee " + marker + "\r\n");
    } else if (mode.rfind("marker-split:", 0) == 0) {
        const std::string line = "See " + marker + "\r\n";
        const std::size_t cut = 4 + std::strtoul(mode.c_str() + 13, nullptr, 10);
        Put(line.substr(0, cut));
        Sleep(200);
        Put(line.substr(cut));
    } else if (mode == "binary") {
        std::string bytes;
        for (int value = 1; value <= 256; ++value)
            bytes += static_cast<char>(value & 0xFF);
        Put(bytes);
    } else if (mode == "stderr") {
        Put(STD_ERROR_HANDLE, "error line\r\n");
    } else if (mode == "exit-now") {
        return 0;
    } else if (mode.rfind("keep-running", 0) == 0) {
        return KeepRunning(mode);
    } else {
        Put("toolstub: unknown mode \"" + mode + "\"\r\n");
        return 2;
    }
    return 0;
}
