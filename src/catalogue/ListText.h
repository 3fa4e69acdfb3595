#pragma once
// Texts of the download list rows and of the scan patterns.
#include <cstdint>
#include <string>
#include <vector>

namespace pg {

// Size of a data file with its unit: "1023   B", "1.00 KB", "1024.00 KB", "1.00 MB", "5.00 GB".
std::string SizeText(std::uint64_t size);

// Share received as a whole number without decimal point; halves round away from zero.
std::string PercentText(float percent);

// The text without white space (blank, tab, line feed, carriage return, vertical tab, form feed) at
// either end.
std::string Trim(const std::string& text);

// The pattern text split at every ";", each piece trimmed, empty pieces left out.
std::vector<std::string> SplitPatterns(const std::string& patterns);

} // namespace pg
