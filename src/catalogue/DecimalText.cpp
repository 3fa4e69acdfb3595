#include "catalogue/DecimalText.h"

#include "framework/Text.h"

#include <cmath>
#include <cstdint>

namespace pg {

std::string FormatFixed(double value, int precision, int width)
{
    // value * 10^p lies exactly halfway between two integers only when value is an odd multiple
    // of 2^-(p+1): 10^p = 2^p * 5^p, and a double is a binary fraction. Scaling by a power of two
    // is exact, so the test needs no decimal arithmetic. Doubles of 2^53 and more are even integers.
    const double scaled = std::ldexp(std::fabs(value), precision + 1);
    if (!(scaled < 9007199254740992.0) || std::floor(scaled) != scaled || std::fmod(scaled, 2.0) != 1.0)
        return fw::Format("%*.*f", width, precision, value);

    std::uint64_t power = 1;
    std::uint64_t five = 1;
    for (int i = 0; i < precision; ++i) {
        power *= 10;
        five *= 5;
    }
    // |value| * 10^p = scaled * 5^p / 2, which is n + 1/2; away from zero gives n + 1.
    const std::uint64_t rounded = (static_cast<std::uint64_t>(scaled) * five + 1) / 2;

    std::string text = value < 0 ? "-" : "";
    text += std::to_string(rounded / power);
    if (precision > 0) {
        const std::string fraction = std::to_string(rounded % power);
        text += '.';
        text.append(static_cast<std::size_t>(precision) - fraction.size(), '0');
        text += fraction;
    }
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    return text;
}

} // namespace pg
