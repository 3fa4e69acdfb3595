#pragma once
// The two file operations that the C runtime does not offer alike on every system.
#include <string>

namespace pg::clipmend {

// Renames from to to, replacing a file that already has that name.
bool MoveReplacing(const std::string& from, const std::string& to);

// True when both names lead to the same existing file.
bool SameFile(const std::string& a, const std::string& b);

} // namespace pg::clipmend
