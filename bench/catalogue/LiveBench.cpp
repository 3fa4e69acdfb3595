// The live list of the real main window on a temp tree: one download's metadata rewritten as the
// client rewrites it, timed until its row shows the new share, in the refresh's order and sorted by
// share (where the row moves); then the program's processor time while nothing changes.
//   catalogue_live_bench TREE-DIR\ [ROUNDS] [IDLE-SECONDS]
#include "BenchSupport.h"

#include "MainWindowBench.h"
#include "catalogue/ListSort.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD SHOW_TIMEOUT_MS = 10000;

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.append(buffer, got);
        std::fclose(file);
    }
    return bytes;
}

// Rewrites the file in place, as the client saves its metadata.
bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return wrote && written == bytes.size();
}

// The metadata with its bytes-copied tag (integer, one-byte name 0x08) set to the share of its
// size tag (0x02) in percent; empty when it has not both.
std::string WithShare(const std::string& met, int percent)
{
    const auto valueAfter = [&](char id) -> std::size_t {
        const std::string tag = std::string("\x03\x01\x00", 3) + id;
        const std::size_t at = met.find(tag);
        return at == std::string::npos || at + tag.size() + 4 > met.size() ? std::string::npos
                                                                           : at + tag.size();
    };
    const std::size_t sizeAt = valueAfter('\x02');
    const std::size_t copiedAt = valueAfter('\x08');
    if (sizeAt == std::string::npos || copiedAt == std::string::npos)
        return {};
    std::uint32_t size = 0;
    std::memcpy(&size, met.data() + sizeAt, 4);
    const auto copied = static_cast<std::uint32_t>(static_cast<std::uint64_t>(size) * percent / 100);
    std::string patched = met;
    std::memcpy(patched.data() + copiedAt, &copied, 4);
    return patched;
}

// The share column's text of the download's row; empty when it has no row.
std::string ShownShare(pg::MainDialog& dialog, HWND list, const std::string& path)
{
    const std::optional<std::intptr_t> id = dialog.m_listed.IdOf(path);
    if (!id)
        return {};
    LVFINDINFOA find{};
    find.flags = LVFI_PARAM;
    find.lParam = *id;
    const int row = static_cast<int>(
        ::SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
    char text[64] = {};
    LVITEMA item{};
    item.iSubItem = pg::PERCENT_COLUMN;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

// Runs the window's messages until `done` holds or the time is up; adds the time spent handling
// the live list's updates to `updateMs`.
template <typename Done> bool RunMessagesUntil(Done done, DWORD timeoutMs, double& updateMs)
{
    const DWORD end = ::GetTickCount() + timeoutMs;
    for (;;) {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            const LARGE_INTEGER start = bench::Now();
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
            if (message.message == pg::MainDialog::WM_DOWNLOADS_CHANGED)
                updateMs += bench::Milliseconds(start, bench::Now());
            if (done())
                return true;
        }
        const auto left = static_cast<LONG>(end - ::GetTickCount());
        if (left <= 0)
            return done();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
}

double ProcessCpuMs()
{
    FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& time) {
        return static_cast<double>(std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = bench::Rounds(argc, argv, "catalogue_live_bench");
    if (rounds < 0)
        return 2;
    const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 60;
    pg::MainDialog dialog;
    if (!bench::OpenMainWindow(dialog, argv[1], "live"))
        return 1;
    ::ShowWindow(dialog.GetSafeHwnd(), SW_SHOW);
    const HWND list = dialog.GetDlgItem(IDL_DOWNLOADS);
    const LARGE_INTEGER listing = bench::Now();
    dialog.Refresh();
    ::UpdateWindow(dialog.GetSafeHwnd());
    const auto count = static_cast<int>(dialog.m_entries.Count());
    // The processor time so far shows that the system counts it.
    std::fprintf(stderr, "listed rows=%d ms=%.1f cpu_ms=%.1f\n", count,
                 bench::Milliseconds(listing, bench::Now()), ProcessCpuMs());
    if (count == 0)
        return 1;

    double ignored = 0;
    for (const char* order : {"size", "share"}) {
        if (std::strcmp(order, "share") == 0)
            bench::ClickHeader(dialog, pg::PERCENT_COLUMN);
        for (int round = 1; round <= rounds; ++round) {
            // Downloads spread over the tree, a different one each time.
            const std::string path =
                dialog
                    .m_entries[static_cast<std::size_t>((round * 7919 + (order[1] == 'h' ? 31 : 0)) % count)]
                    .m_path;
            const std::string shown = ShownShare(dialog, list, path);
            const int percent = (pg::LeadingInt(shown) + 37) % 100;
            const std::string met = WithShare(ReadFileBytes(path + ".met"), percent);
            const std::string expected = std::to_string(percent);
            double updateMs = 0;
            const LARGE_INTEGER start = bench::Now();
            if (met.empty() || !WriteFileBytes(path + ".met", met)) {
                std::fprintf(stderr, "live: cannot rewrite %s.met\n", path.c_str());
                return 1;
            }
            const bool seen = RunMessagesUntil([&] { return ShownShare(dialog, list, path) == expected; },
                                               SHOW_TIMEOUT_MS, updateMs);
            const double milliseconds = bench::Milliseconds(start, bench::Now());
            std::fprintf(stderr, "live order=%s round=%d ms=%.1f update_ms=%.2f rows=%d%s\n", order, round,
                         milliseconds, updateMs,
                         static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)),
                         seen ? "" : " NOT SHOWN");
            // Whatever else the write set off has been dealt with before the next round.
            RunMessagesUntil([] { return false; }, 2 * pg::TempDirWatcher::GATHER_MS, ignored);
        }
    }

    const double cpuBefore = ProcessCpuMs();
    const LARGE_INTEGER idleStart = bench::Now();
    RunMessagesUntil([] { return false; }, static_cast<DWORD>(idleSeconds) * 1000, ignored);
    std::fprintf(stderr, "idle seconds=%.1f cpu_ms=%.1f\n",
                 bench::Milliseconds(idleStart, bench::Now()) / 1000, ProcessCpuMs() - cpuBefore);
    dialog.DestroyWindow();
    return 0;
}
