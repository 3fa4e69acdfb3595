#include "ui/VersionNumbers.h"

#include <climits>

namespace pg {

namespace {

bool IsAtoiBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoi without its undefined overflow: out-of-range values saturate.
int LeadingNumber(const std::string& text, std::size_t pos)
{
    while (pos < text.size() && IsAtoiBlank(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    long long magnitude = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        if (magnitude <= static_cast<long long>(INT_MAX) + 1)
            magnitude = magnitude * 10 + (text[pos] - '0');
    const long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

std::size_t NextSeparator(const std::string& text, std::size_t pos)
{
    const std::size_t comma = text.find(',', pos);
    return comma != std::string::npos ? comma : text.find('.', pos);
}

} // namespace

bool ParseVersionNumbers(const std::string& text, int& first, int& second, int& third, int& fourth)
{
    int* const numbers[] = {&first, &second, &third, &fourth};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) {
            const std::size_t separator = NextSeparator(text, pos);
            if (separator == std::string::npos)
                return false;
            pos = separator + 1;
        }
        *numbers[i] = LeadingNumber(text, pos);
    }
    return true;
}

} // namespace pg
