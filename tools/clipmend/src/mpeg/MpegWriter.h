#pragma once
// Writes the chosen pictures and audio frames as a stream of the input's own kind, keeping the
// input's packets (packs and packets of a program stream, transport packets) wherever they hold
// only what is written, with the input's times and clock references, and packing afresh only
// around what is left out. A program stream starts with the first written pack's header and a
// system header listing the written streams; a transport stream with the program tables.
#include "Container.h"
#include "MpegReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pg::clipmend::mpeg {

struct MpegPlan
{
    std::vector<std::size_t> units;   // indices of the salvaged units written
    std::vector<std::size_t> streams; // written streams, the video first
    // How far past a packet the writing looks at the input and its units.
    std::uint64_t lookAhead = 1 << 20;
};

constexpr std::size_t MAX_AUDIO_STREAMS = 6;

// Writes the plan's units. It may begin while the input is still being read: once the first
// written units are known, with those decided so far, going on as more are decided, and
// finishing once every unit is known.
class MpegCopier
{
public:
    virtual ~MpegCopier() = default;
    // The output's start: false with a reason when nothing can be written.
    virtual bool Begin(std::string& error) = 0;
    // More written units, each after those of its stream so far.
    virtual void Extend(const std::vector<std::size_t>& units) = 0;
    // Copies what lies before upTo, where every unit is known and decided up to the plan's
    // look-ahead beyond it; true while nothing failed.
    virtual bool Advance(std::uint64_t upTo) = 0;
    // Every unit known and decided: writes the rest; false with a reason on failure.
    virtual bool Finish(std::string& error) = 0;
};

// Of the stream's own kind; the plan's streams are the ones written, even those that get units
// only later, and its units the first decided.
std::unique_ptr<MpegCopier> CreateCopier(const MpegSalvage& salvage, const MpegPlan& plan,
                                         const OutputOptions& options, SourceReader& input, ByteSink& output);
std::unique_ptr<MpegCopier> CreateTransportCopier(const MpegSalvage& salvage, const MpegPlan& plan,
                                                  const OutputOptions& options, SourceReader& input,
                                                  ByteSink& output);
std::unique_ptr<MpegCopier> CreateProgramCopier(const MpegSalvage& salvage, const MpegPlan& plan,
                                                const OutputOptions& options, SourceReader& input,
                                                ByteSink& output);

// All at once: false with a reason when a byte cannot be read or written.
bool WriteMpeg(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
               SourceReader& input, ByteSink& output, std::string& error);

} // namespace pg::clipmend::mpeg
