#pragma once
// Reads a Matroska or WebM file as a partial download leaves it: the headers and track list,
// then every block of the video and audio tracks that can still be found in the clusters,
// skipping damaged regions and picking up the blocks after them.
#include "Container.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend {

constexpr std::uint64_t TRACK_VIDEO = 1;
constexpr std::uint64_t TRACK_AUDIO = 2;

// Flags of a block as a SimpleBlock holds them.
constexpr std::uint8_t BLOCK_KEY = 0x80;
constexpr std::uint8_t BLOCK_INVISIBLE = 0x08;
constexpr std::uint8_t BLOCK_LACING = 0x06;
constexpr std::uint8_t BLOCK_DISCARDABLE = 0x01;

struct MatroskaTrack
{
    std::uint64_t number = 0;
    std::uint64_t type = 0;
    std::uint64_t defaultDuration = 0; // nanoseconds, 0 when the track gives none
    std::vector<std::uint8_t> entry;   // the TrackEntry element as stored
};

struct MatroskaBlock
{
    std::uint64_t offset = 0;     // of the frame data, after the block header
    std::uint32_t size = 0;       // of the frame data, lacing included
    std::uint32_t track = 0;      // index into the tracks
    std::int64_t time = 0;        // in timestamp units
    std::int64_t clusterTime = 0; // of the input's cluster that holds the block
    std::int64_t duration = 0;    // in timestamp units, 0 when the block gives none
    std::uint8_t flags = 0;       // as a SimpleBlock's; a group's block is a keyframe without references
    // Count of damaged regions before the block: where it changes, decoding starts afresh.
    std::uint32_t run = 0;
};

struct MatroskaSalvage
{
    std::string docType;
    std::uint64_t docTypeVersion = 1;
    std::uint64_t docTypeReadVersion = 1;
    std::uint64_t timestampScale = 1'000'000; // nanoseconds per timestamp unit
    std::vector<MatroskaTrack> tracks;
    std::vector<MatroskaBlock> blocks; // of the video and audio tracks, in file order
    DamageReport report;               // the pieces dropped are blocks
};

// False with a one-line reason when the file is no Matroska or WebM file or has no track list.
bool SalvageMatroska(SourceReader& reader, const SalvageOptions& options, MatroskaSalvage& result,
                     std::string& error);

} // namespace pg::clipmend
