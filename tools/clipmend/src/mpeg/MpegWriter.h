#pragma once
// Writes the chosen pictures and audio frames as a stream of the input's own kind. A program
// stream is written afresh, each unit in packets of its own, starting with a pack header, the
// system header and the video's sequence header; its times move so that the output starts one
// second in. A transport stream keeps the input's packets wherever they hold only what is
// written, with its times and clock references, and starts with the program tables.
#include "Container.h"
#include "MpegReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend::mpeg {

struct MpegPlan
{
    std::vector<std::size_t> units;   // indices of the salvaged units, in the order written afresh
    std::vector<std::size_t> streams; // written streams, the video first
    std::int64_t origin = 0;          // input time written as OUTPUT_START
};

constexpr std::int64_t OUTPUT_START = CLOCK;
constexpr std::size_t MAX_AUDIO_STREAMS = 6;

// False with a reason when a byte cannot be read or written.
bool WriteMpeg(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
               SourceReader& input, ByteSink& output, std::string& error);
// The transport stream's part of it: the input's packets in their order.
bool CopyTransport(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
                   SourceReader& input, ByteSink& output, std::string& error);

} // namespace pg::clipmend::mpeg
