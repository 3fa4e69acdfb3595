#include "PesHeader.h"
#include "UnitCopier.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace pg::clipmend::mpeg {

namespace {

constexpr std::uint16_t PAT_PID = 0;
constexpr std::uint16_t NULL_PID = 0x1FFF;
// Service information tables of broadcasts (service names, time, network) ride on these.
constexpr std::uint16_t FIRST_SERVICE_PID = 0x10;
constexpr std::uint16_t LAST_SERVICE_PID = 0x1F;
constexpr std::size_t PID_COUNT = 8192;
constexpr std::size_t TS_PAYLOAD = 184;
constexpr std::size_t PCR_FIELD = 8; // adaptation field length, flags and the reference
// The program table fits one packet: at most MAX_AUDIO_STREAMS audio streams with this much each.
constexpr std::size_t MAX_DESCRIPTORS = 16;

int Following(int continuity)
{
    return (continuity + 1) & 0x0F;
}

// A transport stream's packets, copied as they are where they hold only written units. Continuity
// counters stay consistent: fresh packets are spread over as many packets as make the next
// copied one follow, and tables are repeated where packets of theirs were left out.
class TransportCopier final : public UnitCopier
{
public:
    TransportCopier(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
                    SourceReader& input, ByteSink& output);

    bool Begin(std::string& error) override;
    bool Advance(std::uint64_t upTo) override;
    bool Finish(std::string& error) override;

private:
    // Per written stream, beside its units.
    struct PesState
    {
        int continuity = -1;  // of the last packet with payload written
        bool copying = false; // the current PES goes out as it is
    };

    enum class Kind : std::uint8_t { DROPPED, STREAM, TABLE, KEPT };

    std::uint64_t PacketStart(std::uint64_t offset) const;
    // Whether a PES holding length bytes of the stream, from the stream's next piece on, holds
    // only bytes of written units.
    bool WholeWritten(const Stream& stream, std::size_t at, std::uint32_t number, std::uint64_t packetStart,
                      std::size_t length) const;
    // The next packet of pid after `after` that starts a PES: its place and continuity counter.
    // Where none is found near, -1, with the place where the search ended.
    int NextStart(std::uint16_t pid, std::uint64_t after, std::uint64_t& where);

    void StreamPacket(std::size_t place, std::uint64_t pos, const std::uint8_t* packet, bool whole);
    // Written bytes the walk does not meet in packets of their own (in a lost stretch from where
    // a packet was cut, or past the walk's end) go afresh: each stream's pieces before end,
    // with the next PES looked for after `after`.
    void Leftovers(std::uint64_t end, std::uint64_t after);
    // Bytes of units copied so far continue their PES; units that start among the pieces met go
    // afresh.
    void Fresh(std::size_t place, std::uint64_t pos, const std::uint8_t* pcr);
    void TablePacket(std::uint16_t pid, std::uint64_t pos, const std::uint8_t* packet);
    // The written units of the PES the packet at pos belongs to, from the stream's unit at on,
    // afresh (each picture in a PES of its own, sound frames in one), spread over as many
    // packets as make the next PES's first packet follow on.
    void Repack(std::size_t place, std::size_t at, std::uint64_t pos, const std::uint8_t* pcr);
    // Bytes of units whose packets went out as they were, in packets that continue their PES.
    void Continue(std::size_t place, const Bytes& bytes, const std::uint8_t* pcr);
    void PutPacket(std::uint16_t pid, bool unitStart, int continuity, const std::uint8_t* pcr,
                   const std::uint8_t* payload, std::size_t size);
    void ProgramTables();
    void Section(std::uint16_t pid, Bytes section);
    // Repeats the table's last packet until the packet numbered continuity follows on.
    void Bridge(std::uint16_t pid, int continuity);
    std::uint8_t StreamId(std::size_t stream) const;

    const std::uint32_t m_size;   // of a packet
    const std::uint32_t m_syncAt; // where its sync byte lies
    std::vector<PesState> m_pes;  // as m_streams
    std::vector<std::uint8_t> m_streamOf = std::vector<std::uint8_t>(PID_COUNT, 0); // 1 + place
    std::vector<Kind> m_kind = std::vector<Kind>(PID_COUNT, Kind::DROPPED);
    bool m_inputTables = false;              // the input's own tables describe exactly what is written
    std::array<std::uint8_t, 4> m_arrival{}; // of the packet being looked at
    std::vector<int> m_tableContinuity = std::vector<int>(PID_COUNT, -1);
    std::vector<Bytes> m_lastTable = std::vector<Bytes>(PID_COUNT);
    Bytes m_tablePacket; // the table packet being looked at
    std::vector<Met> m_met;
    std::uint64_t m_pos = 0;                                         // of the next packet looked at
    std::uint64_t m_end = std::numeric_limits<std::uint64_t>::max(); // of the last written packet
    std::size_t m_lost = 0;                                          // the next lost stretch
};

TransportCopier::TransportCopier(const MpegSalvage& salvage, const MpegPlan& plan,
                                 const OutputOptions& options, SourceReader& input, ByteSink& output)
    : UnitCopier(salvage, plan, options, input, output), m_size(salvage.packetSize),
      m_syncAt(salvage.packetSize - TS_PACKET), m_pes(m_streams.size())
{
    std::vector<std::uint16_t> pids;
    for (std::size_t place = 0; place < m_streams.size(); ++place) {
        const std::uint16_t pid = salvage.streams[m_streams[place].index].pid;
        m_streamOf[pid] = static_cast<std::uint8_t>(place + 1);
        m_kind[pid] = Kind::STREAM;
        pids.push_back(pid);
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
    const std::uint64_t base = ResumedBefore(offset);
    return base + (offset - base) / m_size * m_size;
}

bool TransportCopier::WholeWritten(const Stream& stream, std::size_t at, std::uint32_t number,
                                   std::uint64_t packetStart, std::size_t length) const
{
    if (length > m_plan.lookAhead)
        return false;
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
    // Looked for as far as the plan looks ahead, to number fresh packets so that it follows.
    for (; pos + m_size <= lostFrom && pos + m_size <= after + m_plan.lookAhead; pos += m_size) {
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

void TransportCopier::Repack(std::size_t place, std::size_t at, std::uint64_t pos, const std::uint8_t* pcr)
{
    Stream& stream = m_streams[place];
    PesState& pes = m_pes[place];
    const std::uint16_t pid = m_salvage.streams[stream.index].pid;
    std::uint64_t nextStart = m_in.Size();
    const int next = NextStart(pid, pos, nextStart);
    std::vector<Repacked> groups = RepackUnits(stream, at, nextStart);
    // Each group a PES in as few packets as hold it; the last in up to fifteen more, so that the
    // next PES follows on.
    std::vector<std::size_t> counts;
    std::size_t fewest = 0;
    for (Repacked& group : groups) {
        const Unit& head = m_salvage.units.units[group.unit];
        std::int64_t dts = 0;
        const std::int64_t pts = Pts(head);
        const HeaderBytes header =
            PacketHeaderBytes(StreamId(stream.index), false, group.bytes.size(), &pts, Dts(head, dts));
        group.bytes.insert(group.bytes.begin(), header.data(), header.data() + header.size());
        const std::size_t firstRoom = TS_PAYLOAD - (pcr && counts.empty() ? PCR_FIELD : 0);
        const std::size_t size = group.bytes.size();
        counts.push_back(size <= firstRoom ? 1 : 1 + (size - firstRoom + TS_PAYLOAD - 1) / TS_PAYLOAD);
        fewest += counts.back();
    }
    int first = pes.continuity < 0 ? 0 : Following(pes.continuity);
    if (next >= 0 && !groups.empty()) {
        if (pes.continuity < 0)
            first = static_cast<int>((static_cast<std::size_t>(next) + 16 - fewest % 16) % 16);
        const std::size_t wanted = static_cast<std::size_t>((next - first + 16) % 16);
        const std::size_t extra = (wanted + 16 - fewest % 16) % 16;
        if (counts.back() + extra <= groups.back().bytes.size())
            counts.back() += extra;
    }
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Bytes& bytes = groups[g].bytes;
        const std::size_t count = counts[g];
        std::size_t done = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint8_t* reference = g == 0 && k == 0 ? pcr : nullptr;
            const std::size_t room = TS_PAYLOAD - (reference ? PCR_FIELD : 0);
            const std::size_t take = std::min(room, bytes.size() - done - (count - 1 - k));
            pes.continuity = pes.continuity < 0 ? first : Following(pes.continuity);
            PutPacket(pid, k == 0, pes.continuity, reference, bytes.data() + done, take);
            done += take;
        }
    }
    pes.copying = false;
}

void TransportCopier::Continue(std::size_t place, const Bytes& bytes, const std::uint8_t* pcr)
{
    PesState& pes = m_pes[place];
    const std::uint16_t pid = m_salvage.streams[m_streams[place].index].pid;
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t take = std::min(bytes.size() - done, TS_PAYLOAD - (pcr ? PCR_FIELD : 0));
        pes.continuity = pes.continuity < 0 ? 0 : Following(pes.continuity);
        PutPacket(pid, false, pes.continuity, pcr, bytes.data() + done, take);
        pcr = nullptr;
        done += take;
    }
}

void TransportCopier::StreamPacket(std::size_t place, std::uint64_t pos, const std::uint8_t* b, bool whole)
{
    Stream& stream = m_streams[place];
    PesState& pes = m_pes[place];
    const bool unitStart = (b[1] & 0x40) != 0;
    const int control = (b[3] >> 4) & 3;
    const int continuity = b[3] & 0x0F;
    // Most packets are the middle of a PES being copied: no error, no start, payload alone.
    if (whole && pes.copying && (b[1] & 0xC0) == 0 && (b[3] & 0xF0) == 0x10 &&
        continuity == Following(pes.continuity) && PassContinued(stream, pos + m_syncAt + 4, pos + m_size)) {
        pes.continuity = continuity;
        Keep(pos, m_size);
        return;
    }
    const std::size_t payload = control & 2 ? 5 + std::size_t{b[4]} : 4;
    const bool sound =
        whole && (b[1] & 0x80) == 0 && (b[3] & 0xC0) == 0 && control != 0 && payload <= TS_PACKET;
    // The clock reference is kept aside: packing afresh may move the window the packet lies in.
    std::array<std::uint8_t, 6> reference{};
    const bool hasReference = sound && (control & 2) && b[4] >= 7 && (b[5] & 0x10) &&
                              m_salvage.pcrPid == m_salvage.streams[stream.index].pid;
    if (hasReference)
        std::copy_n(b + 6, reference.size(), reference.begin());
    const std::uint8_t* pcr = hasReference ? reference.data() : nullptr;
    const std::uint64_t end = pos + m_size;
    TakePieces(stream, end, m_met);
    if (sound && control == 2 && m_met.empty()) {
        Keep(pos, m_size); // a clock reference alone
        return;
    }
    // Where the units' bytes start: after the PES header in the first packet of a PES.
    std::uint64_t unitsFrom = pos + m_syncAt + payload;
    std::size_t pesLength = 0;
    bool clean = sound && (control & 1);
    bool timed = false;
    if (clean && unitStart) {
        const std::uint8_t* p = b + payload;
        const std::size_t size = TS_PACKET - payload;
        clean = size >= 9 && p[0] == 0 && p[1] == 0 && p[2] == 1 && 9 + std::size_t{p[8]} <= size;
        if (clean) {
            timed = (p[7] & 0x80) != 0;
            unitsFrom += 9 + p[8];
            pesLength = std::size_t{p[4]} << 8 | p[5];
            pesLength = pesLength == 0 ? 0 : pesLength + 6 - (9 + p[8]);
        }
    }
    clean = clean && Tiles(m_met, unitsFrom, end) && Copiable(m_met) && PicturesTimed(place, m_met, timed);
    if (unitStart) {
        pes.copying = false;
        if (clean && !m_met.empty() && (pes.continuity < 0 || continuity == Following(pes.continuity))) {
            // Tell a PES of known length by the units that fill it, which were taken just now.
            pes.copying = pesLength == 0 ||
                          WholeWritten(stream, m_met.front().at, m_met.front().number, pos, pesLength);
        }
    } else {
        pes.copying = pes.copying && clean && continuity == Following(pes.continuity);
    }
    if (!m_inputTables && unitStart && place == 0 && !m_met.empty() && m_met.front().number == 0 &&
        m_salvage.units.units[m_met.front().unit].key)
        ProgramTables();
    if (pes.copying) {
        Copied(m_met);
        pes.continuity = continuity;
        Keep(pos, m_size);
        return;
    }
    Fresh(place, pos, pcr);
}

void TransportCopier::Fresh(std::size_t place, std::uint64_t pos, const std::uint8_t* pcr)
{
    const Bytes continued = ContinuedBytes(m_met);
    if (!continued.empty()) {
        Continue(place, continued, pcr);
        pcr = nullptr;
    }
    for (const Met& m : m_met) {
        if (m_state[m.unit] == UnitState::WAITING) {
            Repack(place, m.at, pos, pcr);
            pcr = nullptr;
        }
    }
    if (pcr) {
        // The clock reference of a packet left out, alone in a packet of its own.
        PutPacket(m_salvage.streams[m_streams[place].index].pid, false, std::max(m_pes[place].continuity, 0),
                  pcr, nullptr, 0);
    }
}

void TransportCopier::Leftovers(std::uint64_t end, std::uint64_t after)
{
    for (std::size_t place = 0; place < m_streams.size(); ++place) {
        TakePieces(m_streams[place], end, m_met);
        Fresh(place, after, nullptr);
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
    // Kept before the bridge is written, which may move the window the packet lies in; the two
    // buffers trade places, so that a table's packets cost no fresh memory.
    m_tablePacket.assign(b - m_syncAt, b - m_syncAt + m_size);
    Bridge(pid, continuity);
    Keep(pos, m_size);
    m_tableContinuity[pid] = continuity;
    std::swap(m_lastTable[pid], m_tablePacket);
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

bool TransportCopier::Begin(std::string& error)
{
    if (!PrepareStart(error))
        return false;
    m_pos = PacketStart(m_first);
    if (const std::uint8_t* b = m_in.Peek(m_pos, m_syncAt))
        std::copy_n(b, m_syncAt, m_arrival.begin());
    ProgramTables();
    return true;
}

bool TransportCopier::Advance(std::uint64_t upTo)
{
    const std::vector<ByteRange>& ranges = m_salvage.lost;
    while (m_pos < m_end && m_pos + m_size <= upTo && !m_readFailed && !m_writeFailed) {
        while (m_lost < ranges.size() && ranges[m_lost].end <= m_pos)
            ++m_lost;
        if (m_lost < ranges.size() && ranges[m_lost].begin <= m_pos) {
            if (ranges[m_lost].end > upTo)
                break; // its units may not all be known yet
            Leftovers(ranges[m_lost].end, std::max<std::uint64_t>(ranges[m_lost].end, m_size) - m_size);
            m_pos = ranges[m_lost].end;
            continue;
        }
        // Where the packets' cadence holds: to the next lost stretch, or the end.
        const std::uint64_t limit = std::min(m_lost < ranges.size() ? ranges[m_lost].begin : m_end, m_end);
        std::size_t available = 0;
        const std::uint8_t* block = m_in.PeekAhead(m_pos, m_size, available);
        if (!block || available < std::min<std::uint64_t>(m_size, limit - m_pos)) {
            m_readFailed = true;
            break;
        }
        const std::uint64_t blockStart = m_pos;
        const std::uint64_t blockEnd = m_pos + available;
        // Until something else looks at the input, which may move the window.
        for (m_windowMoved = false; m_pos < limit && m_pos + m_size <= upTo && !m_windowMoved;
             m_pos = std::min(m_pos + m_size, limit)) {
            const std::uint64_t pos = m_pos;
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
                StreamPacket(m_streamOf[pid] - 1u, pos, b, whole);
                break;
            case Kind::TABLE:
                if (whole)
                    TablePacket(pid, pos, b);
                break;
            case Kind::KEPT:
                if (whole)
                    Keep(pos, m_size);
                break;
            case Kind::DROPPED:
                break;
            }
        }
    }
    return !m_readFailed && !m_writeFailed;
}

bool TransportCopier::Finish(std::string& error)
{
    if (!PrepareEnd(error))
        return false;
    m_end = std::min<std::uint64_t>(PacketStart(m_last) + m_size, m_in.Size());
    Advance(std::numeric_limits<std::uint64_t>::max());
    Leftovers(std::numeric_limits<std::uint64_t>::max(), m_in.Size());
    FlushRun();
    return !Failed(error);
}

} // namespace

std::unique_ptr<MpegCopier> CreateTransportCopier(const MpegSalvage& salvage, const MpegPlan& plan,
                                                  const OutputOptions& options, SourceReader& input,
                                                  ByteSink& output)
{
    return std::make_unique<TransportCopier>(salvage, plan, options, input, output);
}

} // namespace pg::clipmend::mpeg
