#include "MpegWriter.h"

#include "PesHeader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pg::clipmend::mpeg {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t PAT_PID = 0;
constexpr std::uint16_t NULL_PID = 0x1FFF;
// Service information tables of broadcasts (service names, time, network) ride on these.
constexpr std::uint16_t FIRST_SERVICE_PID = 0x10;
constexpr std::uint16_t LAST_SERVICE_PID = 0x1F;
constexpr std::size_t PID_COUNT = 8192;
constexpr std::size_t TS_PAYLOAD = 184;
constexpr std::size_t PCR_FIELD = 8; // adaptation field length, flags and the reference
constexpr std::int64_t TIMESTAMP_MASK = (std::int64_t{1} << 33) - 1;
// The program table fits one packet: at most MAX_AUDIO_STREAMS audio streams with this much each.
constexpr std::size_t MAX_DESCRIPTORS = 16;
// How far the next packet of a stream is looked for, to number fresh packets so that it follows.
constexpr std::uint64_t NEXT_PACKET_REACH = 1 << 20;

enum class UnitState : std::uint8_t {
    WAITING,  // none of its bytes written yet
    COPIED,   // its packets go out as they are
    REPACKED, // written whole in fresh packets
};

int Following(int continuity)
{
    return (continuity + 1) & 0x0F;
}

// Copies the input's packets as they are wherever they hold only what is written, and packs
// afresh only where a packet also holds something left out: the output keeps the input's
// timing, clock references and packet layout, and costs little more than a copy. Continuity
// counters stay consistent: fresh packets are spread over as many packets as make the next
// copied one follow, and tables are repeated where packets of theirs were left out.
class TransportCopier
{
public:
    TransportCopier(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
                    SourceReader& input, ByteSink& output);

    bool Copy(std::string& error);

private:
    struct Stream
    {
        std::size_t index = 0;
        std::vector<std::size_t> units; // written, in stream order
        std::size_t nextUnit = 0;       // the next piece not yet met: its unit in units
        std::uint32_t nextPiece = 0;    // and its place there
        int continuity = -1;            // of the last packet with payload written
        bool copying = false;           // the packet stream's current PES goes out as it is
    };

    // A piece of a written unit met in a packet.
    struct Met
    {
        std::size_t unit;
        Piece piece;
        bool first;
        bool last;
        std::size_t at;       // its unit's place in the stream's units
        std::uint32_t number; // its place in the unit
    };

    enum class Kind : std::uint8_t { DROPPED, STREAM, TABLE, KEPT };

    std::uint64_t PacketStart(std::uint64_t offset) const;
    bool NeedsRepacking(std::size_t unit) const;
    // Moves the stream's next piece past units written already.
    void SkipRepacked(Stream& stream);
    // The pieces of stream's written units that start before end, in order.
    void TakePieces(Stream& stream, std::uint64_t end, std::vector<Met>& met);
    // Whether a PES holding length bytes of the stream, from the stream's next piece on, holds
    // only bytes of written units.
    bool WholeWritten(const Stream& stream, std::size_t at, std::uint32_t number, std::uint64_t packetStart,
                      std::size_t length) const;
    // The next packet of pid after `after` that starts a PES: its place and continuity counter.
    // Where none is found near, -1, with the place where the search ended.
    int NextStart(std::uint16_t pid, std::uint64_t after, std::uint64_t& where);

    void StreamPacket(Stream& stream, std::uint64_t pos, const std::uint8_t* packet, bool whole);
    void TablePacket(std::uint16_t pid, std::uint64_t pos, const std::uint8_t* packet);
    // The written units of the PES the packet at pos belongs to, from the stream's unit at on,
    // as one fresh PES spread over as many packets as make the next PES's first packet follow on.
    void Repack(Stream& stream, std::size_t at, std::uint64_t pos, const std::uint8_t* pcr);
    // Bytes of units whose packets went out as they were, in packets that continue their PES.
    void Continue(Stream& stream, const Bytes& bytes, const std::uint8_t* pcr);
    void PutPacket(std::uint16_t pid, bool unitStart, int continuity, const std::uint8_t* pcr,
                   const std::uint8_t* payload, std::size_t size);
    void ProgramTables();
    void Section(std::uint16_t pid, Bytes section);
    // Repeats the table's last packet until the packet numbered continuity follows on.
    void Bridge(std::uint16_t pid, int continuity);
    void Finished(std::size_t unit);
    std::uint8_t StreamId(std::size_t stream) const;

    void Keep(std::uint64_t pos);
    void FlushRun();
    void Put(const std::uint8_t* data, std::size_t size);

    const MpegSalvage& m_salvage;
    const MpegPlan& m_plan;
    const OutputOptions& m_options;
    SourceReader& m_in;
    ByteSink& m_out;
    const std::uint32_t m_size;   // of a packet
    const std::uint32_t m_syncAt; // where its sync byte lies
    std::vector<Stream> m_streams;
    std::vector<std::uint8_t> m_streamOf = std::vector<std::uint8_t>(PID_COUNT, 0); // 1 + index
    std::vector<Kind> m_kind = std::vector<Kind>(PID_COUNT, Kind::DROPPED);
    std::vector<UnitState> m_state;
    bool m_inputTables = false; // the input's own tables describe exactly what is written
    std::size_t m_firstVideo = 0;
    std::size_t m_lastVideo = 0;
    Bytes m_head;                            // the sequence header the first picture lacks
    Bytes m_tail;                            // the end code the last picture lacks
    std::array<std::uint8_t, 4> m_arrival{}; // of the packet being looked at
    std::vector<int> m_tableContinuity = std::vector<int>(PID_COUNT, -1);
    std::vector<Bytes> m_lastTable = std::vector<Bytes>(PID_COUNT);
    std::vector<Met> m_met;
    std::uint64_t m_runStart = 0;
    std::uint64_t m_runEnd = 0;
    std::uint64_t m_videoDone = 0;
    std::uint64_t m_videoTotal = 0;
    bool m_readFailed = false;
    bool m_writeFailed = false;
    bool m_windowMoved = false; // the reader may have looked elsewhere since the walk's last look
};

TransportCopier::TransportCopier(const MpegSalvage& salvage, const MpegPlan& plan,
                                 const OutputOptions& options, SourceReader& input, ByteSink& output)
    : m_salvage(salvage), m_plan(plan), m_options(options), m_in(input), m_out(output),
      m_size(salvage.packetSize), m_syncAt(salvage.packetSize - TS_PACKET),
      m_state(salvage.units.units.size(), UnitState::WAITING)
{
    const std::vector<Unit>& units = salvage.units.units;
    std::vector<bool> written(units.size(), false);
    for (std::size_t i : plan.units)
        written[i] = true;
    std::vector<std::uint16_t> pids;
    for (std::size_t s : plan.streams) {
        Stream stream;
        stream.index = s;
        m_streams.push_back(stream);
        const std::uint16_t pid = salvage.streams[s].pid;
        m_streamOf[pid] = static_cast<std::uint8_t>(m_streams.size());
        m_kind[pid] = Kind::STREAM;
        pids.push_back(pid);
    }
    for (std::size_t i = 0; i < units.size(); ++i)
        if (written[i])
            m_streams[m_streamOf[salvage.streams[units[i].stream].pid] - 1].units.push_back(i);
    const Stream& video = m_streams.front();
    m_videoTotal = video.units.size();
    if (!video.units.empty()) {
        m_firstVideo = video.units.front();
        m_lastVideo = video.units.back();
    }

    std::vector<std::uint16_t> listed = salvage.tablePids;
    std::sort(pids.begin(), pids.end());
    std::sort(listed.begin(), listed.end());
    m_inputTables = salvage.programCount == 1 && pids == listed;
    if (m_inputTables) {
        m_kind[PAT_PID] = Kind::TABLE;
        m_kind[salvage.pmtPid] = Kind::TABLE;
    }
    for (std::uint16_t pid = FIRST_SERVICE_PID; pid <= LAST_SERVICE_PID; ++pid)
        if (m_kind[pid] == Kind::DROPPED)
            m_kind[pid] = Kind::TABLE;
    m_kind[NULL_PID] = Kind::KEPT;
    if (m_kind[salvage.pcrPid] == Kind::DROPPED && salvage.pcrPid != salvage.pmtPid)
        m_kind[salvage.pcrPid] = Kind::KEPT;
}

std::uint64_t TransportCopier::PacketStart(std::uint64_t offset) const
{
    // The packets' cadence starts afresh where each lost stretch ends.
    const auto after = std::partition_point(m_salvage.lost.begin(), m_salvage.lost.end(),
                                            [&](const ByteRange& lost) { return lost.end <= offset; });
    const std::uint64_t base = after == m_salvage.lost.begin() ? 0 : std::prev(after)->end;
    return base + (offset - base) / m_size * m_size;
}

bool TransportCopier::NeedsRepacking(std::size_t unit) const
{
    return (unit == m_firstVideo && !m_head.empty()) || (unit == m_lastVideo && !m_tail.empty());
}

void TransportCopier::SkipRepacked(Stream& stream)
{
    while (stream.nextUnit < stream.units.size() &&
           m_state[stream.units[stream.nextUnit]] == UnitState::REPACKED) {
        ++stream.nextUnit;
        stream.nextPiece = 0;
    }
}

void TransportCopier::TakePieces(Stream& stream, std::uint64_t end, std::vector<Met>& met)
{
    met.clear();
    for (SkipRepacked(stream); stream.nextUnit < stream.units.size(); SkipRepacked(stream)) {
        const std::size_t index = stream.units[stream.nextUnit];
        const Unit& unit = m_salvage.units.units[index];
        const Piece& piece = m_salvage.units.pieces[unit.firstPiece + stream.nextPiece];
        if (piece.offset >= end)
            return;
        met.push_back({index, piece, stream.nextPiece == 0, stream.nextPiece + 1 == unit.pieceCount,
                       stream.nextUnit, stream.nextPiece});
        if (++stream.nextPiece == unit.pieceCount) {
            ++stream.nextUnit;
            stream.nextPiece = 0;
        }
    }
}

bool TransportCopier::WholeWritten(const Stream& stream, std::size_t at, std::uint32_t number,
                                   std::uint64_t packetStart, std::size_t length) const
{
    std::size_t total = 0;
    std::uint64_t end = 0;
    std::uint32_t pieceAt = number;
    for (std::size_t u = at; u < stream.units.size(); ++u, pieceAt = 0) {
        const std::size_t index = stream.units[u];
        const Unit& unit = m_salvage.units.units[index];
        if (m_state[index] == UnitState::REPACKED || NeedsRepacking(index))
            return false;
        for (std::uint32_t p = pieceAt; p < unit.pieceCount; ++p) {
            const Piece& piece = m_salvage.units.pieces[unit.firstPiece + p];
            // A piece goes on where the last one ended, or in a later packet where it filled its own.
            if (total > 0 && piece.offset != end && (end - packetStart) % m_size != 0)
                return false;
            total += piece.size;
            end = piece.offset + piece.size;
            if (total >= length)
                return total == length;
        }
    }
    return false;
}

int TransportCopier::NextStart(std::uint16_t pid, std::uint64_t after, std::uint64_t& where)
{
    m_windowMoved = true;
    const auto lost = std::partition_point(m_salvage.lost.begin(), m_salvage.lost.end(),
                                           [&](const ByteRange& range) { return range.begin <= after; });
    const std::uint64_t lostFrom = lost == m_salvage.lost.end() ? m_in.Size() : lost->begin;
    std::uint64_t pos = after + m_size;
    for (; pos + m_size <= lostFrom && pos <= after + NEXT_PACKET_REACH; pos += m_size) {
        const std::uint8_t* b = m_in.Peek(pos + m_syncAt, 4);
        if (!b || b[0] != TS_SYNC)
            break;
        if (((b[1] & 0x1F) << 8 | b[2]) == pid && (b[1] & 0x40) && (b[3] & 0x10)) {
            where = pos;
            return b[3] & 0x0F;
        }
    }
    where = pos;
    return -1;
}

void TransportCopier::Keep(std::uint64_t pos)
{
    if (m_runEnd != pos) {
        FlushRun();
        m_runStart = pos;
    }
    m_runEnd = pos + m_size;
}

void TransportCopier::FlushRun()
{
    if (m_runEnd > m_runStart && !m_writeFailed) {
        m_writeFailed = !m_out.CopyAside(m_in, m_runStart, m_runEnd - m_runStart);
        m_windowMoved = true;
    }
    m_runStart = m_runEnd = 0;
}

void TransportCopier::Put(const std::uint8_t* data, std::size_t size)
{
    FlushRun();
    m_writeFailed = m_writeFailed || !m_out.Write(data, size);
}

void TransportCopier::Finished(std::size_t unit)
{
    if (m_salvage.units.units[unit].stream == m_streams.front().index && m_options.progress)
        m_options.progress(++m_videoDone, m_videoTotal);
}

std::uint8_t TransportCopier::StreamId(std::size_t stream) const
{
    const MpegStreamInfo& info = m_salvage.streams[stream];
    if (IsVideo(info.codec))
        return 0xE0;
    if (info.codec == Codec::AC3 || info.codec == Codec::EAC3)
        return PRIVATE_STREAM_1;
    return static_cast<std::uint8_t>(0xC0 + (stream & 0x1F));
}

void TransportCopier::PutPacket(std::uint16_t pid, bool unitStart, int continuity, const std::uint8_t* pcr,
                                const std::uint8_t* payload, std::size_t size)
{
    std::array<std::uint8_t, TS_PREFIXED_PACKET> packet;
    std::size_t at = 0;
    if (m_syncAt > 0) {
        std::copy(m_arrival.begin(), m_arrival.end(), packet.begin());
        at = m_arrival.size();
    }
    const bool adaptation = pcr || size < TS_PAYLOAD;
    packet[at++] = TS_SYNC;
    packet[at++] = static_cast<std::uint8_t>((unitStart ? 0x40 : 0) | pid >> 8);
    packet[at++] = static_cast<std::uint8_t>(pid);
    packet[at++] = static_cast<std::uint8_t>((adaptation ? 0x20 : 0) | (size > 0 ? 0x10 : 0) | continuity);
    if (adaptation) {
        const std::size_t length = TS_PAYLOAD - 1 - size;
        packet[at++] = static_cast<std::uint8_t>(length);
        std::size_t filled = 0;
        if (length > 0) {
            packet[at + filled++] = pcr ? 0x10 : 0x00;
            if (pcr) {
                std::copy_n(pcr, 6, packet.begin() + static_cast<std::ptrdiff_t>(at + filled));
                filled += 6;
            }
        }
        std::fill_n(packet.begin() + static_cast<std::ptrdiff_t>(at + filled), length - filled, 0xFF);
        at += length;
    }
    std::copy_n(payload, size, packet.begin() + static_cast<std::ptrdiff_t>(at));
    Put(packet.data(), m_size);
}

void TransportCopier::Repack(Stream& stream, std::size_t at, std::uint64_t pos, const std::uint8_t* pcr)
{
    const Unit& head = m_salvage.units.units[stream.units[at]];
    const bool video = head.stream == m_streams.front().index;
    const std::uint16_t pid = m_salvage.streams[head.stream].pid;
    std::uint64_t nextStart = m_in.Size();
    const int next = NextStart(pid, pos, nextStart);
    Bytes bytes;
    for (std::size_t u = at; u < stream.units.size() && !m_readFailed; ++u) {
        const std::size_t index = stream.units[u];
        const Unit& unit = m_salvage.units.units[index];
        if (m_state[index] != UnitState::WAITING ||
            (u > at && unit.pieceCount > 0 && m_salvage.units.pieces[unit.firstPiece].offset >= nextStart))
            break;
        if (index == m_firstVideo)
            bytes.insert(bytes.end(), m_head.begin(), m_head.end());
        for (std::uint32_t p = 0; p < unit.pieceCount && !m_readFailed; ++p) {
            const Piece& piece = m_salvage.units.pieces[unit.firstPiece + p];
            const std::uint8_t* data = m_in.Peek(piece.offset, piece.size);
            m_readFailed = !data;
            if (data)
                bytes.insert(bytes.end(), data, data + piece.size);
        }
        if (index == m_lastVideo)
            bytes.insert(bytes.end(), m_tail.begin(), m_tail.end());
        m_state[index] = UnitState::REPACKED;
        Finished(index);
    }
    const std::int64_t pts = head.pts & TIMESTAMP_MASK;
    const std::int64_t dts = head.dts & TIMESTAMP_MASK;
    const HeaderBytes header = PacketHeaderBytes(StreamId(head.stream), false, bytes.size(), &pts,
                                                 video && dts != pts ? &dts : nullptr);
    bytes.insert(bytes.begin(), header.data(), header.data() + header.size());

    // As few packets as hold the bytes, or up to fifteen more so that the next PES follows on.
    const std::size_t firstRoom = TS_PAYLOAD - (pcr ? PCR_FIELD : 0);
    const std::size_t fewest =
        bytes.size() <= firstRoom ? 1 : 1 + (bytes.size() - firstRoom + TS_PAYLOAD - 1) / TS_PAYLOAD;
    std::size_t count = fewest;
    int first = stream.continuity < 0 ? 0 : Following(stream.continuity);
    if (next >= 0) {
        if (stream.continuity < 0)
            first = static_cast<int>((static_cast<std::size_t>(next) + 16 - fewest % 16) % 16);
        const std::size_t wanted = static_cast<std::size_t>((next - first + 16) % 16);
        const std::size_t spread = fewest + (wanted + 16 - fewest % 16) % 16;
        if (spread <= bytes.size())
            count = spread;
    }
    std::size_t done = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t room = k == 0 ? firstRoom : TS_PAYLOAD;
        const std::size_t take = std::min(room, bytes.size() - done - (count - 1 - k));
        const int continuity = static_cast<int>((static_cast<std::size_t>(first) + k) % 16);
        PutPacket(pid, k == 0, continuity, k == 0 ? pcr : nullptr, bytes.data() + done, take);
        done += take;
        stream.continuity = continuity;
    }
    stream.copying = false;
}

void TransportCopier::Continue(Stream& stream, const Bytes& bytes, const std::uint8_t* pcr)
{
    const std::uint16_t pid = m_salvage.streams[stream.index].pid;
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t take = std::min(bytes.size() - done, TS_PAYLOAD - (pcr ? PCR_FIELD : 0));
        stream.continuity = stream.continuity < 0 ? 0 : Following(stream.continuity);
        PutPacket(pid, false, stream.continuity, pcr, bytes.data() + done, take);
        pcr = nullptr;
        done += take;
    }
}

void TransportCopier::StreamPacket(Stream& stream, std::uint64_t pos, const std::uint8_t* b, bool whole)
{
    const bool unitStart = (b[1] & 0x40) != 0;
    const int control = (b[3] >> 4) & 3;
    const int continuity = b[3] & 0x0F;
    const std::size_t payload = control & 2 ? 5 + std::size_t{b[4]} : 4;
    const bool sound =
        whole && (b[1] & 0x80) == 0 && (b[3] & 0xC0) == 0 && control != 0 && payload <= TS_PACKET;
    const std::uint8_t* pcr = sound && (control & 2) && b[4] >= 7 && (b[5] & 0x10) &&
                                      m_salvage.pcrPid == m_salvage.streams[stream.index].pid
                                  ? b + 6
                                  : nullptr;
    const std::uint64_t end = pos + m_size;
    TakePieces(stream, end, m_met);
    if (sound && control == 2 && m_met.empty()) {
        Keep(pos); // a clock reference alone
        return;
    }
    // Where the units' bytes start: after the PES header in the first packet of a PES.
    std::uint64_t unitsFrom = pos + m_syncAt + payload;
    std::size_t pesLength = 0;
    bool clean = sound && (control & 1);
    if (clean && unitStart) {
        const std::uint8_t* p = b + payload;
        const std::size_t size = TS_PACKET - payload;
        clean = size >= 9 && p[0] == 0 && p[1] == 0 && p[2] == 1 && 9 + std::size_t{p[8]} <= size;
        if (clean) {
            unitsFrom += 9 + p[8];
            pesLength = std::size_t{p[4]} << 8 | p[5];
            pesLength = pesLength == 0 ? 0 : pesLength + 6 - (9 + p[8]);
        }
    }
    for (const Met& m : m_met) {
        clean = clean && m.piece.offset == unitsFrom && m_state[m.unit] != UnitState::REPACKED;
        unitsFrom = m.piece.offset + m.piece.size;
    }
    clean = clean && unitsFrom == end;
    if (unitStart) {
        stream.copying = false;
        if (clean && !m_met.empty() &&
            (stream.continuity < 0 || continuity == Following(stream.continuity)) &&
            !NeedsRepacking(m_met.front().unit)) {
            // Tell a PES of known length by the units that fill it, which were taken just now.
            stream.copying = pesLength == 0 ||
                             WholeWritten(stream, m_met.front().at, m_met.front().number, pos, pesLength);
        }
    } else {
        stream.copying = stream.copying && clean && continuity == Following(stream.continuity);
    }
    if (!m_inputTables && unitStart && stream.index == m_streams.front().index && !m_met.empty() &&
        m_met.front().first && m_salvage.units.units[m_met.front().unit].key)
        ProgramTables();
    if (stream.copying) {
        for (const Met& m : m_met) {
            m_state[m.unit] = UnitState::COPIED;
            if (m.last)
                Finished(m.unit);
        }
        stream.continuity = continuity;
        Keep(pos);
        return;
    }
    // Bytes of units copied so far continue their PES; units that start here are packed afresh.
    Bytes continued;
    for (const Met& m : m_met) {
        if (m_state[m.unit] != UnitState::COPIED)
            continue;
        const std::uint8_t* data = m_in.Peek(m.piece.offset, m.piece.size);
        m_readFailed = m_readFailed || !data;
        if (data)
            continued.insert(continued.end(), data, data + m.piece.size);
        if (m.last)
            Finished(m.unit);
    }
    if (!continued.empty()) {
        Continue(stream, continued, pcr);
        pcr = nullptr;
    }
    for (const Met& m : m_met) {
        if (m_state[m.unit] == UnitState::WAITING) {
            Repack(stream, m.at, pos, pcr);
            pcr = nullptr;
        }
    }
    if (pcr) {
        // The clock reference of a packet left out, alone in a packet of its own.
        PutPacket(m_salvage.streams[stream.index].pid, false, std::max(stream.continuity, 0), pcr, nullptr,
                  0);
    }
}

void TransportCopier::Bridge(std::uint16_t pid, int continuity)
{
    Bytes& last = m_lastTable[pid];
    int& written = m_tableContinuity[pid];
    if (written < 0 || last.empty())
        return;
    while (Following(written) != continuity) {
        written = Following(written);
        last[m_syncAt + 3] = static_cast<std::uint8_t>((last[m_syncAt + 3] & 0xF0) | written);
        Put(last.data(), last.size());
    }
}

void TransportCopier::TablePacket(std::uint16_t pid, std::uint64_t pos, const std::uint8_t* b)
{
    // Only tables whole in one packet are copied: one of them can be repeated to bridge a gap.
    const std::uint8_t* section = b + 5;
    const bool single = (b[1] & 0xC0) == 0x40 && (b[3] & 0xF0) == 0x10 && b[4] == 0 &&
                        3 + ((std::size_t{section[1]} & 0x0F) << 8 | section[2]) <= TS_PAYLOAD - 1;
    if (!single)
        return;
    const std::size_t length = 3 + ((std::size_t{section[1]} & 0x0F) << 8 | section[2]);
    if ((section[1] & 0x80) && SectionCrc(section, length) != 0)
        return;
    const int continuity = b[3] & 0x0F;
    if (continuity == m_tableContinuity[pid])
        return; // sent twice
    Bridge(pid, continuity);
    Keep(pos);
    m_tableContinuity[pid] = continuity;
    m_lastTable[pid].assign(b - m_syncAt, b - m_syncAt + m_size);
}

void TransportCopier::Section(std::uint16_t pid, Bytes section)
{
    const std::uint32_t crc = SectionCrc(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        section.push_back(static_cast<std::uint8_t>(crc >> shift));
    section.insert(section.begin(), 0); // the section starts at once
    section.resize(TS_PAYLOAD, 0xFF);
    const int continuity = m_tableContinuity[pid] < 0 ? 0 : Following(m_tableContinuity[pid]);
    PutPacket(pid, true, continuity, nullptr, section.data(), section.size());
    m_tableContinuity[pid] = continuity;
    Bytes& last = m_lastTable[pid];
    last.assign(m_arrival.begin(), m_arrival.begin() + m_syncAt);
    last.insert(last.end(), {TS_SYNC, static_cast<std::uint8_t>(0x40 | pid >> 8),
                             static_cast<std::uint8_t>(pid), static_cast<std::uint8_t>(0x10 | continuity)});
    last.insert(last.end(), section.begin(), section.end());
}

void TransportCopier::ProgramTables()
{
    const std::uint16_t pmt = m_salvage.pmtPid;
    Bytes pat = {0x00, 0xB0, 13, 0x00, 0x01, 0xC1, 0, 0};
    Put16(pat, m_salvage.programNumber);
    pat.push_back(static_cast<std::uint8_t>(0xE0 | pmt >> 8));
    pat.push_back(static_cast<std::uint8_t>(pmt));
    Section(PAT_PID, pat);

    // The clock references are the input's: on its own PID where that is kept, on the video's where not.
    const std::uint16_t pcrPid = m_kind[m_salvage.pcrPid] != Kind::DROPPED
                                     ? m_salvage.pcrPid
                                     : m_salvage.streams[m_plan.streams.front()].pid;
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
    Section(pmt, table);
}

bool TransportCopier::Copy(std::string& error)
{
    const std::vector<Unit>& units = m_salvage.units.units;
    const std::vector<Piece>& pieces = m_salvage.units.pieces;
    std::uint64_t first = m_in.Size();
    std::uint64_t last = 0;
    for (const Stream& stream : m_streams) {
        if (stream.units.empty())
            continue;
        const Unit& a = units[stream.units.front()];
        const Unit& z = units[stream.units.back()];
        first = std::min<std::uint64_t>(first, pieces[a.firstPiece].offset);
        last = std::max<std::uint64_t>(last, pieces[z.firstPiece + z.pieceCount - 1].offset);
    }
    if (first > last || m_streams.front().units.empty()) {
        error = "nothing to write";
        return false;
    }

    // A decoder needs the sequence header before the first picture, and the end code tells it
    // that the last one is whole.
    const MpegStreamInfo& video = m_salvage.streams[m_plan.streams.front()];
    const Bytes& sequence = m_salvage.sequenceHeaders[m_plan.streams.front()];
    std::array<std::uint8_t, 5> edge{};
    const Unit& firstPicture = units[m_firstVideo];
    if (!sequence.empty() && firstPicture.size >= 4 && firstPicture.pieceCount > 0) {
        const Piece& piece = pieces[firstPicture.firstPiece];
        const std::uint8_t* data = m_in.Peek(piece.offset, std::min<std::size_t>(4, piece.size));
        if (data && !(piece.size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 1 && data[3] == 0xB3))
            m_head = sequence;
    }
    const Unit& lastPicture = units[m_lastVideo];
    if (lastPicture.size >= 4) {
        const std::size_t tail = std::min<std::size_t>(lastPicture.size, edge.size());
        std::size_t filled = 0;
        for (std::uint32_t p = lastPicture.pieceCount; p-- > 0 && filled < tail;) {
            const Piece& piece = pieces[lastPicture.firstPiece + p];
            const std::size_t take = std::min<std::size_t>(piece.size, tail - filled);
            const std::uint8_t* data = m_in.Peek(piece.offset + piece.size - take, take);
            if (!data) {
                error = "cannot read the input";
                return false;
            }
            std::copy_n(data, take, edge.begin() + static_cast<std::ptrdiff_t>(tail - filled - take));
            filled += take;
        }
        if (!EndsStream(video.codec, edge.data(), tail))
            m_tail = video.codec == Codec::H264   ? Bytes{0, 0, 1, 0x0B}
                     : video.codec == Codec::HEVC ? Bytes{0, 0, 1, 0x4A, 0x01}
                                                  : Bytes{0, 0, 1, 0xB7};
    }

    std::uint64_t pos = PacketStart(first);
    const std::uint64_t end = std::min<std::uint64_t>(PacketStart(last) + m_size, m_in.Size());
    if (const std::uint8_t* b = m_in.Peek(pos, m_syncAt))
        std::copy_n(b, m_syncAt, m_arrival.begin());
    ProgramTables();
    std::size_t lost = 0;
    const std::vector<ByteRange>& ranges = m_salvage.lost;
    while (pos < end && !m_readFailed && !m_writeFailed) {
        while (lost < ranges.size() && ranges[lost].end <= pos)
            ++lost;
        if (lost < ranges.size() && ranges[lost].begin <= pos) {
            pos = ranges[lost].end;
            continue;
        }
        // Where the packets' cadence holds: to the next lost stretch, or the end.
        const std::uint64_t limit = std::min(lost < ranges.size() ? ranges[lost].begin : end, end);
        std::size_t available = 0;
        const std::uint8_t* block = m_in.PeekAhead(pos, m_size, available);
        if (!block || available < std::min<std::uint64_t>(m_size, limit - pos)) {
            m_readFailed = true;
            break;
        }
        const std::uint64_t blockStart = pos;
        const std::uint64_t blockEnd = pos + available;
        // Until something else looks at the input, which may move the window.
        for (m_windowMoved = false; pos < limit && !m_windowMoved; pos = std::min(pos + m_size, limit)) {
            const bool whole = pos + m_size <= limit;
            if (!whole && pos + m_syncAt + 6 > limit)
                continue; // too little of a packet to tell anything by
            if (pos + std::min<std::uint64_t>(m_size, limit - pos) > blockEnd)
                break;
            const std::uint8_t* b = block + (pos - blockStart) + m_syncAt;
            std::copy_n(b - m_syncAt, m_syncAt, m_arrival.begin());
            if (b[0] != TS_SYNC)
                continue;
            const auto pid = static_cast<std::uint16_t>((b[1] & 0x1F) << 8 | b[2]);
            switch (m_kind[pid]) {
            case Kind::STREAM:
                StreamPacket(m_streams[m_streamOf[pid] - 1], pos, b, whole);
                break;
            case Kind::TABLE:
                if (whole)
                    TablePacket(pid, pos, b);
                break;
            case Kind::KEPT:
                if (whole)
                    Keep(pos);
                break;
            case Kind::DROPPED:
                break;
            }
        }
    }
    FlushRun();
    if (m_readFailed || m_writeFailed) {
        error = m_readFailed ? "cannot read the input" : "cannot write the output";
        return false;
    }
    return true;
}

} // namespace

bool CopyTransport(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
                   SourceReader& input, ByteSink& output, std::string& error)
{
    TransportCopier copier(salvage, plan, options, input, output);
    return copier.Copy(error);
}

} // namespace pg::clipmend::mpeg
