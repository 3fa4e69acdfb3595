#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

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

namespace {

std::string ReadRest(std::FILE* stream)
{
    std::string content;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        content.append(buffer, n);
    return content;
}

} // namespace

std::string ReadWholeFile(const std::string& path)
{
    std::string content;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        content = ReadRest(file);
        std::fclose(file);
    }
    return content;
}

bool ExpectGerman()
{
    const char* language = std::getenv("PG_EXPECT_LANGUAGE");
    return language && std::strcmp(language, "de") == 0;
}

std::string StreamContent(std::FILE* stream)
{
    std::fflush(stream);
    std::rewind(stream);
    std::string content = ReadRest(stream);
    std::fseek(stream, 0, SEEK_END);
    return content;
}

std::string ScratchName(const std::string& suffix)
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string("pg_test_") + test->test_suite_name() + "_" + test->name() + suffix;
}

TempStream::TempStream()
{
    static int serial = 0;
    std::string suffix = "_";
    suffix += std::to_string(++serial);
    m_path = (std::filesystem::temp_directory_path() / ScratchName(suffix)).string();
    m_file.reset(std::fopen(m_path.c_str(), "w+b"));
}

TempStream::~TempStream()
{
    m_file.reset();
    std::remove(m_path.c_str());
}

long PlayingPosition(const std::string& title, const std::string& path, unsigned length)
{
    unsigned position = 0;
    unsigned shownLength = 0;
    if (title.compare(0, path.size(), path) != 0 ||
        std::sscanf(title.c_str() + path.size(), " %u / %u", &position, &shownLength) != 2 ||
        title != path + " " + std::to_string(position) + " / " + std::to_string(length))
        return -1;
    return static_cast<long>(position);
}

std::string WithCrLf(const std::string& text)
{
    std::string converted;
    for (char c : text) {
        if (c == '\n')
            converted += '\r';
        converted += c;
    }
    return converted;
}

} // namespace pgtest
