// The least a refresh must do: enumerate the temp tree and read every metadata file once.
//   catalogue_baseline_bench TREE-DIR\ [ROUNDS]
#include "BenchSupport.h"

#include <cstdio>
#include <string>

namespace {

std::size_t ReadAll(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return 0;
    char buffer[4096];
    std::size_t total = 0;
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        total += got;
    std::fclose(file);
    return total;
}

std::size_t Walk(const std::string& directory)
{
    std::size_t downloads = 0;
    WIN32_FIND_DATAA data{};
    const HANDLE find = ::FindFirstFileA((directory + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const std::string name = data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != "." && name != "..")
                downloads += Walk(directory + name + "\\");
        } else if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0) {
            ReadAll(directory + name + ".met");
            ++downloads;
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return downloads;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = bench::Rounds(argc, argv, "catalogue_baseline_bench");
    if (rounds < 0)
        return 2;
    for (int round = 1; round <= rounds; ++round) {
        const LARGE_INTEGER start = bench::Now();
        const std::size_t downloads = Walk(argv[1]);
        bench::PrintRound("baseline", round, bench::Milliseconds(start, bench::Now()), downloads);
    }
    bench::PrintPeak("baseline");
    return 0;
}
