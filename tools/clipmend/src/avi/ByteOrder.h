#pragma once
// Little-endian fields and four-character codes of RIFF files.
#include <cstdint>

namespace pg::clipmend {

constexpr std::uint32_t FourCC(char a, char b, char c, char d)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

constexpr std::uint32_t FourCC(const char (&text)[5])
{
    return FourCC(text[0], text[1], text[2], text[3]);
}

inline std::uint16_t Load16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t Load32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t Load64(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(Load32(p)) | static_cast<std::uint64_t>(Load32(p + 4)) << 32;
}

inline void Store16(std::uint8_t* p, std::uint32_t value)
{
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void Store32(std::uint8_t* p, std::uint32_t value)
{
    Store16(p, value & 0xFFFF);
    Store16(p + 2, value >> 16);
}

inline void Store64(std::uint8_t* p, std::uint64_t value)
{
    Store32(p, static_cast<std::uint32_t>(value));
    Store32(p + 4, static_cast<std::uint32_t>(value >> 32));
}

// RIFF data is padded to an even length.
constexpr std::uint64_t Padded(std::uint64_t size)
{
    return size + (size & 1);
}

} // namespace pg::clipmend
