#pragma once
// Writes the chosen pictures and audio frames as a stream of the input's own kind, keeping the
// input's packets (packs and packets of a program stream, transport packets) wherever they hold
// only what is written, with the input's times and clock references, and packing afresh only
// around what is left out. A program stream starts with the first written pack's header and a
// system header listing the written streams; a transport stream with the program tables.
#include "Container.h"
#include "MpegReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend::mpeg {

struct MpegPlan
{
    std::vector<std::size_t> units;   // indices of the salvaged units written
    std::vector<std::size_t> streams; // written streams, the video first
};

constexpr std::size_t MAX_AUDIO_STREAMS = 6;

// False with a reason when a byte cannot be read or written.
bool WriteMpeg(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
               SourceReader& input, ByteSink& output, std::string& error);
// Its two parts, one for each kind of stream.
bool CopyTransport(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
                   SourceReader& input, ByteSink& output, std::string& error);
bool CopyProgram(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
                 SourceReader& input, ByteSink& output, std::string& error);

} // namespace pg::clipmend::mpeg
