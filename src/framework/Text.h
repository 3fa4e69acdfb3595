#pragma once
// 8-bit text helpers of the framework layer that need no window.
#include <cstdarg>
#include <cstdint>
#include <string>

namespace fw {

// printf-style formatting into a string; short texts take one formatting pass.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string FormatV(const char* format, va_list args);
// Appends the formatted text to `text`.
void AppendFormatV(std::string& text, const char* format, va_list args);

// Reads a field of the data exchange as a signed 32-bit decimal number: blanks around it,
// an optional sign and at least one digit; anything else, or a value out of range, fails.
bool ParseInt32(const std::string& text, std::int32_t& value);

// Turns the "|"-separated file-dialog filter notation into the zero-separated list the
// system's file dialog expects (descriptions and patterns alternate; "||" ends the list).
std::string FileFilterFromBars(const std::string& barFilter);

// Last n bytes of a text, or the whole text when it is shorter.
std::string Right(const std::string& text, std::size_t n);

// Case-insensitive comparison of two texts (ASCII letters), like the runtime's _mbsicmp.
bool EqualsNoCase(const std::string& a, const std::string& b);

} // namespace fw
