#pragma once
// The choice of what is written, made while the input is still being read: the rules of the
// choice made once everything is read, applied to each unit as soon as the units it depends on
// are in. A picture is decided once the requested start frame is found; a sound frame once the
// pictures have moved on past its time, in the order the frames came. The writing that follows
// it is checked against the final choice: where the two differ, the output is made afresh.
#include "MpegReader.h"

#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <vector>

namespace pg::clipmend::mpeg {

constexpr std::size_t NO_UNIT = std::numeric_limits<std::size_t>::max();
// Frame duration taken where the pictures' times tell none: 25 frames per second.
constexpr std::int64_t DEFAULT_FRAME_TICKS = CLOCK / 25;
// Leading pictures are shown shortly before their keyframe; a time further off is noise.
constexpr std::int64_t MAX_LEADING = 10 * CLOCK;

// The usual step between the video's decoding times, from the first `limit` steps.
std::int64_t FrameTicks(const Units& units, std::uint32_t video,
                        std::size_t limit = std::numeric_limits<std::size_t>::max());

// Where the unit's first piece lies in the file; the most where it has none.
std::uint64_t FirstByte(const Units& units, std::size_t unit);

class EarlyChoice
{
public:
    EarlyChoice(const MpegSalvage& salvage, const SpanRequest& request)
        : m_salvage(salvage), m_request(request)
    {
    }

    // Decides what the units found so far allow.
    void Advance();
    // The written units decided since the last call, each after those of its stream before it.
    std::vector<std::size_t> TakeWritten();
    // The written streams so far, the video first, in the order their first frames were chosen.
    const std::vector<std::size_t>& Streams() const { return m_streams; }
    // The offset before which every unit found is decided.
    std::uint64_t DecidedBefore() const;
    // Where the last written picture so far starts, which may yet be the last of all: the
    // end code it may need is known only at the end.
    std::uint64_t LastPictureFrom() const;

private:
    struct Audio
    {
        std::size_t unit;
        double begin;
    };
    // A usable picture before the requested start frame is found.
    struct Waiting
    {
        std::size_t unit;
        std::uint64_t number; // among the usable pictures, from 1
        std::size_t leading;  // the keyframe of the open group it leads, or none
    };

    void Picture(std::size_t i);
    // The usable picture i is chosen, unless the requested count is reached.
    void Chosen(std::size_t i, std::uint64_t number, std::size_t leading);
    // A chosen picture is shown from begin for a frame step.
    void Shown(double begin);
    bool StartsWhileShown(double begin) const;
    // Decides the sound frames the pictures have moved past, in their order.
    void DecideSound();
    void WriteSound(std::size_t unit);
    std::uint64_t FirstByte(std::size_t unit) const { return mpeg::FirstByte(m_salvage.units, unit); }

    const MpegSalvage& m_salvage;
    SpanRequest m_request;
    std::size_t m_next = 0; // the first unit not looked at
    std::uint32_t m_video = 0;
    bool m_haveVideo = false;
    std::int64_t m_frame = 0; // the frame step, once enough pictures tell it
    // Open groups: the last keyframe and whether it was its run's first (leading pictures).
    std::size_t m_key = NO_UNIT;
    bool m_firstKey = false;
    std::uint32_t m_keyRun = 0;
    // Usable pictures: a keyframe is awaited after each loss.
    bool m_needKey = true;
    std::uint32_t m_usableRun = 0;
    std::uint64_t m_usable = 0;         // usable pictures so far
    std::size_t m_start = NO_UNIT;      // the first chosen picture, once the start is found
    std::vector<Waiting> m_waiting;     // from the last usable keyframe on
    std::vector<std::size_t> m_unshown; // chosen pictures before the frame step is known
    bool m_choiceDone = false;          // the requested count of pictures is chosen
    std::map<double, double> m_shown;   // the chosen pictures' times, merged
    double m_videoFront = -std::numeric_limits<double>::infinity();      // latest picture time seen
    std::int64_t m_shownFrom = std::numeric_limits<std::int64_t>::max(); // earliest written picture time
    std::deque<Audio> m_sound;                   // sound frames not yet decided, in their order
    std::deque<std::uint64_t> m_soundFloor;      // their first bytes, each less than those after it
    std::size_t m_pictures = 0;                  // found so far
    std::vector<bool> m_started;                 // per stream: sound has started
    std::vector<std::deque<std::size_t>> m_held; // per stream: chosen frames before it starts
    std::vector<std::size_t> m_streams;          // written, the video first
    std::vector<std::size_t> m_written;          // decided since TakeWritten was last called
    std::size_t m_lastPicture = NO_UNIT;         // the last written so far
};

} // namespace pg::clipmend::mpeg
