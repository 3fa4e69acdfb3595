#pragma once
// Test helpers of every layer that need no window: files, scratch names, the expected language.
#include <cstdio>
#include <memory>
#include <string>

namespace pgtest {

// Path of a file below tests/data, as the test process sees it (Unix path or Z: drive).
std::string DataPath(const std::string& relative);

// Whole content of a file, or empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Whether this run expects the German texts (the test runner says which locale Wine got).
bool ExpectGerman();

// Whole content of a read-write stream; later writes append.
std::string StreamContent(std::FILE* stream);

// Name for scratch files of the running test, unique also when tests run as parallel processes.
std::string ScratchName(const std::string& suffix);

// A read-write file under the system's temp directory, removed when done. The runtime's tmpfile
// creates its files in the root of the current drive, which need not be writable.
class TempStream
{
public:
    TempStream();
    ~TempStream();
    TempStream(const TempStream&) = delete;
    TempStream& operator=(const TempStream&) = delete;

    std::FILE* get() const { return m_file.get(); }
    std::string Content() const { return StreamContent(m_file.get()); }

private:
    struct Closer
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::string m_path;
    std::unique_ptr<std::FILE, Closer> m_file;
};

// The playing position of a movie window titled exactly "<path> <position> / <length>" with the
// given length; -1 otherwise.
long PlayingPosition(const std::string& title, const std::string& path, unsigned length);

// The text with a CR before every LF, as a text-mode stream writes it on Windows.
std::string WithCrLf(const std::string& text);

} // namespace pgtest
