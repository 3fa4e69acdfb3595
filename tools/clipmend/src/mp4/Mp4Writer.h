#pragma once
// Writes the chosen samples as a fresh MP4 or QuickTime file that players can start at once:
// the input's file type, then the index (moov) describing exactly the written samples, then
// one box of movie data.
#include "Container.h"
#include "Mp4Reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend {

struct Mp4Plan
{
    std::vector<std::size_t> samples; // indices of the salvaged samples to write, in file order
    std::vector<std::size_t> tracks;  // indices of the tracks to write, in the input's order
    std::size_t videoTrack = 0;
};

// False with a reason when a byte cannot be read or written.
bool WriteMp4(const Mp4Salvage& salvage, const Mp4Plan& plan, const OutputOptions& options,
              SourceReader& input, ByteSink& output, std::string& error);

} // namespace pg::clipmend
