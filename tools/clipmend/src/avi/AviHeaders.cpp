#include "AviHeaders.h"

#include "ByteOrder.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace pg::clipmend {

namespace {

constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_BITFIELDS = 3;
constexpr std::size_t BITMAP_INFO_SIZE = 40;

std::uint32_t UpperCode(std::uint32_t code)
{
    std::uint32_t upper = 0;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(code >> (8 * i));
        upper |= static_cast<std::uint32_t>(std::toupper(c)) << (8 * i);
    }
    return upper;
}

template <std::size_t N> bool OneOf(std::uint32_t code, const std::array<const char*, N>& names)
{
    return std::any_of(names.begin(), names.end(),
                       [code](const char* n) { return code == FourCC(n[0], n[1], n[2], n[3]); });
}

// Calls visit(id, payload, size) for each sub-chunk that lies wholly inside the data.
template <typename Visit> void ForEachChunk(const std::uint8_t* data, std::size_t size, Visit visit)
{
    std::size_t pos = 0;
    while (size - pos >= 8) {
        const std::uint32_t id = Load32(data + pos);
        const std::uint32_t length = Load32(data + pos + 4);
        if (length > size - pos - 8)
            break;
        visit(id, data + pos + 8, static_cast<std::size_t>(length));
        pos += 8 + static_cast<std::size_t>(Padded(length));
        if (pos > size)
            break;
    }
}

std::vector<std::uint8_t> Bytes(const std::uint8_t* data, std::size_t size)
{
    return std::vector<std::uint8_t>(data, data + size);
}

void ReadSuperIndex(const std::uint8_t* p, std::size_t size, StreamHeader& stream)
{
    if (size < SUPER_INDEX_HEADER || Load16(p) != 4 || p[3] != INDEX_OF_INDEXES)
        return;
    const std::uint32_t entries = Load32(p + 4);
    for (std::uint64_t i = 0; i < entries && SUPER_INDEX_HEADER + (i + 1) * SUPER_INDEX_ENTRY <= size; ++i) {
        const std::uint64_t offset = Load64(p + SUPER_INDEX_HEADER + i * SUPER_INDEX_ENTRY);
        if (offset != 0)
            stream.indexChunks.push_back(offset);
    }
}

bool ParseStreamList(const std::uint8_t* data, std::size_t size, StreamHeader& stream)
{
    bool haveHeader = false;
    ForEachChunk(data, size, [&](std::uint32_t id, const std::uint8_t* p, std::size_t length) {
        if (id == FourCC("strh") && length >= 48 && !haveHeader) {
            haveHeader = true;
            stream.strh = Bytes(p, std::min(length, STREAM_HEADER_SIZE));
            stream.strh.resize(STREAM_HEADER_SIZE);
        } else if (id == FourCC("strf")) {
            stream.strf = Bytes(p, length);
        } else if (id == FourCC("strd")) {
            stream.strd = Bytes(p, length);
        } else if (id == FourCC("strn")) {
            stream.strn = Bytes(p, length);
        } else if (id == FourCC("indx")) {
            ReadSuperIndex(p, length, stream);
        }
    });
    if (!haveHeader)
        return false;
    const std::uint8_t* h = stream.strh.data();
    const std::uint32_t type = Load32(h);
    stream.type = type == FourCC("vids")   ? StreamType::Video
                  : type == FourCC("auds") ? StreamType::Audio
                                           : StreamType::Other;
    stream.scale = Load32(h + 20);
    stream.rate = Load32(h + 24);
    stream.start = Load32(h + 28);
    stream.sampleSize = Load32(h + 44);
    if (stream.type == StreamType::Video && stream.strf.size() >= BITMAP_INFO_SIZE) {
        const std::uint8_t* f = stream.strf.data();
        stream.width = static_cast<std::int32_t>(Load32(f + 4));
        stream.height = static_cast<std::int32_t>(Load32(f + 8));
        stream.bitCount = Load16(f + 14);
        stream.compression = Load32(f + 16);
        stream.codec = ClassifyVideoCodec(stream.compression);
    }
    return true;
}

} // namespace

CodecClass ClassifyVideoCodec(std::uint32_t compression)
{
    static const std::array<const char*, 14> uncompressed = {"DIB ", "RAW ", "RGB ", "RGBA", "YUY2",
                                                             "UYVY", "YVYU", "YV12", "I420", "IYUV",
                                                             "Y800", "Y8  ", "V210", "BGR "};
    static const std::array<const char*, 26> intraOnly = {
        "MJPG", "AVRN", "DMB1", "AVDJ", "JPGL", "LJPG", "MJLS", "JPEG", "DVSD",
        "DVHD", "DVSL", "DV25", "DV50", "CDVC", "HFYU", "FFVH", "MPNG", "PNG1",
        "LAGS", "MSZH", "ZLIB", "ULRG", "ULRA", "ULY0", "ULY2", "ULH0"};
    static const std::array<const char*, 17> mpeg4 = {"DIVX", "DX50", "XVID", "FMP4", "MP4V", "M4S2",
                                                      "3IV2", "DIVF", "BLZ0", "DXGM", "RMP4", "SEDG",
                                                      "WV1F", "XVIX", "UMP4", "MP4S", "DX40"};
    static const std::array<const char*, 10> msMpeg4 = {"MP42", "DIV2", "DIV3", "MP43", "DIV4",
                                                        "DIV5", "DIV6", "AP41", "COL1", "MPG3"};
    static const std::array<const char*, 3> msVideo1 = {"CRAM", "MSVC", "WHAM"};

    if (compression == BI_RGB || compression == BI_BITFIELDS)
        return CodecClass::Uncompressed;
    const std::uint32_t code = UpperCode(compression);
    if (OneOf(code, uncompressed))
        return CodecClass::Uncompressed;
    if (OneOf(code, intraOnly))
        return CodecClass::IntraOnly;
    if (OneOf(code, mpeg4))
        return CodecClass::Mpeg4Part2;
    if (OneOf(code, msMpeg4))
        return CodecClass::MsMpeg4;
    if (OneOf(code, msVideo1))
        return CodecClass::MsVideo1;
    return CodecClass::Unknown;
}

bool ParseHeaderList(const std::uint8_t* data, std::size_t size, AviHeaders& headers, std::string& error)
{
    headers = AviHeaders{};
    bool haveMain = false;
    ForEachChunk(data, size, [&](std::uint32_t id, const std::uint8_t* p, std::size_t length) {
        if (id == FourCC("avih") && length >= 40 && !haveMain) {
            haveMain = true;
            headers.main.avih = Bytes(p, std::min(length, MAIN_HEADER_SIZE));
            headers.main.avih.resize(MAIN_HEADER_SIZE);
        } else if (id == FourCC("LIST") && length >= 4 && Load32(p) == FourCC("strl")) {
            StreamHeader stream;
            if (ParseStreamList(p + 4, length - 4, stream))
                headers.streams.push_back(std::move(stream));
        }
    });
    if (!haveMain) {
        error = "the main header is missing";
        return false;
    }
    if (headers.streams.empty()) {
        error = "no stream header";
        return false;
    }
    const std::uint8_t* m = headers.main.avih.data();
    headers.main.microSecPerFrame = Load32(m);
    headers.main.flags = Load32(m + 12);
    headers.main.width = static_cast<std::int32_t>(Load32(m + 32));
    headers.main.height = static_cast<std::int32_t>(Load32(m + 36));
    return true;
}

} // namespace pg::clipmend
