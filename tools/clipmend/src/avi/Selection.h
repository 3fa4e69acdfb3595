#pragma once
// What goes into a written AVI file: the span chosen among the first video stream's frames and
// the audio chunks, and the streams renumbered for the output.
#include "Salvage.h"
#include "Span.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend {

struct PlannedChunk
{
    std::uint64_t dataOffset = 0; // in the input
    std::uint32_t size = 0;
    std::uint16_t outStream = 0;
    std::uint16_t suffix = 0;
    bool key = false;
};

struct Selection
{
    std::vector<std::size_t> inputStreams; // input stream of each written stream
    std::size_t videoStream = 0;           // written stream number of the video
    std::vector<PlannedChunk> chunks;      // in input file order
    std::uint64_t usableFrames = 0;        // frames that decode, before the span is cut
    std::uint64_t undecodableFrames = 0;   // delta frames after damage, before the next keyframe
    std::uint64_t firstFrame = 0;          // 1-based numbers of the written frames
    std::uint64_t lastFrame = 0;
    std::uint64_t frames = 0;
};

// False with a one-line reason when no frame can be written.
bool SelectSpan(const Salvage& salvage, const SpanRequest& request, Selection& selection, std::string& error);

} // namespace pg::clipmend
