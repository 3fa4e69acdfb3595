#include "BenchSupport.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>

namespace bench {

int Rounds(int argc, char** argv, const char* program)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TREE-DIR\\ [ROUNDS]\n", program);
        return -1;
    }
    return argc > 2 ? std::atoi(argv[2]) : 3;
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now;
}

double Milliseconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end)
{
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

std::size_t PeakWorkingSetKiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.PeakWorkingSetSize / 1024;
}

void PrintRound(const char* name, int round, double milliseconds, std::size_t items)
{
    std::fprintf(stderr, "%s round=%d ms=%.1f items=%u\n", name, round, milliseconds,
                 static_cast<unsigned>(items));
}

void PrintPeak(const char* name)
{
    std::fprintf(stderr, "%s peak_kib=%u\n", name, static_cast<unsigned>(PeakWorkingSetKiB()));
}

} // namespace bench
