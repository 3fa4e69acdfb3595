#include "TestSupport.h"

#include <cstdio>

namespace pgtest {

std::string DataPath(const std::string& relative)
{
    std::string path = std::string(PG_TEST_DATA) + "/" + relative;
#ifdef _WIN32
    for (char& c : path)
        if (c == '/')
            c = '\\';
#endif
    return path;
}

std::string ReadWholeFile(const std::string& path)
{
    std::string content;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            content.append(buffer, n);
        std::fclose(file);
    }
    return content;
}

} // namespace pgtest
