#include "MpegWriter.h"

#include "PesHeader.h"

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

class Writer
{
public:
    Writer(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
           SourceReader& input, ByteSink& output)
        : m_salvage(salvage), m_plan(plan), m_options(options), m_in(input), m_out(output)
    {
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

    void PackHeader(std::int64_t scr);
    void SystemHeader();
    void ProgramUnit(const Unit& unit, const std::int64_t* pts, const std::int64_t* dts);

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
        entries.push_back(m_salvage.streams[stream].streamId);
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
        if (!started) {
            PackHeader(clock);
            SystemHeader();
        }
        ProgramUnit(unit, &pts, dtsGiven);
        started = true;
        if (m_readFailed || m_writeFailed) {
            error = m_readFailed ? "cannot read the input" : "cannot write the output";
            return false;
        }
        if (video && m_options.progress)
            m_options.progress(++videoDone, videoTotal);
    }
    const std::uint8_t end[] = {0, 0, 1, 0xB9};
    if (!m_out.Write(end, sizeof end)) {
        error = "cannot write the output";
        return false;
    }
    return true;
}

} // namespace

bool WriteMpeg(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
               SourceReader& input, ByteSink& output, std::string& error)
{
    if (salvage.transport)
        return CopyTransport(salvage, plan, options, input, output, error);
    Writer writer(salvage, plan, options, input, output);
    return writer.Write(error);
}

} // namespace pg::clipmend::mpeg
