#include "EarlyChoice.h"

#include "MpegWriter.h"

#include <algorithm>

namespace pg::clipmend::mpeg {

namespace {

constexpr double TIME_EPSILON = 1e-9;
// Steps between pictures that tell the frame step while reading.
constexpr std::size_t FRAME_SAMPLE = 8;
// A sound frame is decided once pictures this far past its time have come: pictures come in
// decoding order, and those shown earlier than one before them are only a few frames early.
constexpr double SOUND_HORIZON = 1.0;

} // namespace

std::int64_t FrameTicks(const Units& units, std::uint32_t video, std::size_t limit)
{
    std::vector<std::int64_t> steps;
    const Unit* previous = nullptr;
    for (const Unit& u : units.units) {
        if (steps.size() >= limit)
            break;
        if (u.stream != video)
            continue;
        if (previous && previous->run == u.run && u.dts > previous->dts)
            steps.push_back(u.dts - previous->dts);
        previous = &u;
    }
    if (steps.empty())
        return DEFAULT_FRAME_TICKS;
    std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2),
                     steps.end());
    return steps[steps.size() / 2];
}

std::uint64_t FirstByte(const Units& units, std::size_t unit)
{
    const Unit& u = units.units[unit];
    return u.pieceCount == 0 ? std::numeric_limits<std::uint64_t>::max()
                             : std::uint64_t{units.pieces[u.firstPiece].offset};
}

void EarlyChoice::Advance()
{
    const std::vector<Unit>& units = m_salvage.units.units;
    const auto& streams = m_salvage.streams;
    if (!m_haveVideo) {
        const auto found = std::find_if(streams.begin(), streams.end(),
                                        [](const MpegStreamInfo& s) { return IsVideo(s.codec); });
        if (found == streams.end())
            return;
        m_haveVideo = true;
        m_video = static_cast<std::uint32_t>(found - streams.begin());
        m_streams.push_back(m_video);
    }
    m_started.resize(streams.size(), false);
    m_held.resize(streams.size());
    for (; m_next < units.size(); ++m_next) {
        if (units[m_next].stream == m_video) {
            ++m_pictures;
            Picture(m_next);
        } else {
            m_sound.push_back({m_next, static_cast<double>(units[m_next].pts) / CLOCK});
            // The least first byte of the sound frames waiting, kept as they come and go.
            const std::uint64_t first = FirstByte(m_next);
            while (!m_soundFloor.empty() && m_soundFloor.back() > first)
                m_soundFloor.pop_back();
            m_soundFloor.push_back(first);
        }
    }
    if (m_frame == 0 && m_start != NO_UNIT) {
        if (m_pictures > FRAME_SAMPLE) {
            m_frame = FrameTicks(m_salvage.units, m_video, FRAME_SAMPLE);
            for (const std::size_t i : m_unshown)
                Shown(static_cast<double>(units[i].pts) / CLOCK);
            m_unshown.clear();
        }
    }
    if (m_frame != 0)
        DecideSound();
}

void EarlyChoice::Picture(std::size_t i)
{
    const std::vector<Unit>& units = m_salvage.units.units;
    const Unit& u = units[i];
    m_videoFront = std::max(m_videoFront, static_cast<double>(u.pts) / CLOCK);
    // Pictures shown before the keyframe of an open group: after damage they never decode.
    std::size_t leading = NO_UNIT;
    bool grouped = true;
    if (m_key == NO_UNIT || u.run != m_keyRun) {
        m_keyRun = u.run;
        grouped = u.key;
    }
    if (grouped && u.key) {
        m_firstKey = m_key == NO_UNIT || units[m_key].run != u.run;
        m_key = i;
    } else if (grouped && !units[m_key].closed && u.pts < units[m_key].pts &&
               units[m_key].pts - u.pts <= MAX_LEADING) {
        if (m_firstKey)
            return;
        leading = m_key;
    }
    // A delta picture needs the ones before it: after damage nothing decodes before a keyframe.
    if (u.run != m_usableRun) {
        m_usableRun = u.run;
        m_needKey = true;
    }
    if (m_needKey && !u.key)
        return;
    m_needKey = false;
    const std::uint64_t number = ++m_usable;
    if (m_start != NO_UNIT) {
        Chosen(i, number, leading);
        return;
    }
    // The span starts at the last keyframe before the requested start frame.
    if (u.key)
        m_waiting.clear();
    m_waiting.push_back({i, number, leading});
    if (number < static_cast<std::uint64_t>(m_request.startFrame))
        return;
    m_start = m_waiting.front().unit;
    for (const Waiting& w : m_waiting)
        Chosen(w.unit, w.number, w.leading);
    m_waiting.clear();
}

void EarlyChoice::Chosen(std::size_t i, std::uint64_t number, std::size_t leading)
{
    if (m_choiceDone)
        return;
    const auto start = static_cast<std::uint64_t>(m_request.startFrame);
    if (m_request.frameCount > 0 && number >= start + static_cast<std::uint64_t>(m_request.frameCount) - 1)
        m_choiceDone = true;
    const Unit& u = m_salvage.units.units[i];
    if (m_frame != 0)
        Shown(static_cast<double>(u.pts) / CLOCK);
    else
        m_unshown.push_back(i);
    // Leading pictures of the keyframe the output starts with never decode.
    if (leading == m_start)
        return;
    m_written.push_back(i);
    m_lastPicture = i;
    m_shownFrom = std::min(m_shownFrom, u.pts);
}

void EarlyChoice::Shown(double begin)
{
    // As the final choice merges the pictures' times: ranges that meet or overlap join.
    double end = begin + static_cast<double>(m_frame) / CLOCK;
    auto it = m_shown.upper_bound(begin);
    if (it != m_shown.begin() && begin <= std::prev(it)->second + TIME_EPSILON) {
        --it;
        begin = it->first;
        end = std::max(end, it->second);
        it = m_shown.erase(it);
    }
    while (it != m_shown.end() && it->first <= end + TIME_EPSILON) {
        end = std::max(end, it->second);
        it = m_shown.erase(it);
    }
    m_shown.emplace(begin, end);
}

bool EarlyChoice::StartsWhileShown(double begin) const
{
    auto it = m_shown.upper_bound(begin + TIME_EPSILON);
    return it != m_shown.begin() && begin < std::prev(it)->second - TIME_EPSILON;
}

void EarlyChoice::DecideSound()
{
    const std::vector<Unit>& units = m_salvage.units.units;
    while (!m_sound.empty() && (m_choiceDone || m_videoFront >= m_sound.front().begin + SOUND_HORIZON)) {
        const Audio a = m_sound.front();
        m_sound.pop_front();
        if (m_soundFloor.front() == FirstByte(a.unit))
            m_soundFloor.pop_front();
        if (!StartsWhileShown(a.begin))
            continue;
        const std::size_t stream = units[a.unit].stream;
        if (std::find(m_streams.begin(), m_streams.end(), stream) == m_streams.end()) {
            if (m_streams.size() > MAX_AUDIO_STREAMS)
                continue;
            m_streams.push_back(stream);
        }
        // Audio plays from the first written picture.
        if (units[a.unit].pts < m_shownFrom)
            continue;
        WriteSound(a.unit);
    }
}

void EarlyChoice::WriteSound(std::size_t unit)
{
    const std::vector<Unit>& units = m_salvage.units.units;
    const std::size_t stream = units[unit].stream;
    if (m_started[stream]) {
        m_written.push_back(unit);
        return;
    }
    // Sound starts at a frame a decoder can start at, whose next frame has its rate.
    std::deque<std::size_t>& held = m_held[stream];
    held.push_back(unit);
    while (held.size() >= 2) {
        const Unit& first = units[held[0]];
        const std::uint32_t next = units[held[1]].rate;
        if (first.key && (next == 0 || first.rate == 0 || next == first.rate)) {
            m_started[stream] = true;
            m_written.insert(m_written.end(), held.begin(), held.end());
            held.clear();
            return;
        }
        held.pop_front();
    }
}

std::vector<std::size_t> EarlyChoice::TakeWritten()
{
    std::vector<std::size_t> taken;
    taken.swap(m_written);
    return taken;
}

std::uint64_t EarlyChoice::DecidedBefore() const
{
    if (m_start == NO_UNIT || m_frame == 0)
        return 0;
    std::uint64_t before =
        m_soundFloor.empty() ? std::numeric_limits<std::uint64_t>::max() : m_soundFloor.front();
    for (const std::deque<std::size_t>& held : m_held)
        for (const std::size_t unit : held)
            before = std::min(before, FirstByte(unit));
    return before;
}

std::uint64_t EarlyChoice::LastPictureFrom() const
{
    return m_lastPicture == NO_UNIT ? 0 : FirstByte(m_lastPicture);
}

} // namespace pg::clipmend::mpeg
