#pragma once
// Fixed-point formatting of doubles the way the platform's old runtime library prints them.
#include <string>

namespace pg {

// Like printf "%*.*f" with width and precision (0 to 4), except that a value lying exactly halfway
// between two results rounds away from zero ("%.2f" of 0.125 gives "0.13", "%.0f" of 12.5 gives
// "13"); glibc and mingw-w64's own printf round such halves to even.
std::string FormatFixed(double value, int precision, int width = 0);

} // namespace pg
