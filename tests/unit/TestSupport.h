#pragma once
#include <string>

namespace pgtest {

// Path of a file below tests/data, as the test process sees it (Unix path or Z: drive).
std::string DataPath(const std::string& relative);

// Whole content of a file, or empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

} // namespace pgtest
