#include "Selection.h"

#include <algorithm>

namespace pg::clipmend {

namespace {

double SecondsPerUnit(const StreamHeader& stream)
{
    return stream.scale != 0 && stream.rate != 0 ? static_cast<double>(stream.scale) / stream.rate : 0.0;
}

// The video frames and timed audio chunks as the span choice sees them: a frame's time slot is
// its place among all salvaged frames of the stream, an audio chunk's follows from the data
// before it. Audio of a stream without a rate has no time and is never chosen.
std::vector<TimedPacket> TimedChunks(const Salvage& salvage, std::size_t videoStream,
                                     std::vector<std::size_t>& chunkOf)
{
    const auto& streams = salvage.headers.streams;
    double frameSeconds = SecondsPerUnit(streams[videoStream]);
    if (frameSeconds == 0.0)
        frameSeconds = salvage.headers.main.microSecPerFrame != 0
                           ? salvage.headers.main.microSecPerFrame / 1e6
                           : DEFAULT_FRAME_MICROSECONDS / 1e6;
    std::vector<double> units(streams.size());
    for (std::size_t s = 0; s < streams.size(); ++s)
        units[s] = streams[s].start;
    std::vector<TimedPacket> packets;
    for (std::size_t i = 0; i < salvage.chunks.size(); ++i) {
        const FoundChunk& c = salvage.chunks[i];
        const StreamHeader& stream = streams[c.stream];
        TimedPacket p;
        if (c.stream == videoStream) {
            p.video = true;
            p.key = c.key;
            p.run = c.run;
            p.begin = units[c.stream] * frameSeconds;
            p.end = p.begin + frameSeconds;
            units[c.stream] += 1.0;
        } else if (stream.type == StreamType::Audio && SecondsPerUnit(stream) != 0.0) {
            p.begin = units[c.stream] * SecondsPerUnit(stream);
            units[c.stream] += stream.sampleSize > 0 ? static_cast<double>(c.size) / stream.sampleSize : 1.0;
        } else {
            continue;
        }
        packets.push_back(p);
        chunkOf.push_back(i);
    }
    return packets;
}

} // namespace

bool SelectSpan(const Salvage& salvage, const SpanRequest& request, Selection& selection, std::string& error)
{
    selection = Selection{};
    const auto& streams = salvage.headers.streams;
    const auto video = std::find_if(streams.begin(), streams.end(),
                                    [](const StreamHeader& s) { return s.type == StreamType::Video; });
    if (video == streams.end()) {
        error = "no video stream";
        return false;
    }
    const auto videoStream = static_cast<std::size_t>(video - streams.begin());
    std::vector<std::size_t> chunkOf;
    const std::vector<TimedPacket> packets = TimedChunks(salvage, videoStream, chunkOf);
    SpanChoice choice;
    const bool chosen = ChooseSpan(packets, request, choice, error);
    selection.usableFrames = choice.usableFrames;
    selection.undecodableFrames = choice.undecodableFrames;
    if (!chosen)
        return false;
    selection.firstFrame = choice.firstFrame;
    selection.lastFrame = choice.lastFrame;
    selection.frames = choice.frames;

    // The video stream and every audio stream with a chunk in the span are written, numbered afresh.
    std::vector<bool> keep(streams.size(), false);
    keep[videoStream] = true;
    for (std::size_t i = 0; i < packets.size(); ++i)
        if (choice.chosen[i])
            keep[salvage.chunks[chunkOf[i]].stream] = true;
    std::vector<int> outNumber(streams.size(), -1);
    for (std::size_t s = 0; s < streams.size(); ++s) {
        if (!keep[s])
            continue;
        outNumber[s] = static_cast<int>(selection.inputStreams.size());
        if (s == videoStream)
            selection.videoStream = selection.inputStreams.size();
        selection.inputStreams.push_back(s);
    }
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (!choice.chosen[i])
            continue;
        const FoundChunk& c = salvage.chunks[chunkOf[i]];
        selection.chunks.push_back(
            {c.offset + 8, c.size, static_cast<std::uint16_t>(outNumber[c.stream]), c.suffix, c.key});
    }
    return true;
}

} // namespace pg::clipmend
