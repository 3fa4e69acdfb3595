#pragma once
// Reads an AVI file as a partial download leaves it: the headers, then every stream chunk
// that can still be found, skipping damaged regions and picking up the chunks after them.
#include "AviHeaders.h"
#include "Container.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend {

// Two-character chunk type codes, as they stand in the chunk id after the stream number.
constexpr std::uint16_t SUFFIX_DC = 'd' | 'c' << 8; // compressed video
constexpr std::uint16_t SUFFIX_DB = 'd' | 'b' << 8; // uncompressed video
constexpr std::uint16_t SUFFIX_WB = 'w' | 'b' << 8; // audio

// Largest stream chunk taken as genuine: a size field above it is damage.
constexpr std::uint32_t MAX_CHUNK_SIZE = 256u << 20;

struct FoundChunk
{
    std::uint64_t offset = 0; // of the chunk header
    std::uint32_t size = 0;   // of the data after the header
    std::uint16_t stream = 0;
    std::uint16_t suffix = 0;
    // Count of damaged regions before the chunk: where it changes, decoding starts afresh.
    std::uint32_t run = 0;
    bool key = false;
};

struct SalvageReport : DamageReport
{
    bool indexUsed = false; // keyframe flags came from the file's own index
};

struct Salvage
{
    AviHeaders headers;
    std::vector<FoundChunk> chunks; // video frames and audio data, in file order
    SalvageReport report;
};

// False with a one-line reason when the file is no AVI or its headers cannot be read.
bool SalvageAvi(SourceReader& reader, const SalvageOptions& options, Salvage& result, std::string& error);

} // namespace pg::clipmend
