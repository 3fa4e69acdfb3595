#include "MpegContainer.h"

#include "MpegReader.h"
#include "MpegWriter.h"

#include <algorithm>
#include <limits>

namespace pg::clipmend {

namespace {

using namespace mpeg;

constexpr std::size_t NONE = std::numeric_limits<std::size_t>::max();
// Frame duration taken where the pictures' times tell none: 25 frames per second.
constexpr std::int64_t DEFAULT_FRAME_TICKS = CLOCK / 25;
// Leading pictures are shown shortly before their keyframe; a time further off is noise.
constexpr std::int64_t MAX_LEADING = 10 * CLOCK;

// How sure the bytes are a transport stream, with its packet size: sync bytes in the cadence
// of plain or of time-prefixed packets, three of them or as many as the file holds.
int TransportScore(const std::uint8_t* data, std::size_t size, std::uint32_t& packet)
{
    for (const std::uint32_t candidate : {TS_PACKET, TS_PREFIXED_PACKET}) {
        const std::size_t syncAt = candidate - TS_PACKET;
        std::size_t seen = 0;
        while (seen < 4 && seen * candidate + syncAt < size && data[seen * candidate + syncAt] == TS_SYNC)
            ++seen;
        if (seen >= 3 || (seen >= 1 && seen * candidate + syncAt >= size)) {
            packet = candidate;
            return seen >= 3 ? 100 : 50;
        }
    }
    return 0;
}

// The usual step between the video's decoding times.
std::int64_t FrameTicks(const Units& units, std::uint32_t video)
{
    std::vector<std::int64_t> steps;
    const Unit* previous = nullptr;
    for (const Unit& u : units.units) {
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

class MpegContainer final : public Container
{
public:
    explicit MpegContainer(bool transport) : m_transport(transport) {}

    std::string Kind() const override
    {
        return m_transport ? "MPEG transport stream" : "MPEG program stream";
    }

    std::vector<std::string> Extensions() const override
    {
        if (!m_transport)
            return {".mpg", ".mpeg", ".vob"};
        if (m_salvage.packetSize == TS_PREFIXED_PACKET)
            return {".m2ts", ".mts", ".ts"};
        return {".ts", ".m2ts", ".mts"};
    }

    bool Read(SourceReader& input, const SalvageOptions& options, std::string& error) override
    {
        if (!m_transport)
            return SalvageProgramStream(input, options, m_salvage, error);
        std::size_t available = 0;
        const std::uint8_t* first = input.PeekUpTo(0, PROBE_BYTES, available);
        std::uint32_t packet = TS_PACKET;
        if (first)
            TransportScore(first, available, packet);
        return SalvageTransportStream(input, options, packet, m_salvage, error);
    }

    bool Select(const SpanRequest& request, RunSummary& summary, std::string& error) override;

    bool Write(const OutputOptions& options, SourceReader& input, ByteSink& output,
               std::string& error) override
    {
        return WriteMpeg(m_salvage, m_plan, options, input, output, error);
    }

private:
    bool m_transport;
    MpegSalvage m_salvage;
    MpegPlan m_plan;
};

bool MpegContainer::Select(const SpanRequest& request, RunSummary& summary, std::string& error)
{
    summary.damage = m_salvage.report;
    summary.pieces = "pictures and audio frames";

    const auto& streams = m_salvage.streams;
    const auto found = std::find_if(streams.begin(), streams.end(),
                                    [](const MpegStreamInfo& s) { return IsVideo(s.codec); });
    if (found == streams.end()) {
        error = "no video stream";
        return false;
    }
    const auto video = static_cast<std::uint32_t>(found - streams.begin());
    summary.keyframes = found->codec == Codec::H264   ? "IDR pictures and recovery points of the video stream"
                        : found->codec == Codec::HEVC ? "random access pictures of the video stream"
                                                      : "I-pictures of the video stream";
    const std::int64_t frame = FrameTicks(m_salvage.units, video);

    // Pictures shown before a keyframe of an open group that follow it in decoding need the
    // pictures before it: after damage they never decode, and they are left out where the
    // output starts.
    const std::vector<Unit>& units = m_salvage.units.units;
    std::vector<bool> undecodable(units.size(), false);
    std::vector<std::size_t> leadingOf(units.size(), NONE);
    std::size_t key = NONE;
    bool firstKey = false;
    std::uint32_t run = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Unit& u = units[i];
        if (u.stream != video)
            continue;
        if (key == NONE || u.run != run) {
            run = u.run;
            if (!u.key)
                continue;
        }
        if (u.key) {
            firstKey = key == NONE || units[key].run != u.run;
            key = i;
        } else if (!units[key].closed && u.pts < units[key].pts && units[key].pts - u.pts <= MAX_LEADING) {
            if (firstKey)
                undecodable[i] = true;
            else
                leadingOf[i] = key;
        }
    }

    std::vector<TimedPacket> packets;
    std::vector<std::size_t> unitOf;
    std::uint64_t leftOut = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Unit& u = units[i];
        if (undecodable[i]) {
            ++leftOut;
            continue;
        }
        TimedPacket p;
        p.video = u.stream == video;
        p.key = u.key;
        p.run = u.run;
        p.begin = static_cast<double>(u.pts) / CLOCK;
        p.end = p.begin + static_cast<double>(p.video ? frame : u.duration) / CLOCK;
        packets.push_back(p);
        unitOf.push_back(i);
    }
    SpanChoice choice;
    const bool chosen = ChooseSpan(packets, request, choice, error);
    summary.usableFrames = choice.usableFrames;
    summary.undecodableFrames = choice.undecodableFrames + leftOut;
    if (!chosen)
        return false;
    summary.firstFrame = choice.firstFrame;
    summary.lastFrame = choice.lastFrame;
    summary.frames = choice.frames;

    std::size_t start = NONE;
    m_plan = MpegPlan{};
    m_plan.streams.push_back(video);
    std::vector<std::size_t> chosenUnits;
    for (std::size_t k = 0; k < packets.size(); ++k) {
        if (!choice.chosen[k])
            continue;
        const std::size_t i = unitOf[k];
        if (packets[k].video) {
            if (start == NONE)
                start = i;
            if (leadingOf[i] == start) {
                --summary.frames;
                continue;
            }
        } else if (std::find(m_plan.streams.begin(), m_plan.streams.end(), units[i].stream) ==
                   m_plan.streams.end()) {
            if (m_plan.streams.size() > MAX_AUDIO_STREAMS)
                continue;
            m_plan.streams.push_back(units[i].stream);
        }
        chosenUnits.push_back(i);
    }
    // Audio plays from the first written picture: the left-out pictures' time is not shown.
    std::int64_t shown = std::numeric_limits<std::int64_t>::max();
    for (std::size_t i : chosenUnits)
        if (units[i].stream == video)
            shown = std::min(shown, units[i].pts);
    std::erase_if(chosenUnits,
                  [&](std::size_t i) { return units[i].stream != video && units[i].pts < shown; });
    // Sound starts where a decoder can start it: LOAS sound at a frame with its configuration.
    // And where a reader searching the written stream from its start takes a frame: where the
    // frame after it has its rate (or either has none), as a header alone may be chance.
    constexpr std::int64_t NO_NEXT = -1;
    std::vector<std::int64_t> nextRate(chosenUnits.size(), NO_NEXT);
    std::vector<std::int64_t> following(m_salvage.streams.size(), NO_NEXT);
    for (std::size_t k = chosenUnits.size(); k-- > 0;) {
        const Unit& u = units[chosenUnits[k]];
        nextRate[k] = following[u.stream];
        following[u.stream] = u.rate;
    }
    std::vector<bool> soundStarted(m_salvage.streams.size(), false);
    std::size_t kept = 0;
    for (std::size_t k = 0; k < chosenUnits.size(); ++k) {
        const Unit& u = units[chosenUnits[k]];
        if (u.stream != video && !soundStarted[u.stream]) {
            soundStarted[u.stream] = u.key && (nextRate[k] == NO_NEXT || nextRate[k] == 0 || u.rate == 0 ||
                                               nextRate[k] == static_cast<std::int64_t>(u.rate));
            if (!soundStarted[u.stream])
                continue;
        }
        chosenUnits[kept++] = chosenUnits[k];
    }
    chosenUnits.resize(kept);
    m_plan.units = std::move(chosenUnits);
    return true;
}

} // namespace

int ProbeProgramStream(const std::uint8_t* data, std::size_t size)
{
    if (size < 14 || data[0] != 0 || data[1] != 0 || data[2] != 1)
        return 0;
    // A bare video stream is claimed only to be refused by name.
    if (data[3] == 0xB3)
        return 10;
    bool mpeg1 = false;
    const std::size_t length = PackHeaderLength(data, mpeg1);
    if (length == 0)
        return 0;
    if (length + 4 > size)
        return 60;
    const std::uint8_t* next = data + length;
    return next[0] == 0 && next[1] == 0 && next[2] == 1 && next[3] >= 0xB9 ? 100 : 0;
}

int ProbeTransportStream(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t packet = TS_PACKET;
    return TransportScore(data, size, packet);
}

std::unique_ptr<Container> CreateProgramStreamContainer()
{
    return std::make_unique<MpegContainer>(false);
}

std::unique_ptr<Container> CreateTransportStreamContainer()
{
    return std::make_unique<MpegContainer>(true);
}

} // namespace pg::clipmend
