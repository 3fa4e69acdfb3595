#pragma once
#include <cstdio>
#include <string>

namespace pgtest {

// Path of a file below tests/data, as the test process sees it (Unix path or Z: drive).
std::string DataPath(const std::string& relative);

// Whole content of a file, or empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Whole content of a read-write stream; later writes append.
std::string StreamContent(std::FILE* stream);

// The text with a CR before every LF, as a text-mode stream writes it on Windows.
std::string WithCrLf(const std::string& text);

} // namespace pgtest
