#include "Keyframe.h"

#include "ByteOrder.h"

#include <algorithm>
#include <cstdlib>

namespace pg::clipmend {

namespace {

constexpr std::uint8_t VOP_START_CODE = 0xB6;
constexpr std::size_t MPEG4_SEARCH_BYTES = 16 * 1024;
constexpr std::size_t MSVIDEO1_MAX_BYTES = 1 << 20;

} // namespace

FrameKind DetectMpeg4Part2(const std::uint8_t* data, std::size_t size, bool complete)
{
    for (std::size_t i = 0; i + 4 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == VOP_START_CODE)
            return (data[i + 4] >> 6) == 0 ? FrameKind::Key : FrameKind::Delta;
    }
    // A whole frame without a picture (a dropped frame) cannot start playback.
    return complete ? FrameKind::Delta : FrameKind::Unknown;
}

FrameKind DetectMsMpeg4(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return FrameKind::Delta;
    return (data[0] >> 6) == 0 ? FrameKind::Key : FrameKind::Delta;
}

FrameKind DetectMsVideo1(const std::uint8_t* data, std::size_t size, std::int32_t width, std::int32_t height,
                         std::uint16_t bitCount)
{
    if (bitCount != 8 && bitCount != 16 && bitCount != 15)
        return FrameKind::Unknown;
    const bool paletted = bitCount == 8;
    const std::uint64_t blocks = static_cast<std::uint64_t>(std::abs(static_cast<long long>(width)) / 4) *
                                 static_cast<std::uint64_t>(std::abs(static_cast<long long>(height)) / 4);
    if (blocks == 0)
        return FrameKind::Unknown;
    std::size_t pos = 0;
    for (std::uint64_t block = 0; block < blocks; ++block) {
        // Running out of data leaves the rest of the picture from the frame before.
        if (size - pos < 2)
            return FrameKind::Delta;
        const std::uint8_t b = data[pos + 1];
        pos += 2;
        if ((b & 0xFC) == 0x84)
            return FrameKind::Delta; // skip code
        std::size_t colours = 0;
        if (b < 0x80) {
            colours = paletted ? 2 : 4;
            // In 16-bit frames the top bit of the first colour asks for eight colours.
            if (!paletted && size - pos >= 2 && (Load16(data + pos) & 0x8000) != 0)
                colours = 16;
        } else if (paletted && b >= 0x90) {
            colours = 8;
        }
        if (size - pos < colours)
            return FrameKind::Delta;
        pos += colours;
    }
    return FrameKind::Key;
}

std::size_t DetectionBytes(const StreamHeader& stream, std::uint32_t frameSize)
{
    switch (stream.codec) {
    case CodecClass::Mpeg4Part2:
        return std::min<std::size_t>(frameSize, MPEG4_SEARCH_BYTES);
    case CodecClass::MsMpeg4:
        return std::min<std::size_t>(frameSize, 1);
    case CodecClass::MsVideo1:
        return std::min<std::size_t>(frameSize, MSVIDEO1_MAX_BYTES);
    default:
        return 0;
    }
}

bool IsKeyframe(const StreamHeader& stream, const std::uint8_t* data, std::size_t size,
                std::uint32_t frameSize)
{
    if (frameSize == 0)
        return false; // a dropped frame repeats the one before
    if (FramesStandAlone(stream.codec))
        return true;
    FrameKind kind = FrameKind::Unknown;
    switch (stream.codec) {
    case CodecClass::Mpeg4Part2:
        kind = DetectMpeg4Part2(data, size, size == frameSize);
        break;
    case CodecClass::MsMpeg4:
        kind = DetectMsMpeg4(data, size);
        break;
    case CodecClass::MsVideo1:
        kind = size == frameSize ? DetectMsVideo1(data, size, stream.width, stream.height, stream.bitCount)
                                 : FrameKind::Unknown;
        break;
    default:
        break;
    }
    return kind != FrameKind::Delta;
}

} // namespace pg::clipmend
