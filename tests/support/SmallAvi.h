#pragma once
// Small uncompressed AVI files made by the tests themselves: 32-bit pixels (drawn without any
// codec), one video stream, every frame a key frame, an idx1 index at the end.
#include <cstdint>
#include <initializer_list>
#include <string>

namespace pgtest {

struct SmallAvi
{
    std::uint32_t width = 64;
    std::uint32_t height = 48;
    std::uint32_t framesPerSecond = 10;
    std::uint32_t frames = 20;
};

namespace avi_detail {

// Little-endian fields; `bits` is 32 or 16 for all of them.
inline std::string Fields(std::initializer_list<std::uint32_t> values, int bits = 32)
{
    std::string out;
    for (const std::uint32_t value : values)
        for (int shift = 0; shift < bits; shift += 8)
            out.push_back(static_cast<char>((value >> shift) & 0xFF));
    return out;
}

inline std::string Chunk(const char* id, const std::string& data)
{
    return std::string(id, 4) + Fields({static_cast<std::uint32_t>(data.size())}) + data +
           std::string(data.size() % 2, '\0');
}

} // namespace avi_detail

// The bytes of a whole AVI file; frame n is filled with a colour of its own.
inline std::string SmallAviBytes(const SmallAvi& avi)
{
    using avi_detail::Chunk;
    using avi_detail::Fields;
    const std::uint32_t frameBytes = avi.width * avi.height * 4;
    const std::string mainHeader =
        Fields({1000000 / avi.framesPerSecond, frameBytes * avi.framesPerSecond, 0, 0x10 /* AVIF_HASINDEX */,
                avi.frames, 0, 1, frameBytes, avi.width, avi.height, 0, 0, 0, 0});
    const std::string streamHeader =
        "vids" + Fields({0, 0, 0, 0, 1, avi.framesPerSecond, 0, avi.frames, frameBytes, 0xFFFFFFFF, 0}) +
        Fields({0, 0, avi.width, avi.height}, 16);
    const std::string format = Fields({40, avi.width, avi.height}) + Fields({1, 32}, 16) +
                               Fields({0 /* BI_RGB */, frameBytes, 0, 0, 0, 0});
    const std::string headers =
        Chunk("LIST", "hdrl" + Chunk("avih", mainHeader) +
                          Chunk("LIST", "strl" + Chunk("strh", streamHeader) + Chunk("strf", format)));

    std::string movie = "movi";
    std::string index;
    for (std::uint32_t frame = 0; frame < avi.frames; ++frame) {
        // Offsets count from the "movi" type.
        index += "00db" +
                 Fields({0x10 /* AVIIF_KEYFRAME */, static_cast<std::uint32_t>(movie.size()), frameBytes});
        std::string pixels;
        const std::string pixel = Fields({0x00102030u + frame * 0x000A0C0Eu});
        for (std::uint32_t i = 0; i < avi.width * avi.height; ++i)
            pixels += pixel;
        movie += Chunk("00db", pixels);
    }
    return Chunk("RIFF", "AVI " + headers + Chunk("LIST", movie) + Chunk("idx1", index));
}

// The start of a file as an unfinished download holds it: the headers and the first frames that
// arrived, no index; the headers still count every frame.
inline std::string CutShort(const std::string& aviBytes, std::size_t keptBytes)
{
    return aviBytes.substr(0, keptBytes);
}

} // namespace pgtest
