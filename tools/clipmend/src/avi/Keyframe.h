#pragma once
// Tells from a video frame's bytes whether it decodes on its own.
#include "AviHeaders.h"

#include <cstddef>
#include <cstdint>

namespace pg::clipmend {

enum class FrameKind {
    Key,
    Delta,
    Unknown,
};

// MPEG-4 Part 2: the coding type of the first picture (VOP) header; intra pictures are keys.
FrameKind DetectMpeg4Part2(const std::uint8_t* data, std::size_t size, bool complete);

// Microsoft MPEG-4 versions 2 and 3: the picture type in the frame's first two bits.
FrameKind DetectMsMpeg4(const std::uint8_t* data, std::size_t size);

// Microsoft Video 1: a frame that skips no block repaints the whole picture.
FrameKind DetectMsVideo1(const std::uint8_t* data, std::size_t size, std::int32_t width, std::int32_t height,
                         std::uint16_t bitCount);

// How many leading bytes of a frame of frameSize bytes the stream's detector looks at.
std::size_t DetectionBytes(const StreamHeader& stream, std::uint32_t frameSize);

// Whether a frame counts as a keyframe when no index says so: data holds the frame's first
// DetectionBytes bytes (or fewer, when they could not be read), frameSize is its full size.
bool IsKeyframe(const StreamHeader& stream, const std::uint8_t* data, std::size_t size,
                std::uint32_t frameSize);

} // namespace pg::clipmend
