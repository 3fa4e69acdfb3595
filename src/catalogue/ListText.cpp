#include "catalogue/ListText.h"

#include "catalogue/DecimalText.h"
#include "framework/Text.h"

namespace pg {

std::string SizeText(std::uint64_t size)
{
    constexpr std::uint64_t KILO = 1024;
    constexpr std::uint64_t MEGA = KILO * 1024;
    constexpr std::uint64_t GIGA = MEGA * 1024;
    const double bytes = static_cast<double>(size);
    if (size < KILO)
        return fw::Format("%d   B", static_cast<int>(size));
    if (size < MEGA)
        return FormatFixed(bytes * (1.0 / KILO), 2, 3) + " KB";
    if (size < GIGA)
        return FormatFixed(bytes * (1.0 / MEGA), 2, 3) + " MB";
    return FormatFixed(bytes * (1.0 / GIGA), 2, 1) + " GB";
}

std::string PercentText(float percent)
{
    return FormatFixed(percent, 0);
}

std::string Trim(const std::string& text)
{
    constexpr const char* WHITE_SPACE = " \t\n\r\v\f";
    const std::size_t first = text.find_first_not_of(WHITE_SPACE);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(WHITE_SPACE) - first + 1);
}

std::vector<std::string> SplitPatterns(const std::string& patterns)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = patterns.find(';', start);
        std::string piece = Trim(patterns.substr(start, end == std::string::npos ? end : end - start));
        if (!piece.empty())
            pieces.push_back(std::move(piece));
        if (end == std::string::npos)
            return pieces;
        start = end + 1;
    }
}

} // namespace pg
