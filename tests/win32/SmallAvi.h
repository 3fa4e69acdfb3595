#pragma once
// Small uncompressed AVI files made by the tests themselves: 32-bit pixels (drawn directly, no
// codec involved), one video stream, every frame a key frame, an idx1 index at the end.
#include <cstdint>
#include <string>

namespace pgtest {

struct SmallAvi
{
    int width = 64;
    int height = 48;
    int framesPerSecond = 10;
    int frames = 20;
};

namespace avi_detail {

inline void PutU32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

inline void PutU16(std::string& out, std::uint16_t value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

inline std::string Chunk(const char* id, const std::string& data)
{
    std::string out(id, 4);
    PutU32(out, static_cast<std::uint32_t>(data.size()));
    out += data;
    if (data.size() % 2)
        out.push_back('\0');
    return out;
}

inline std::string List(const char* type, const std::string& body)
{
    return Chunk("LIST", std::string(type, 4) + body);
}

} // namespace avi_detail

// The bytes of a whole AVI file: frame n is filled with a colour that changes with n.
inline std::string SmallAviBytes(const SmallAvi& avi)
{
    using namespace avi_detail;
    const std::uint32_t frameBytes = static_cast<std::uint32_t>(avi.width * avi.height * 4);

    std::string mainHeader;
    PutU32(mainHeader, 1000000u / static_cast<std::uint32_t>(avi.framesPerSecond));
    PutU32(mainHeader, frameBytes * static_cast<std::uint32_t>(avi.framesPerSecond));
    PutU32(mainHeader, 0);
    PutU32(mainHeader, 0x10); // AVIF_HASINDEX
    PutU32(mainHeader, static_cast<std::uint32_t>(avi.frames));
    PutU32(mainHeader, 0);
    PutU32(mainHeader, 1);
    PutU32(mainHeader, frameBytes);
    PutU32(mainHeader, static_cast<std::uint32_t>(avi.width));
    PutU32(mainHeader, static_cast<std::uint32_t>(avi.height));
    for (int i = 0; i < 4; ++i)
        PutU32(mainHeader, 0);

    std::string streamHeader = "vids";
    PutU32(streamHeader, 0); // no handler: uncompressed
    PutU32(streamHeader, 0);
    PutU16(streamHeader, 0);
    PutU16(streamHeader, 0);
    PutU32(streamHeader, 0);
    PutU32(streamHeader, 1);
    PutU32(streamHeader, static_cast<std::uint32_t>(avi.framesPerSecond));
    PutU32(streamHeader, 0);
    PutU32(streamHeader, static_cast<std::uint32_t>(avi.frames));
    PutU32(streamHeader, frameBytes);
    PutU32(streamHeader, 0xFFFFFFFFu);
    PutU32(streamHeader, 0);
    PutU16(streamHeader, 0);
    PutU16(streamHeader, 0);
    PutU16(streamHeader, static_cast<std::uint16_t>(avi.width));
    PutU16(streamHeader, static_cast<std::uint16_t>(avi.height));

    std::string format;
    PutU32(format, 40);
    PutU32(format, static_cast<std::uint32_t>(avi.width));
    PutU32(format, static_cast<std::uint32_t>(avi.height));
    PutU16(format, 1);
    PutU16(format, 32);
    PutU32(format, 0); // BI_RGB
    PutU32(format, frameBytes);
    for (int i = 0; i < 4; ++i)
        PutU32(format, 0);

    const std::string headers =
        List("hdrl",
             Chunk("avih", mainHeader) + List("strl", Chunk("strh", streamHeader) + Chunk("strf", format)));

    std::string movie = "movi";
    std::string index;
    for (int frame = 0; frame < avi.frames; ++frame) {
        std::string pixels;
        pixels.reserve(frameBytes);
        const std::uint32_t colour = 0x00102030u + static_cast<std::uint32_t>(frame) * 0x000A0C0Eu;
        for (std::uint32_t i = 0; i < frameBytes / 4; ++i)
            PutU32(pixels, colour);
        PutU32(index, 0x62643030u);                              // "00db"
        PutU32(index, 0x10);                                     // AVIIF_KEYFRAME
        PutU32(index, static_cast<std::uint32_t>(movie.size())); // from the "movi" type
        PutU32(index, frameBytes);
        movie += Chunk("00db", pixels);
    }
    return Chunk("RIFF", "AVI " + headers + Chunk("LIST", movie) + Chunk("idx1", index));
}

// The start of an AVI file as an unfinished download holds it: the headers and the first frames
// that arrived, the rest (and the index) missing. The sizes in the headers still count them.
inline std::string CutShort(const std::string& aviBytes, std::size_t keptBytes)
{
    return aviBytes.substr(0, keptBytes < aviBytes.size() ? keptBytes : aviBytes.size());
}

} // namespace pgtest
