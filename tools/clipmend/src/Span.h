#pragma once
// Chooses the span to write, whatever the container: the requested frames of the video track,
// counted among the frames that decode and widened back to a keyframe, and the audio that
// plays while they are shown.
#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend {

struct SpanRequest
{
    std::int64_t startFrame = 1; // 1-based, counted among the usable frames
    std::int64_t frameCount = 0; // 0: through the last usable frame
};

// A video frame or an audio packet as the choice sees it, in decoding (file) order.
struct TimedPacket
{
    bool video = false;
    bool key = false;
    // Count of damaged regions before the packet: where it changes, decoding starts afresh.
    std::uint32_t run = 0;
    double begin = 0.0; // seconds
    double end = 0.0;   // video: when the frame's time is over
};

struct SpanChoice
{
    std::vector<bool> chosen;            // per packet
    std::uint64_t usableFrames = 0;      // frames that decode, before the span is cut
    std::uint64_t undecodableFrames = 0; // delta frames after damage, before the next keyframe
    std::uint64_t firstFrame = 0;        // 1-based numbers of the chosen frames
    std::uint64_t lastFrame = 0;
    std::uint64_t frames = 0;
};

// False with a one-line reason when no frame can be chosen.
bool ChooseSpan(const std::vector<TimedPacket>& packets, const SpanRequest& request, SpanChoice& choice,
                std::string& error);

} // namespace pg::clipmend
