#include "Span.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace pg::clipmend {

namespace {

constexpr double TIME_EPSILON = 1e-9;

struct TimeRange
{
    double begin;
    double end;
};

// A delta frame needs the frames before it: after damage nothing decodes before a keyframe.
std::vector<std::size_t> UsableFrames(const std::vector<TimedPacket>& packets, std::uint64_t& undecodable)
{
    std::vector<std::size_t> usable;
    bool needKey = true;
    std::uint32_t run = 0;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const TimedPacket& p = packets[i];
        if (!p.video)
            continue;
        if (p.run != run) {
            run = p.run;
            needKey = true;
        }
        if (needKey && !p.key) {
            ++undecodable;
        } else {
            needKey = false;
            usable.push_back(i);
        }
    }
    return usable;
}

// The time the chosen frames are shown, as stretches without a pause; frames may come out of
// display order, as they do with bidirectional prediction.
std::vector<TimeRange> ShownTimes(const std::vector<TimedPacket>& packets,
                                  const std::vector<std::size_t>& frames, std::size_t first, std::size_t last)
{
    std::vector<TimeRange> shown;
    for (std::size_t i = first; i <= last; ++i)
        shown.push_back({packets[frames[i]].begin, packets[frames[i]].end});
    std::sort(shown.begin(), shown.end(),
              [](const TimeRange& a, const TimeRange& b) { return a.begin < b.begin; });
    std::vector<TimeRange> merged;
    for (const TimeRange& r : shown) {
        if (!merged.empty() && r.begin <= merged.back().end + TIME_EPSILON)
            merged.back().end = std::max(merged.back().end, r.end);
        else
            merged.push_back(r);
    }
    return merged;
}

bool StartsWhileShown(const std::vector<TimeRange>& shown, double begin)
{
    auto it = std::upper_bound(shown.begin(), shown.end(), begin + TIME_EPSILON,
                               [](double value, const TimeRange& r) { return value < r.begin; });
    return it != shown.begin() && begin < std::prev(it)->end - TIME_EPSILON;
}

} // namespace

bool ChooseSpan(const std::vector<TimedPacket>& packets, const SpanRequest& request, SpanChoice& choice,
                std::string& error)
{
    choice = SpanChoice{};
    const std::vector<std::size_t> frames = UsableFrames(packets, choice.undecodableFrames);
    choice.usableFrames = frames.size();
    if (frames.empty()) {
        error = "no usable frames";
        return false;
    }
    if (request.startFrame < 1 || static_cast<std::uint64_t>(request.startFrame) > frames.size()) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "no usable frames: start frame %" PRIu64 " is past the last usable frame %" PRIu64,
                      static_cast<std::uint64_t>(std::max<std::int64_t>(request.startFrame, 0)),
                      static_cast<std::uint64_t>(frames.size()));
        error = text;
        return false;
    }
    const std::size_t wanted = static_cast<std::size_t>(request.startFrame - 1);
    std::size_t last = frames.size() - 1;
    if (request.frameCount > 0)
        last = static_cast<std::size_t>(
            std::min<std::uint64_t>(last, wanted + static_cast<std::uint64_t>(request.frameCount) - 1));
    // The first usable frame is a keyframe, so the search always ends.
    std::size_t first = wanted;
    while (!packets[frames[first]].key)
        --first;
    choice.firstFrame = first + 1;
    choice.lastFrame = last + 1;
    choice.frames = last - first + 1;

    choice.chosen.assign(packets.size(), false);
    for (std::size_t i = first; i <= last; ++i)
        choice.chosen[frames[i]] = true;
    const std::vector<TimeRange> shown = ShownTimes(packets, frames, first, last);
    for (std::size_t i = 0; i < packets.size(); ++i)
        if (!packets[i].video && StartsWhileShown(shown, packets[i].begin))
            choice.chosen[i] = true;
    return true;
}

} // namespace pg::clipmend
