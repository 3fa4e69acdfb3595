#include "Selection.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace pg::clipmend {

namespace {

constexpr double TIME_EPSILON = 1e-9;

struct UsableFrame
{
    std::size_t chunk;     // index into the salvaged chunks
    std::uint64_t ordinal; // place among all salvaged frames of the stream: its time slot
};

struct TimeRange
{
    double begin;
    double end;
};

double SecondsPerUnit(const StreamHeader& stream)
{
    return stream.scale != 0 && stream.rate != 0 ? static_cast<double>(stream.scale) / stream.rate : 0.0;
}

std::string Text(const char* format, std::uint64_t a, std::uint64_t b)
{
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

// A delta frame needs the frames before it: after damage nothing decodes before a keyframe.
std::vector<UsableFrame> UsableFrames(const Salvage& salvage, std::size_t videoStream,
                                      std::uint64_t& undecodable)
{
    std::vector<UsableFrame> usable;
    bool needKey = true;
    std::uint32_t run = 0;
    std::uint64_t ordinal = 0;
    for (std::size_t i = 0; i < salvage.chunks.size(); ++i) {
        const FoundChunk& c = salvage.chunks[i];
        if (c.stream != videoStream)
            continue;
        if (c.run != run) {
            run = c.run;
            needKey = true;
        }
        if (needKey && !c.key) {
            ++undecodable;
        } else {
            needKey = false;
            usable.push_back({i, ordinal});
        }
        ++ordinal;
    }
    return usable;
}

// Time ranges of the chosen frames: one per stretch of frames that follow each other.
std::vector<TimeRange> FrameTimes(const std::vector<UsableFrame>& frames, std::size_t first, std::size_t last,
                                  double start, double frameSeconds)
{
    std::vector<TimeRange> ranges;
    for (std::size_t i = first; i <= last; ++i) {
        const double begin = (start + static_cast<double>(frames[i].ordinal)) * frameSeconds;
        if (!ranges.empty() && frames[i].ordinal == frames[i - 1].ordinal + 1)
            ranges.back().end = begin + frameSeconds;
        else
            ranges.push_back({begin, begin + frameSeconds});
    }
    return ranges;
}

// Marks the audio chunks of one stream that start while a chosen frame is shown.
std::size_t SelectAudio(const Salvage& salvage, std::size_t audioStream, const std::vector<TimeRange>& ranges,
                        std::vector<bool>& chosen)
{
    const StreamHeader& stream = salvage.headers.streams[audioStream];
    const double unitSeconds = SecondsPerUnit(stream);
    if (unitSeconds == 0.0)
        return 0;
    std::size_t count = 0;
    double units = stream.start;
    std::size_t range = 0;
    for (std::size_t i = 0; i < salvage.chunks.size() && range < ranges.size(); ++i) {
        const FoundChunk& c = salvage.chunks[i];
        if (c.stream != audioStream)
            continue;
        const double begin = units * unitSeconds;
        units += stream.sampleSize > 0 ? static_cast<double>(c.size) / stream.sampleSize : 1.0;
        while (range < ranges.size() && begin >= ranges[range].end - TIME_EPSILON)
            ++range;
        if (range < ranges.size() && begin >= ranges[range].begin - TIME_EPSILON) {
            chosen[i] = true;
            ++count;
        }
    }
    return count;
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
    const std::vector<UsableFrame> frames = UsableFrames(salvage, videoStream, selection.undecodableFrames);
    selection.usableFrames = frames.size();
    if (frames.empty()) {
        error = "no usable frames";
        return false;
    }
    if (request.startFrame < 1 || static_cast<std::uint64_t>(request.startFrame) > frames.size()) {
        error =
            Text("no usable frames: start frame %" PRIu64 " is past the last usable frame %" PRIu64,
                 static_cast<std::uint64_t>(std::max<std::int64_t>(request.startFrame, 0)), frames.size());
        return false;
    }
    const std::size_t wanted = static_cast<std::size_t>(request.startFrame - 1);
    std::size_t last = frames.size() - 1;
    if (request.frameCount > 0)
        last = static_cast<std::size_t>(
            std::min<std::uint64_t>(last, wanted + static_cast<std::uint64_t>(request.frameCount) - 1));
    // The first usable frame is a keyframe, so the search always ends.
    std::size_t first = wanted;
    while (!salvage.chunks[frames[first].chunk].key)
        --first;
    selection.firstFrame = first + 1;
    selection.lastFrame = last + 1;
    selection.frames = last - first + 1;

    std::vector<bool> chosen(salvage.chunks.size(), false);
    for (std::size_t i = first; i <= last; ++i)
        chosen[frames[i].chunk] = true;
    double frameSeconds = SecondsPerUnit(*video);
    if (frameSeconds == 0.0)
        frameSeconds = salvage.headers.main.microSecPerFrame != 0
                           ? salvage.headers.main.microSecPerFrame / 1e6
                           : DEFAULT_FRAME_MICROSECONDS / 1e6;
    const std::vector<TimeRange> ranges = FrameTimes(frames, first, last, video->start, frameSeconds);

    std::vector<int> outNumber(streams.size(), -1);
    for (std::size_t s = 0; s < streams.size(); ++s) {
        const bool keep = s == videoStream || (streams[s].type == StreamType::Audio &&
                                               SelectAudio(salvage, s, ranges, chosen) > 0);
        if (!keep)
            continue;
        outNumber[s] = static_cast<int>(selection.inputStreams.size());
        if (s == videoStream)
            selection.videoStream = selection.inputStreams.size();
        selection.inputStreams.push_back(s);
    }
    for (std::size_t i = 0; i < salvage.chunks.size(); ++i) {
        const FoundChunk& c = salvage.chunks[i];
        if (!chosen[i] || outNumber[c.stream] < 0)
            continue;
        selection.chunks.push_back(
            {c.offset + 8, c.size, static_cast<std::uint16_t>(outNumber[c.stream]), c.suffix, c.key});
    }
    return true;
}

} // namespace pg::clipmend
