#pragma once
// Timing and memory figures of one benchmark process, printed to standard error (standard output
// carries the metadata reader's dump).
#include <windows.h>

#include <cstddef>

namespace bench {

// The arguments of every catalogue benchmark: TREE-DIR\ [ROUNDS], three rounds unless told; -1,
// after a usage line naming the program, when the tree is missing.
int Rounds(int argc, char** argv, const char* program);

double Milliseconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end);
LARGE_INTEGER Now();

// Peak working set of this process in KiB; under Wine that of the whole Linux process.
std::size_t PeakWorkingSetKiB();

// One line "NAME round=N ms=X items=M".
void PrintRound(const char* name, int round, double milliseconds, std::size_t items);
// One line "NAME peak_kib=K".
void PrintPeak(const char* name);

} // namespace bench
