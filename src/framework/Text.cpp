#include "framework/Text.h"

#include <cctype>
#include <cstdio>
#include <limits>

namespace fw {

void AppendFormatV(std::string& text, const char* format, va_list args)
{
    // Most texts fit the stack buffer and take one formatting pass.
    char piece[256];
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(piece, sizeof piece, format, args);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof piece) {
        text.append(piece, static_cast<std::size_t>(length));
    } else if (length > 0) {
        const std::size_t start = text.size();
        text.resize(start + static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data() + start, static_cast<std::size_t>(length) + 1, format, again);
        text.resize(start + static_cast<std::size_t>(length));
    }
    va_end(again);
}

std::string FormatV(const char* format, va_list args)
{
    std::string text;
    AppendFormatV(text, format, args);
    return text;
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

bool ParseInt32(const std::string& text, std::int32_t& value)
{
    std::size_t pos = 0;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    const std::size_t digitsStart = pos;
    std::int64_t magnitude = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            return false;
        ++pos;
    }
    if (pos == digitsStart)
        return false;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos != text.size())
        return false;
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

std::string FileFilterFromBars(const std::string& barFilter)
{
    std::string filter = barFilter;
    for (char& c : filter)
        if (c == '|')
            c = '\0';
    filter += '\0';
    return filter;
}

std::string Right(const std::string& text, std::size_t n)
{
    return text.size() <= n ? text : text.substr(text.size() - n);
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace fw
