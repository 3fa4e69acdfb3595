#pragma once
// Writes the chosen pictures and audio frames as a fresh stream of the input's own kind, each
// unit in packets of its own. A program stream starts with a pack header, the system header and
// the video's sequence header; a transport stream with the program tables, and its clock
// references ride on the video. Times move so that the output starts one second in.
#include "Container.h"
#include "MpegReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend::mpeg {

struct MpegPlan
{
    std::vector<std::size_t> units;   // indices of the salvaged units, in the order written
    std::vector<std::size_t> streams; // written streams, the video first
    std::int64_t origin = 0;          // input time written as OUTPUT_START
};

constexpr std::int64_t OUTPUT_START = CLOCK;
constexpr std::size_t MAX_AUDIO_STREAMS = 6;

// False with a reason when a byte cannot be read or written.
bool WriteMpeg(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
               SourceReader& input, ByteSink& output, std::string& error);

} // namespace pg::clipmend::mpeg
