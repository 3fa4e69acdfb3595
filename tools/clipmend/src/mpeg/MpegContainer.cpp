#include "MpegContainer.h"

#include "EarlyChoice.h"
#include "MpegReader.h"
#include "MpegWriter.h"

#include <algorithm>
#include <limits>
#include <memory>

namespace pg::clipmend {

namespace {

using namespace mpeg;

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
        WalkedFunction walked;
        if (options.earlyOutput) {
            m_early = std::make_unique<EarlyChoice>(m_salvage, options.request);
            walked = [this, &options](std::uint64_t settled) { WriteEarly(settled, options); };
        }
        m_lookAhead = options.earlyLookAhead;
        if (!m_transport)
            return SalvageProgramStream(input, options, m_salvage, error, walked);
        std::size_t available = 0;
        const std::uint8_t* first = input.PeekUpTo(0, PROBE_BYTES, available);
        std::uint32_t packet = TS_PACKET;
        if (first)
            TransportScore(first, available, packet);
        return SalvageTransportStream(input, options, packet, m_salvage, error, walked);
    }

    bool Select(const SpanRequest& request, RunSummary& summary, std::string& error) override;

    bool WroteEarly() const override { return m_copier != nullptr; }

    bool Write(const OutputOptions& options, SourceReader& input, ByteSink& output,
               std::string& error) override
    {
        if (!m_copier)
            return WriteMpeg(m_salvage, m_plan, options, input, output, error);
        m_copierOptions.progress = options.progress;
        std::vector<std::size_t> rest;
        std::vector<bool> given(m_salvage.units.units.size(), false);
        for (const std::size_t i : m_earlyPlan.units)
            given[i] = true;
        for (const std::size_t i : m_plan.units)
            if (!given[i])
                rest.push_back(i);
        m_copier->Extend(rest);
        return m_copier->Finish(error);
    }

private:
    // How many times its margin the writing while reading waits for sound in every stream.
    static constexpr std::uint64_t STREAMS_WAIT = 4;

    void WriteEarly(std::uint64_t settled, const SalvageOptions& options);
    // Whether the final choice writes what the writing while reading has written so far.
    bool EarlyStands() const;
    std::uint64_t FirstByte(std::size_t unit) const { return mpeg::FirstByte(m_salvage.units, unit); }

    bool m_transport;
    MpegSalvage m_salvage;
    MpegPlan m_plan;
    std::uint64_t m_lookAhead = 1 << 20;
    // Writing while reading: the choice made as units come, the units given to the copier
    // (with the streams it writes), and how far it copied.
    std::unique_ptr<EarlyChoice> m_early;
    bool m_earlyOver = false; // given up, or never to begin
    MpegPlan m_earlyPlan;
    std::vector<std::uint8_t> m_earlySequence; // the video's sequence header when it began
    OutputOptions m_copierOptions;
    std::unique_ptr<MpegCopier> m_copier;
    std::uint64_t m_copiedTo = 0;
};

void MpegContainer::WriteEarly(std::uint64_t settled, const SalvageOptions& options)
{
    if (m_earlyOver)
        return;
    m_early->Advance();
    const std::vector<std::size_t> written = m_early->TakeWritten();
    m_earlyPlan.units.insert(m_earlyPlan.units.end(), written.begin(), written.end());
    const std::uint64_t reach = std::min({settled, m_early->DecidedBefore(), m_early->LastPictureFrom()});
    // The copying stays behind what is settled and decided by twice what it looks ahead.
    const std::uint64_t margin = 2 * options.earlyLookAhead;
    if (reach < margin)
        return;
    const std::uint64_t upTo = reach - margin;
    if (!m_copier) {
        std::uint64_t first = std::numeric_limits<std::uint64_t>::max();
        for (const std::size_t i : m_earlyPlan.units)
            first = std::min(first, FirstByte(i));
        // The streams written are set when the writing begins: it waits for sound in each one
        // found, for a while.
        const std::size_t streams = std::min(m_salvage.streams.size(), 1 + MAX_AUDIO_STREAMS);
        if (first >= upTo || (m_early->Streams().size() < streams && upTo - first < STREAMS_WAIT * margin))
            return;
        m_earlyPlan.streams = m_early->Streams();
        m_earlyPlan.lookAhead = options.earlyLookAhead;
        SourceReader* input = nullptr;
        ByteSink* output = options.earlyOutput(input);
        m_earlyOver = true;
        if (!output || !input)
            return;
        m_copier = CreateCopier(m_salvage, m_earlyPlan, m_copierOptions, *input, *output);
        m_earlySequence = m_salvage.sequenceHeaders[m_earlyPlan.streams.front()];
        std::string error;
        if (!m_copier->Begin(error)) {
            m_copier.reset();
            return;
        }
        m_earlyOver = false;
    } else {
        m_copier->Extend(written);
    }
    m_copiedTo = upTo;
    if (!m_copier->Advance(upTo)) {
        // A byte could not be read or written: the final writing tells which.
        m_copier.reset();
        m_earlyOver = true;
    }
}

bool MpegContainer::EarlyStands() const
{
    if (!m_copier || m_plan.streams != m_earlyPlan.streams ||
        m_salvage.sequenceHeaders[m_plan.streams.front()] != m_earlySequence)
        return false;
    // Per stream, the units given must be the first the final choice writes, and any other it
    // writes must lie past what the copying may have looked at.
    const std::vector<Unit>& units = m_salvage.units.units;
    std::vector<std::vector<std::size_t>> given(m_salvage.streams.size());
    for (const std::size_t i : m_earlyPlan.units)
        given[units[i].stream].push_back(i);
    std::vector<std::size_t> matched(m_salvage.streams.size(), 0);
    for (const std::size_t i : m_plan.units) {
        const std::uint32_t stream = units[i].stream;
        std::size_t& at = matched[stream];
        if (at < given[stream].size()) {
            if (given[stream][at++] != i)
                return false;
        } else if (FirstByte(i) < m_copiedTo + 2 * m_earlyPlan.lookAhead) {
            return false;
        }
    }
    for (std::size_t stream = 0; stream < given.size(); ++stream)
        if (matched[stream] != given[stream].size())
            return false;
    return true;
}

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
    std::vector<std::size_t> leadingOf(units.size(), NO_UNIT);
    std::size_t key = NO_UNIT;
    bool firstKey = false;
    std::uint32_t run = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Unit& u = units[i];
        if (u.stream != video)
            continue;
        if (key == NO_UNIT || u.run != run) {
            run = u.run;
            if (!u.key)
                continue;
        }
        if (u.key) {
            firstKey = key == NO_UNIT || units[key].run != u.run;
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

    std::size_t start = NO_UNIT;
    m_plan = MpegPlan{};
    m_plan.lookAhead = m_lookAhead;
    m_plan.streams.push_back(video);
    std::vector<std::size_t> chosenUnits;
    for (std::size_t k = 0; k < packets.size(); ++k) {
        if (!choice.chosen[k])
            continue;
        const std::size_t i = unitOf[k];
        if (packets[k].video) {
            if (start == NO_UNIT)
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
    if (!EarlyStands())
        m_copier.reset();
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
