#pragma once
// The file operations that the C runtime does not offer alike on every system.
#include "FileIo.h"

#include <memory>
#include <string>

namespace pg::clipmend {

// The input mapped into memory, read-only: its bytes are used where they lie instead of being
// copied into a buffer. Null when the file cannot be mapped; reading it is the way then.
std::unique_ptr<ByteSource> OpenMappedFile(const std::string& path);

// Renames from to to, replacing a file that already has that name.
bool MoveReplacing(const std::string& from, const std::string& to);

// True when both names lead to the same existing file.
bool SameFile(const std::string& a, const std::string& b);

} // namespace pg::clipmend
