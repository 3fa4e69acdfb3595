#pragma once
// Writes the chosen blocks as a fresh Matroska or WebM file of the input's own kind: file
// header, a segment of known size with a seek head, the segment information with the real
// duration, the kept tracks as the input describes them, clusters, and cues that point at
// every video keyframe so that players can seek.
#include "Container.h"
#include "MatroskaReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend {

struct MatroskaPlan
{
    std::vector<std::size_t> blocks; // indices of the salvaged blocks to write, in file order
    std::vector<std::size_t> tracks; // indices of the tracks to write, in the input's order
    std::size_t videoTrack = 0;      // index of the video track
    std::int64_t origin = 0;         // input time that becomes time 0
    std::int64_t end = 0;            // input time when the last written block is over
};

// False with a reason when a byte cannot be read or written.
bool WriteMatroska(const MatroskaSalvage& salvage, const MatroskaPlan& plan, const OutputOptions& options,
                   SourceReader& input, ByteSink& output, std::string& error);

} // namespace pg::clipmend
