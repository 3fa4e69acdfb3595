#pragma once
// Writes the chosen chunks as a fresh AVI file: one RIFF segment with an old-style index
// while everything fits, further segments with per-segment indexes beyond that.
#include "AviHeaders.h"
#include "FileIo.h"
#include "Selection.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pg::clipmend {

// Size limit of one RIFF segment, its header included: the classic AVI limit.
constexpr std::uint64_t RIFF_LIMIT = 1ull << 30;

struct WriterOptions
{
    std::uint64_t riffLimit = RIFF_LIMIT;
    // Frame size for the main header and the video stream's frame rectangle; 0 keeps the input's.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // Told after each written video frame (frames done, frames in all).
    std::function<void(std::uint64_t, std::uint64_t)> progress;
};

struct SegmentPlan
{
    std::size_t firstChunk = 0;
    std::size_t endChunk = 0;
    std::uint64_t riffOffset = 0;
    std::uint64_t riffSize = 0;              // size field of the RIFF header
    std::uint64_t moviOffset = 0;            // of the 'movi' list type
    std::uint64_t moviSize = 0;              // size field of the movie list
    std::vector<std::uint32_t> entries;      // per written stream: chunks in this segment
    std::vector<std::uint64_t> indexOffsets; // per written stream: its standard index, 0 when none
    std::vector<std::uint64_t> durations;    // per written stream: stream units in this segment
};

struct AviLayout
{
    bool extended = false;          // more than one segment, with the extended indexes
    std::uint32_t indexReserve = 0; // super index entries reserved per stream
    std::vector<SegmentPlan> segments;
    std::uint64_t totalSize = 0;
};

// Sizes and places of everything the writer puts out, worked out before the first byte.
AviLayout PlanLayout(const AviHeaders& headers, const Selection& selection, const WriterOptions& options);

// False with a reason when a byte cannot be read or written.
bool WriteAvi(const AviHeaders& headers, const Selection& selection, const WriterOptions& options,
              SourceReader& input, ByteSink& output, std::string& error);

} // namespace pg::clipmend
