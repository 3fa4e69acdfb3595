#pragma once
// The header list of an AVI file: main header and one header set per stream.
#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend {

constexpr std::size_t MAIN_HEADER_SIZE = 56;
constexpr std::size_t STREAM_HEADER_SIZE = 56;
// Frame duration taken where the headers give none: 25 frames per second.
constexpr std::uint32_t DEFAULT_FRAME_MICROSECONDS = 40000;

// Index fields and sizes: the old index ('idx1'), super indexes ('indx') and standard indexes
// ('ix##'); entry and header sizes leave out the chunk header.
constexpr std::uint32_t AVIIF_KEYFRAME = 0x10;
constexpr std::uint32_t DELTA_FRAME_BIT = 0x80000000u; // in a standard index entry's size
constexpr std::uint8_t INDEX_OF_INDEXES = 0;
constexpr std::uint8_t INDEX_OF_CHUNKS = 1;
constexpr std::uint64_t OLD_INDEX_ENTRY = 16;
constexpr std::uint64_t SUPER_INDEX_HEADER = 24;
constexpr std::uint64_t SUPER_INDEX_ENTRY = 16;
constexpr std::uint64_t STANDARD_INDEX_HEADER = 24;
constexpr std::uint64_t STANDARD_INDEX_ENTRY = 8;

// How a video codec's frames relate to each other, which decides how keyframes are told.
enum class CodecClass {
    Uncompressed, // every frame stands alone
    IntraOnly,    // compressed, but every frame stands alone
    Mpeg4Part2,   // keyframes by the picture header's coding type
    MsMpeg4,      // Microsoft's MPEG-4 variants 2 and 3: picture type in the first two bits
    MsVideo1,     // a frame without skipped blocks stands alone
    Unknown,      // no way to tell: every frame counts as a keyframe
};

inline bool FramesStandAlone(CodecClass codec)
{
    return codec == CodecClass::Uncompressed || codec == CodecClass::IntraOnly;
}

enum class StreamType {
    Video,
    Audio,
    Other,
};

struct StreamHeader
{
    StreamType type = StreamType::Other;
    std::vector<std::uint8_t> strh; // STREAM_HEADER_SIZE bytes
    std::vector<std::uint8_t> strf;
    std::vector<std::uint8_t> strd;
    std::vector<std::uint8_t> strn;
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t start = 0;
    std::uint32_t sampleSize = 0;
    // Video format
    std::uint32_t compression = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 0;
    CodecClass codec = CodecClass::Unknown;
    // Offsets of the standard index chunks the stream's super index lists.
    std::vector<std::uint64_t> indexChunks;
};

struct MainHeader
{
    std::vector<std::uint8_t> avih; // MAIN_HEADER_SIZE bytes
    std::uint32_t microSecPerFrame = 0;
    std::uint32_t flags = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct AviHeaders
{
    MainHeader main;
    std::vector<StreamHeader> streams;
};

CodecClass ClassifyVideoCodec(std::uint32_t compression);

// Parses the payload of the 'hdrl' list (the bytes after its list type). False with a reason
// when there is no main header or no stream.
bool ParseHeaderList(const std::uint8_t* data, std::size_t size, AviHeaders& headers, std::string& error);

} // namespace pg::clipmend
