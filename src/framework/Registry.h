#pragma once
// Reading registry values as 8-bit text.
#include <windows.h>

#include <string>

namespace fw {

// The value's bytes as text up to the first zero byte, whatever its type (a value without a zero
// byte is taken whole); false, with `text` empty, when the value cannot be read. `type`, when
// given, receives the value's type.
bool QueryValueText(HKEY key, const char* valueName, std::string& text, DWORD* type = nullptr);

} // namespace fw
