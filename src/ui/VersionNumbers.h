#pragma once
// Reading the four parts of a version text such as "1, 0, 0, 5" or "1.0.0.5".
#include <string>

namespace pg {

// Each number is read like the runtime's atoi (leading blanks, an optional sign, then digits);
// the next one follows the first comma of the rest of the text, or its first full stop when it
// has no comma. Numbers whose turn does not come keep their values. Yields true when all four
// numbers were read.
bool ParseVersionNumbers(const std::string& text, int& first, int& second, int& third, int& fourth);

} // namespace pg
