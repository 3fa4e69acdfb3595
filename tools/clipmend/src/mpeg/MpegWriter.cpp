#include "MpegWriter.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pg::clipmend::mpeg {

namespace {

using Bytes = std::vector<std::uint8_t>;

// The clock reference runs this far ahead of the data it delivers.
constexpr std::int64_t DELIVERY = CLOCK / 10;
constexpr std::size_t MAX_PACKET_PAYLOAD = 65000;
constexpr std::uint32_t MUX_RATE = 25200; // 10.08 Mbit/s, in units of 50 bytes per second
constexpr std::uint16_t PAT_PID = 0;
constexpr std::size_t TS_PAYLOAD = 184;
constexpr std::int64_t PCR_TICKS = 300; // of 27 MHz per timestamp tick
// The program table fits one packet: at most MAX_AUDIO_STREAMS audio streams with this much each.
constexpr std::size_t MAX_DESCRIPTORS = 16;

// A time stamp after its four-bit prefix: five bytes at out.
void PutTimestamp(std::uint8_t* out, int prefix, std::int64_t t)
{
    out[0] = static_cast<std::uint8_t>(prefix << 4 | ((t >> 29) & 0x0E) | 1);
    out[1] = static_cast<std::uint8_t>(t >> 22);
    out[2] = static_cast<std::uint8_t>(((t >> 14) & 0xFE) | 1);
    out[3] = static_cast<std::uint8_t>(t >> 7);
    out[4] = static_cast<std::uint8_t>(((t << 1) & 0xFE) | 1);
}

void Put16(Bytes& out, std::size_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

// A packet header, made for every unit: kept off the heap.
class HeaderBytes
{
public:
    const std::uint8_t* data() const { return m_bytes.data(); }
    std::size_t size() const { return m_size; }
    void Put(std::uint8_t byte) { m_bytes[m_size++] = byte; }
    void PutTime(int prefix, std::int64_t t)
    {
        PutTimestamp(m_bytes.data() + m_size, prefix, t);
        m_size += 5;
    }
    void Set(std::size_t at, std::uint8_t byte) { m_bytes[at] = byte; }

private:
    // Start code, id and length, three bytes of flags, two time stamps.
    std::array<std::uint8_t, 19> m_bytes{};
    std::size_t m_size = 0;
};

// The packet header before payloadSize bytes: times only where given.
HeaderBytes PacketHeaderBytes(std::uint8_t id, bool mpeg1, std::size_t payloadSize, const std::int64_t* pts,
                              const std::int64_t* dts)
{
    HeaderBytes out;
    for (std::uint8_t byte : {0, 0, 1})
        out.Put(byte);
    out.Put(id);
    out.Put(0); // the length, told below
    out.Put(0);
    if (!mpeg1) {
        out.Put(pts ? 0x84 : 0x80);
        out.Put(!pts ? 0 : dts ? 0xC0 : 0x80);
        out.Put(!pts ? 0 : dts ? 10 : 5);
    } else if (!pts) {
        out.Put(0x0F);
    }
    if (pts) {
        out.PutTime(dts ? 3 : 2, *pts);
        if (dts)
            out.PutTime(1, *dts);
    }
    const std::size_t length = out.size() - 6 + payloadSize;
    if (length <= 0xFFFF) {
        out.Set(4, static_cast<std::uint8_t>(length >> 8));
        out.Set(5, static_cast<std::uint8_t>(length));
    }
    return out;
}

class Writer
{
public:
    Writer(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
           SourceReader& input, ByteSink& output)
        : m_salvage(salvage), m_plan(plan), m_options(options), m_in(input), m_out(output)
    {
        m_continuity.fill(0);
    }

    bool Write(std::string& error);

private:
    // A run of the unit being written: bytes of the input, or bytes of the writer's own.
    struct Segment
    {
        std::uint64_t offset = 0;
        std::size_t size = 0;
        const std::uint8_t* own = nullptr;
    };

    // Lays out the unit's bytes: what must go before it, its pieces where they lie in the input,
    // what must go after it.
    bool Layout(const Unit& unit, bool first, bool last);
    bool UnitStart(const Unit& unit, std::uint8_t* bytes, std::size_t n, std::size_t from);
    // Hands the unit's next n bytes to use, a run at a time, where they lie.
    template <typename Use> void UnitBytes(std::size_t n, Use use);
    // Writes the headers gathered so far, then the unit's next n bytes in place.
    void Emit(std::size_t n);
    void Flush();
    std::int64_t Out(std::int64_t t) const { return t - m_plan.origin + OUTPUT_START; }
    std::uint8_t StreamId(std::size_t stream) const;

    void PackHeader(std::int64_t scr);
    void SystemHeader();
    void ProgramUnit(const Unit& unit, const std::int64_t* pts, const std::int64_t* dts);

    void ProgramTables(std::int64_t clock);
    // The packet header, then the unit, over packets of the stream's pid.
    void TransportPackets(std::uint16_t pid, const HeaderBytes& header, const std::int64_t* pcr,
                          std::int64_t clock);
    void Section(std::uint16_t pid, Bytes section, std::int64_t clock);
    // The arrival time before each packet of 192 bytes.
    static std::array<std::uint8_t, 4> ArrivalTime(std::int64_t clock);

    const MpegSalvage& m_salvage;
    const MpegPlan& m_plan;
    const OutputOptions& m_options;
    SourceReader& m_in;
    ByteSink& m_out;
    std::vector<Segment> m_segments;
    std::size_t m_unitSize = 0;
    std::size_t m_segment = 0;     // the next byte to write: its segment
    std::size_t m_segmentDone = 0; // and its place there
    // The input bytes from the unit's first piece to the end of its last, where one look holds them.
    const std::uint8_t* m_span = nullptr;
    std::uint64_t m_spanStart = 0;
    Bytes m_head;
    Bytes m_tail;
    Bytes m_buffer; // headers not yet written
    bool m_readFailed = false;
    bool m_writeFailed = false;
    std::array<std::uint8_t, 8192> m_continuity;
};

bool Writer::UnitStart(const Unit& unit, std::uint8_t* bytes, std::size_t n, std::size_t from)
{
    std::size_t filled = 0;
    for (std::size_t i = 0; i < unit.pieceCount && filled < n; ++i) {
        const Piece& piece = m_salvage.units.pieces[unit.firstPiece + i];
        if (from >= piece.size) {
            from -= piece.size;
            continue;
        }
        const std::size_t take = std::min<std::size_t>(n - filled, piece.size - from);
        const std::uint8_t* data = m_in.Peek(piece.offset + from, take);
        if (!data)
            return false;
        std::memcpy(bytes + filled, data, take);
        filled += take;
        from = 0;
    }
    return filled == n;
}

bool Writer::Layout(const Unit& unit, bool first, bool last)
{
    m_head.clear();
    m_tail.clear();
    const MpegStreamInfo& info = m_salvage.streams[unit.stream];
    const Bytes& sequence = m_salvage.sequenceHeaders[unit.stream];
    if (IsVideo(info.codec)) {
        // Pictures begin with a start code: a shorter one is damage of its own, written as it is.
        std::array<std::uint8_t, 5> edge{};
        // A decoder needs the sequence header before the first picture.
        if (first && !sequence.empty() && unit.size >= 4) {
            if (!UnitStart(unit, edge.data(), 4, 0))
                return false;
            if (!(edge[0] == 0 && edge[1] == 0 && edge[2] == 1 && edge[3] == 0xB3))
                m_head = sequence;
        }
        // The end code after the last picture tells a reader that it is whole.
        const std::size_t tail = std::min<std::size_t>(unit.size, edge.size());
        if (last && unit.size >= 4) {
            if (!UnitStart(unit, edge.data(), tail, unit.size - tail))
                return false;
            if (!EndsStream(info.codec, edge.data(), tail))
                m_tail = info.codec == Codec::H264   ? Bytes{0, 0, 1, 0x0B}
                         : info.codec == Codec::HEVC ? Bytes{0, 0, 1, 0x4A, 0x01}
                                                     : Bytes{0, 0, 1, 0xB7};
        }
    }
    m_segments.clear();
    if (!m_head.empty())
        m_segments.push_back({0, m_head.size(), m_head.data()});
    for (std::size_t i = 0; i < unit.pieceCount; ++i) {
        const Piece& piece = m_salvage.units.pieces[unit.firstPiece + i];
        m_segments.push_back({piece.offset, piece.size, nullptr});
    }
    if (!m_tail.empty())
        m_segments.push_back({0, m_tail.size(), m_tail.data()});
    m_unitSize = m_head.size() + unit.size + m_tail.size();
    m_segment = 0;
    m_segmentDone = 0;
    m_span = nullptr;
    if (unit.pieceCount > 0) {
        const Piece& first = m_salvage.units.pieces[unit.firstPiece];
        const Piece& last = m_salvage.units.pieces[unit.firstPiece + unit.pieceCount - 1];
        const std::uint64_t length = last.offset + last.size - first.offset;
        m_spanStart = first.offset;
        if (last.offset >= first.offset && length <= m_in.WindowSize())
            m_span = m_in.Peek(first.offset, static_cast<std::size_t>(length));
    }
    return true;
}

template <typename Use> void Writer::UnitBytes(std::size_t n, Use use)
{
    while (n > 0 && !m_readFailed && !m_writeFailed) {
        const Segment& segment = m_segments[m_segment];
        const std::size_t take = std::min({n, segment.size - m_segmentDone, m_in.WindowSize()});
        const std::uint8_t* data = segment.own ? segment.own + m_segmentDone
                                   : m_span    ? m_span + (segment.offset - m_spanStart) + m_segmentDone
                                               : m_in.Peek(segment.offset + m_segmentDone, take);
        m_readFailed = !data;
        if (data)
            use(data, take);
        n -= take;
        m_segmentDone += take;
        if (m_segmentDone == segment.size) {
            ++m_segment;
            m_segmentDone = 0;
        }
    }
}

void Writer::Flush()
{
    if (!m_buffer.empty()) {
        m_writeFailed = !m_out.Write(m_buffer.data(), m_buffer.size()) || m_writeFailed;
        m_buffer.clear();
    }
}

void Writer::Emit(std::size_t n)
{
    Flush();
    UnitBytes(n, [this](const std::uint8_t* data, std::size_t size) {
        m_writeFailed = !m_out.Write(data, size) || m_writeFailed;
    });
}

std::uint8_t Writer::StreamId(std::size_t stream) const
{
    const MpegStreamInfo& info = m_salvage.streams[stream];
    if (!m_salvage.transport)
        return info.streamId;
    if (IsVideo(info.codec))
        return 0xE0;
    if (info.codec == Codec::AC3 || info.codec == Codec::EAC3)
        return PRIVATE_STREAM_1;
    return static_cast<std::uint8_t>(0xC0 + (stream & 0x1F));
}

void Writer::PackHeader(std::int64_t scr)
{
    Bytes& b = m_buffer;
    b.insert(b.end(), {0, 0, 1, 0xBA});
    const std::uint32_t rate = m_salvage.muxRate ? m_salvage.muxRate : MUX_RATE;
    if (m_salvage.mpeg1) {
        b.resize(b.size() + 5);
        PutTimestamp(b.data() + b.size() - 5, 2, scr);
        b.push_back(static_cast<std::uint8_t>(0x80 | ((rate >> 15) & 0x7F)));
        b.push_back(static_cast<std::uint8_t>(rate >> 7));
        b.push_back(static_cast<std::uint8_t>(((rate << 1) & 0xFE) | 1));
        return;
    }
    b.push_back(static_cast<std::uint8_t>(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03)));
    b.push_back(static_cast<std::uint8_t>(scr >> 20));
    b.push_back(static_cast<std::uint8_t>(((scr >> 12) & 0xF8) | 0x04 | ((scr >> 13) & 0x03)));
    b.push_back(static_cast<std::uint8_t>(scr >> 5));
    b.push_back(static_cast<std::uint8_t>(((scr << 3) & 0xF8) | 0x04));
    b.push_back(0x01);
    b.push_back(static_cast<std::uint8_t>(rate >> 14));
    b.push_back(static_cast<std::uint8_t>(rate >> 6));
    b.push_back(static_cast<std::uint8_t>(((rate << 2) & 0xFC) | 0x03));
    b.push_back(0xF8);
}

void Writer::SystemHeader()
{
    const std::uint32_t rate = m_salvage.muxRate ? m_salvage.muxRate : MUX_RATE;
    std::size_t audio = 0;
    Bytes entries;
    for (std::size_t stream : m_plan.streams) {
        const bool video = IsVideo(m_salvage.streams[stream].codec);
        audio += video ? 0 : 1;
        entries.push_back(StreamId(stream));
        // Buffer bounds: 232 KiB for video, 4 KiB for audio.
        entries.push_back(video ? 0xE0 : 0xC0);
        entries.push_back(video ? 232 : 32);
    }
    Bytes& b = m_buffer;
    b.insert(b.end(), {0, 0, 1, 0xBB});
    Put16(b, 6 + entries.size());
    b.push_back(static_cast<std::uint8_t>(0x80 | ((rate >> 15) & 0x7F)));
    b.push_back(static_cast<std::uint8_t>(rate >> 7));
    b.push_back(static_cast<std::uint8_t>(((rate << 1) & 0xFE) | 1));
    b.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(audio, 32) << 2));
    b.push_back(0xE1); // audio and video locked, marker, one video stream
    b.push_back(0x7F);
    b.insert(b.end(), entries.begin(), entries.end());
}

void Writer::ProgramUnit(const Unit& unit, const std::int64_t* pts, const std::int64_t* dts)
{
    const MpegStreamInfo& info = m_salvage.streams[unit.stream];
    const bool privateData = info.streamId == PRIVATE_STREAM_1;
    for (std::size_t done = 0; done < m_unitSize;) {
        const std::size_t size = std::min(m_unitSize - done, MAX_PACKET_PAYLOAD);
        const bool first = done == 0;
        const std::array<std::uint8_t, 4> prefix = {info.subStream, static_cast<std::uint8_t>(first ? 1 : 0),
                                                    0, static_cast<std::uint8_t>(first ? 1 : 0)};
        const std::size_t prefixSize = privateData ? prefix.size() : 0;
        const HeaderBytes header = PacketHeaderBytes(info.streamId, m_salvage.mpeg1, prefixSize + size,
                                                     first ? pts : nullptr, first ? dts : nullptr);
        PackHeader(std::max<std::int64_t>(0, (dts ? *dts : *pts) - DELIVERY));
        m_buffer.insert(m_buffer.end(), header.data(), header.data() + header.size());
        m_buffer.insert(m_buffer.end(), prefix.begin(),
                        prefix.begin() + static_cast<std::ptrdiff_t>(prefixSize));
        Emit(size);
        done += size;
    }
}

std::array<std::uint8_t, 4> Writer::ArrivalTime(std::int64_t clock)
{
    const auto arrival = static_cast<std::uint32_t>((clock * PCR_TICKS) & 0x3FFFFFFF);
    return {static_cast<std::uint8_t>(arrival >> 24), static_cast<std::uint8_t>(arrival >> 16),
            static_cast<std::uint8_t>(arrival >> 8), static_cast<std::uint8_t>(arrival)};
}

void Writer::Section(std::uint16_t pid, Bytes section, std::int64_t clock)
{
    const std::uint32_t crc = SectionCrc(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        section.push_back(static_cast<std::uint8_t>(crc >> shift));
    if (m_salvage.packetSize == TS_PREFIXED_PACKET) {
        const std::array<std::uint8_t, 4> arrival = ArrivalTime(clock);
        m_buffer.insert(m_buffer.end(), arrival.begin(), arrival.end());
    }
    m_buffer.insert(m_buffer.end(),
                    {TS_SYNC, static_cast<std::uint8_t>(0x40 | pid >> 8), static_cast<std::uint8_t>(pid),
                     static_cast<std::uint8_t>(0x10 | m_continuity[pid])});
    m_continuity[pid] = (m_continuity[pid] + 1) & 0x0F;
    m_buffer.push_back(0); // the section starts at once
    m_buffer.insert(m_buffer.end(), section.begin(), section.end());
    m_buffer.insert(m_buffer.end(), TS_PAYLOAD - 1 - section.size(), 0xFF);
}

void Writer::ProgramTables(std::int64_t clock)
{
    const std::uint16_t pmt = m_salvage.pmtPid;
    Bytes pat = {0x00, 0xB0, 13, 0x00, 0x01, 0xC1, 0, 0};
    Put16(pat, m_salvage.programNumber);
    pat.push_back(static_cast<std::uint8_t>(0xE0 | pmt >> 8));
    pat.push_back(static_cast<std::uint8_t>(pmt));
    Section(PAT_PID, pat, clock);

    const std::uint16_t pcrPid = m_salvage.streams[m_plan.streams.front()].pid;
    Bytes table = {0x02, 0xB0, 0};
    Put16(table, m_salvage.programNumber);
    table.insert(table.end(), {0xC1, 0, 0, static_cast<std::uint8_t>(0xE0 | pcrPid >> 8),
                               static_cast<std::uint8_t>(pcrPid), 0xF0, 0});
    for (std::size_t stream : m_plan.streams) {
        const MpegStreamInfo& info = m_salvage.streams[stream];
        const std::size_t descriptors = std::min(info.descriptors.size(), MAX_DESCRIPTORS);
        table.push_back(info.streamType);
        table.push_back(static_cast<std::uint8_t>(0xE0 | info.pid >> 8));
        table.push_back(static_cast<std::uint8_t>(info.pid));
        table.push_back(static_cast<std::uint8_t>(0xF0 | descriptors >> 8));
        table.push_back(static_cast<std::uint8_t>(descriptors));
        table.insert(table.end(), info.descriptors.begin(),
                     info.descriptors.begin() + static_cast<std::ptrdiff_t>(descriptors));
    }
    const std::size_t length = table.size() - 3 + 4;
    table[1] = static_cast<std::uint8_t>(0xB0 | length >> 8);
    table[2] = static_cast<std::uint8_t>(length);
    Section(pmt, table, clock);
}

void Writer::TransportPackets(std::uint16_t pid, const HeaderBytes& header, const std::int64_t* pcr,
                              std::int64_t clock)
{
    const std::size_t total = header.size() + m_unitSize;
    Flush();
    // Room for every packet, one more for the clock reference's place in the first.
    std::uint8_t* out = m_out.Room((total / TS_PAYLOAD + 2) * m_salvage.packetSize);
    std::size_t at = 0;
    const std::array<std::uint8_t, 4> arrival = ArrivalTime(clock);
    for (std::size_t done = 0; done < total;) {
        std::array<std::uint8_t, TS_PAYLOAD> adaptation; // as many bytes as adaptationSize say
        std::size_t adaptationSize = 0;
        if (done == 0 && pcr) {
            const std::int64_t base = *pcr;
            adaptation = {0x10,
                          static_cast<std::uint8_t>(base >> 25),
                          static_cast<std::uint8_t>(base >> 17),
                          static_cast<std::uint8_t>(base >> 9),
                          static_cast<std::uint8_t>(base >> 1),
                          static_cast<std::uint8_t>(((base & 1) << 7) | 0x7E),
                          0};
            adaptationSize = 7;
        }
        const std::size_t payload = TS_PAYLOAD - (adaptationSize > 0 ? 1 + adaptationSize : 0);
        const std::size_t take = std::min(payload, total - done);
        bool hasAdaptation = adaptationSize > 0;
        // The last packet is filled up with stuffing in its adaptation field.
        if (take < payload) {
            std::size_t fill = payload - take;
            if (!hasAdaptation) {
                hasAdaptation = true;
                --fill; // the field's length
                if (fill > 0) {
                    adaptation[adaptationSize++] = 0x00; // its flags
                    --fill;
                }
            }
            std::fill_n(adaptation.begin() + static_cast<std::ptrdiff_t>(adaptationSize), fill, 0xFF);
            adaptationSize += fill;
        }
        if (m_salvage.packetSize == TS_PREFIXED_PACKET) {
            std::copy_n(arrival.begin(), arrival.size(), out + at);
            at += arrival.size();
        }
        out[at++] = TS_SYNC;
        out[at++] = static_cast<std::uint8_t>((done == 0 ? 0x40 : 0) | pid >> 8);
        out[at++] = static_cast<std::uint8_t>(pid);
        out[at++] = static_cast<std::uint8_t>((hasAdaptation ? 0x30 : 0x10) | m_continuity[pid]);
        m_continuity[pid] = (m_continuity[pid] + 1) & 0x0F;
        if (hasAdaptation) {
            out[at++] = static_cast<std::uint8_t>(adaptationSize);
            std::copy_n(adaptation.begin(), adaptationSize, out + at);
            at += adaptationSize;
        }
        const std::size_t fromHeader = done < header.size() ? std::min(take, header.size() - done) : 0;
        std::copy_n(header.data() + done, fromHeader, out + at);
        at += fromHeader;
        UnitBytes(take - fromHeader, [&](const std::uint8_t* data, std::size_t size) {
            std::memcpy(out + at, data, size);
            at += size;
        });
        done += take;
    }
    m_writeFailed = !m_out.Commit(at) || m_writeFailed;
}

bool Writer::Write(std::string& error)
{
    std::uint64_t videoTotal = 0;
    for (std::size_t index : m_plan.units)
        videoTotal += m_salvage.units.units[index].stream == m_plan.streams.front() ? 1 : 0;
    std::uint64_t videoDone = 0;
    bool started = false;
    std::size_t lastVideo = 0;
    for (std::size_t index : m_plan.units)
        if (m_salvage.units.units[index].stream == m_plan.streams.front())
            lastVideo = index;
    for (std::size_t index : m_plan.units) {
        const Unit& unit = m_salvage.units.units[index];
        const bool video = unit.stream == m_plan.streams.front();
        if (!Layout(unit, video && !started, index == lastVideo)) {
            error = "cannot read the input";
            return false;
        }
        const std::int64_t pts = Out(unit.pts);
        const std::int64_t dts = Out(unit.dts);
        const std::int64_t* dtsGiven = video && dts != pts ? &dts : nullptr;
        const std::int64_t clock = std::max<std::int64_t>(0, (video ? dts : pts) - DELIVERY);
        if (!m_salvage.transport) {
            if (!started) {
                PackHeader(clock);
                SystemHeader();
            }
            ProgramUnit(unit, &pts, dtsGiven);
        } else {
            if (!started || (video && unit.key))
                ProgramTables(clock);
            const MpegStreamInfo& info = m_salvage.streams[unit.stream];
            const HeaderBytes header =
                PacketHeaderBytes(StreamId(unit.stream), false, m_unitSize, &pts, dtsGiven);
            TransportPackets(info.pid, header, video ? &clock : nullptr, clock);
        }
        started = true;
        if (m_readFailed || m_writeFailed) {
            error = m_readFailed ? "cannot read the input" : "cannot write the output";
            return false;
        }
        if (video && m_options.progress)
            m_options.progress(++videoDone, videoTotal);
    }
    if (!m_salvage.transport) {
        const std::uint8_t end[] = {0, 0, 1, 0xB9};
        if (!m_out.Write(end, sizeof end)) {
            error = "cannot write the output";
            return false;
        }
    }
    return true;
}

} // namespace

bool WriteMpeg(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
               SourceReader& input, ByteSink& output, std::string& error)
{
    Writer writer(salvage, plan, options, input, output);
    return writer.Write(error);
}

} // namespace pg::clipmend::mpeg
