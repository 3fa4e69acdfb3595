#include "MpegReader.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>

namespace pg::clipmend::mpeg {

namespace {

constexpr std::uint64_t PROGRESS_STEP = 1 << 20;
constexpr std::uint64_t NOT_FOUND = std::numeric_limits<std::uint64_t>::max();
constexpr std::int64_t TIMESTAMP_WRAP = std::int64_t{1} << 33;
constexpr std::int64_t MAX_REORDER_DELAY = 10 * CLOCK;
constexpr std::uint8_t PACK_START = 0xBA;
constexpr std::uint8_t SYSTEM_HEADER = 0xBB;
constexpr std::uint8_t PROGRAM_END = 0xB9;
constexpr std::uint8_t PADDING_STREAM = 0xBE;
constexpr std::uint8_t PRIVATE_STREAM_2 = 0xBF;
// Private stream data of AC-3 audio: a stream number byte, a frame count and a pointer first.
constexpr std::uint8_t AC3_SUBSTREAMS = 0x80;
constexpr std::size_t AC3_SUBSTREAM_HEADER = 4;
constexpr std::size_t HEADER_LOOK = 300;  // enough for any packet header
constexpr std::uint64_t PACK_SIZE = 2048; // as DVDs have them, and most program streams
constexpr std::uint16_t PAT_PID = 0;
constexpr std::size_t MAX_SECTION_LENGTH = 1021;

bool StartCodeAt(const std::uint8_t* b)
{
    return b[0] == 0 && b[1] == 0 && b[2] == 1;
}

std::int64_t ReadTimestamp(const std::uint8_t* b)
{
    return (static_cast<std::int64_t>((b[0] >> 1) & 7) << 30) | (static_cast<std::int64_t>(b[1]) << 22) |
           (static_cast<std::int64_t>(b[2] >> 1) << 15) | (static_cast<std::int64_t>(b[3]) << 7) |
           (b[4] >> 1);
}

std::optional<Codec> CodecOfType(std::uint8_t type, const std::vector<std::uint8_t>& descriptors)
{
    switch (type) {
    case 0x01:
    case 0x02:
        return Codec::MPEG_VIDEO;
    case 0x1B:
        return Codec::H264;
    case 0x24:
        return Codec::HEVC;
    case 0x03:
    case 0x04:
        return Codec::MPEG_AUDIO;
    case 0x0F:
        return Codec::AAC;
    case 0x11:
        return Codec::AAC_LATM;
    case 0x81:
        return Codec::AC3;
    case 0x87:
        return Codec::EAC3;
    default:
        break;
    }
    // Private data is AC-3 or E-AC-3 where a descriptor says so.
    for (std::size_t i = 0; type == 0x06 && i + 2 <= descriptors.size(); i += 2 + descriptors[i + 1]) {
        const std::uint8_t tag = descriptors[i];
        const bool registered = tag == 0x05 && i + 6 <= descriptors.size();
        if (tag == 0x6A || (registered && std::memcmp(&descriptors[i + 2], "AC-3", 4) == 0))
            return Codec::AC3;
        if (tag == 0x7A || (registered && std::memcmp(&descriptors[i + 2], "EAC3", 4) == 0))
            return Codec::EAC3;
    }
    return std::nullopt;
}

} // namespace

bool ReadPacketHeader(const std::uint8_t* b, std::size_t available, bool mpeg1, PacketHeader& header)
{
    if (!mpeg1) {
        if (available < 9 || (b[6] & 0xC0) != 0x80)
            return false;
        const int flags = b[7] >> 6;
        header.payload = 9 + std::size_t{b[8]};
        if (flags == 1 || header.payload > available || (flags >= 2 && b[8] < 5) || (flags == 3 && b[8] < 10))
            return false;
        if (flags >= 2)
            header.pts = ReadTimestamp(b + 9);
        if (flags == 3)
            header.dts = ReadTimestamp(b + 14);
        return true;
    }
    std::size_t pos = 6;
    while (pos < available && pos < 6 + 16 && b[pos] == 0xFF)
        ++pos;
    if (pos + 1 <= available && (b[pos] & 0xC0) == 0x40)
        pos += 2;
    if (pos >= available)
        return false;
    const int prefix = b[pos] >> 4;
    if (b[pos] == 0x0F) {
        ++pos;
    } else if (prefix == 2 && pos + 5 <= available) {
        header.pts = ReadTimestamp(b + pos);
        pos += 5;
    } else if (prefix == 3 && pos + 10 <= available) {
        header.pts = ReadTimestamp(b + pos);
        header.dts = ReadTimestamp(b + pos + 5);
        pos += 10;
    } else {
        return false;
    }
    header.payload = pos;
    return true;
}

namespace {

// What the walks of both kinds share: the streams, the timeline, damage and progress.
class Walker
{
public:
    Walker(SourceReader& in, const SalvageOptions& options, MpegSalvage& result, const WalkedFunction& walked)
        : m_in(in), m_options(options), m_result(result), m_size(in.Size()), m_walked(walked)
    {
    }

protected:
    // Room for a piece per packet of about packetSize bytes and for a unit per 2 KB, more than
    // streams of common rates fill, up to bounds that keep the reservation small where address
    // space is: the lists of a large file grow on from there, without being copied time and
    // again on their way.
    void ReserveLists(std::uint64_t packetSize)
    {
        constexpr std::uint64_t MAX_PIECES = 1u << 22;
        constexpr std::uint64_t MAX_UNITS = 1u << 20;
        m_result.units.pieces.reserve(
            static_cast<std::size_t>(std::min(m_size / packetSize + 1, MAX_PIECES)));
        m_result.units.units.reserve(static_cast<std::size_t>(std::min(m_size / PACK_SIZE + 1, MAX_UNITS)));
    }

    std::size_t AddStream(const MpegStreamInfo& info)
    {
        m_result.streams.push_back(info);
        m_parsers.emplace_back(static_cast<std::uint32_t>(m_parsers.size()), info.codec);
        return m_parsers.size() - 1;
    }

    // Timestamps wrap after 33 bits: each is taken nearest the one before.
    std::optional<std::int64_t> Unwrap(std::optional<std::int64_t> raw)
    {
        if (!raw)
            return raw;
        if (!m_haveLast) {
            m_haveLast = true;
            m_last = *raw;
            return raw;
        }
        const std::int64_t distance = m_last - *raw + TIMESTAMP_WRAP / 2;
        std::int64_t turns = distance / TIMESTAMP_WRAP;
        if (distance < 0 && distance % TIMESTAMP_WRAP != 0)
            --turns;
        m_last = *raw + turns * TIMESTAMP_WRAP;
        return m_last;
    }

    // A decoding time far from its presentation time is taken for noise.
    void StartPacket(std::size_t stream, const PacketHeader& header)
    {
        const std::optional<std::int64_t> pts = Unwrap(header.pts);
        std::optional<std::int64_t> dts = Unwrap(header.dts);
        if (pts && dts && std::abs(*pts - *dts) > MAX_REORDER_DELAY)
            dts.reset();
        m_parsers[stream].StartPacket(pts, dts);
    }

    // Bytes already in hand, at offset in the file.
    void Feed(std::size_t stream, const PacketHeader* header, const std::uint8_t* data, std::uint64_t offset,
              std::size_t size)
    {
        if (header)
            StartPacket(stream, *header);
        m_parsers[stream].Feed(data, size, offset, m_result.units);
    }

    void Feed(std::size_t stream, const PacketHeader* header, std::uint64_t offset, std::size_t size)
    {
        if (header)
            StartPacket(stream, *header);
        while (size > 0) {
            const std::size_t step = std::min(size, m_in.WindowSize());
            const std::uint8_t* data = m_in.Peek(offset, step);
            if (!data)
                return;
            m_parsers[stream].Feed(data, step, offset, m_result.units);
            offset += step;
            size -= step;
        }
    }

    void Damage(std::uint64_t begin, std::uint64_t end, bool resumes)
    {
        m_result.lost.push_back({begin, end});
        ++m_result.report.damagedRegions;
        m_result.report.damagedBytes += end - begin;
        if (resumes)
            ++m_result.report.resynchronised;
        for (StreamParser& parser : m_parsers)
            parser.Lose(m_result.units);
    }

    // The walk is at pos with every byte before `before` read: tells how far the units are
    // settled, now and then.
    void Walked(std::uint64_t before)
    {
        if (!m_walked || before < m_nextWalked)
            return;
        m_nextWalked = before + m_options.earlyLookAhead;
        std::uint64_t settled = before;
        m_result.sequenceHeaders.resize(m_parsers.size());
        for (std::size_t i = 0; i < m_parsers.size(); ++i) {
            settled = std::min(settled, m_parsers[i].HeldFrom());
            m_result.sequenceHeaders[i] = m_parsers[i].SequenceHeader();
        }
        m_walked(settled);
    }

    void Progress(std::uint64_t pos)
    {
        if (!m_options.progress || pos < m_nextProgress)
            return;
        m_nextProgress = pos + PROGRESS_STEP;
        m_options.progress(pos, m_size);
    }

    void Finish()
    {
        m_result.sequenceHeaders.clear();
        for (StreamParser& parser : m_parsers) {
            parser.Finish(m_result.units);
            m_result.sequenceHeaders.push_back(parser.SequenceHeader());
        }
        m_result.report.dropped = m_result.units.dropped;
        if (m_options.progress)
            m_options.progress(m_size, m_size);
    }

    // The first offset from `from` where accept says a resumption is, skipping the gaps.
    template <typename Accept> std::uint64_t Search(std::uint64_t from, std::uint8_t byte, Accept accept)
    {
        std::uint64_t pos = from;
        while (pos < m_size) {
            if (const ByteRange* gap = GapOverlapping(m_options.gaps, pos, pos + 1)) {
                pos = gap->end;
                continue;
            }
            Progress(pos);
            std::size_t available = 0;
            const std::uint8_t* data = m_in.PeekAhead(pos, 4096, available);
            if (!data || available == 0)
                return NOT_FOUND;
            const std::uint8_t* at = data;
            while (const void* hit = std::memchr(at, byte, available - static_cast<std::size_t>(at - data))) {
                const auto candidate =
                    pos + static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - data);
                if (accept(candidate))
                    return candidate;
                // accept may have moved the window: look again from the next byte.
                data = m_in.PeekAhead(candidate + 1, 1, available);
                pos = candidate + 1;
                if (!data || available == 0)
                    return NOT_FOUND;
                at = data;
            }
            pos += available;
        }
        return NOT_FOUND;
    }

    bool Clear(std::uint64_t begin, std::uint64_t end) const
    {
        return end <= m_size && !GapOverlapping(m_options.gaps, begin, end);
    }

    SourceReader& m_in;
    const SalvageOptions& m_options;
    MpegSalvage& m_result;
    std::uint64_t m_size;
    std::vector<StreamParser> m_parsers;

private:
    const WalkedFunction& m_walked;
    std::uint64_t m_nextWalked = 0;
    std::uint64_t m_nextProgress = 0;
    bool m_haveLast = false;
    std::int64_t m_last = 0;
};

class ProgramWalker : public Walker
{
public:
    using Walker::Walker;

    bool Walk(std::string& error);

private:
    struct Pending
    {
        std::size_t stream;
        PacketHeader header;
        std::uint64_t payload;
        std::size_t size;
    };

    // Length of the pack, system header or packet at pos; 0 when there is none that fits.
    std::uint64_t Structure(std::uint64_t pos, std::optional<Pending>& packet);
    std::uint64_t NextPack(std::uint64_t from);
    std::optional<std::size_t> StreamOf(std::uint8_t id, std::uint8_t subStream);

    std::map<std::uint16_t, std::size_t> m_streamOf; // stream id and sub-stream
    bool m_haveVideo = false;
};

std::optional<std::size_t> ProgramWalker::StreamOf(std::uint8_t id, std::uint8_t subStream)
{
    const std::uint16_t key = static_cast<std::uint16_t>(id << 8 | (id == PRIVATE_STREAM_1 ? subStream : 0));
    if (auto it = m_streamOf.find(key); it != m_streamOf.end())
        return it->second;
    MpegStreamInfo info;
    info.streamId = id;
    if (id >= 0xE0 && id <= 0xEF && !m_haveVideo) {
        m_haveVideo = true;
        info.codec = Codec::MPEG_VIDEO;
    } else if (id >= 0xC0 && id <= 0xDF) {
        info.codec = Codec::MPEG_AUDIO;
    } else if (id == PRIVATE_STREAM_1 && (subStream & 0xF8) == AC3_SUBSTREAMS) {
        info.codec = Codec::AC3;
        info.subStream = subStream;
    } else {
        return std::nullopt;
    }
    return m_streamOf[key] = AddStream(info);
}

std::uint64_t ProgramWalker::Structure(std::uint64_t pos, std::optional<Pending>& packet)
{
    std::size_t available = 0;
    const std::uint8_t* b = m_in.PeekUpTo(pos, HEADER_LOOK, available);
    if (!b || available < 4 || !StartCodeAt(b) || b[3] < PROGRAM_END ||
        (b[3] != PROGRAM_END && available < 6))
        return 0;
    std::uint64_t length = 0;
    if (b[3] == PROGRAM_END) {
        length = 4;
    } else if (b[3] == PACK_START) {
        bool mpeg1 = false;
        length = available >= 14 ? PackHeaderLength(b, mpeg1) : 0;
    } else {
        length = 6 + (std::uint64_t{b[4]} << 8 | b[5]);
    }
    if (length == 0)
        return 0;
    // A packet cut by the end of the file or by a gap still holds what came before the cut.
    std::uint64_t end = std::min(pos + length, m_size);
    if (const ByteRange* gap = GapOverlapping(m_options.gaps, pos, end))
        end = std::max(pos, gap->begin);
    const std::uint64_t whole = end == pos + length ? length : 0;
    const std::uint8_t id = b[3];
    if (id == PROGRAM_END || id == PACK_START || id == SYSTEM_HEADER || id == PADDING_STREAM ||
        id == PRIVATE_STREAM_2)
        return whole;
    length = end - pos;
    PacketHeader header;
    if (!ReadPacketHeader(b, std::min<std::uint64_t>(available, length), m_result.mpeg1, header))
        return 0;
    std::size_t payload = header.payload;
    const std::uint8_t subStream = payload < length ? b[payload] : 0;
    const std::optional<std::size_t> stream = StreamOf(id, subStream);
    if (stream && id == PRIVATE_STREAM_1)
        payload += AC3_SUBSTREAM_HEADER;
    if (stream && payload <= length)
        packet = Pending{*stream, header, pos + payload, static_cast<std::size_t>(length - payload)};
    return whole;
}

std::uint64_t ProgramWalker::NextPack(std::uint64_t from)
{
    // A pack header counts when a start code follows it.
    const std::uint64_t hit = Search(from, PACK_START, [this](std::uint64_t at) {
        if (at < 3)
            return false;
        const std::uint64_t start = at - 3;
        const std::uint8_t* b = m_in.Peek(start, 14);
        bool mpeg1 = false;
        const std::size_t length = b && StartCodeAt(b) ? PackHeaderLength(b, mpeg1) : 0;
        if (length == 0 || mpeg1 != m_result.mpeg1 || !Clear(start, start + length))
            return false;
        if (start + length + 4 > m_size)
            return start + length == m_size;
        const std::uint8_t* next = m_in.Peek(start + length, 4);
        return next && StartCodeAt(next) && next[3] >= PROGRAM_END && Clear(start, start + length + 4);
    });
    return hit == NOT_FOUND ? NOT_FOUND : hit - 3;
}

bool ProgramWalker::Walk(std::string& error)
{
    const std::uint8_t* first = m_in.Peek(0, 14);
    bool mpeg1 = false;
    if (!first || !StartCodeAt(first) || PackHeaderLength(first, mpeg1) == 0) {
        error = first && StartCodeAt(first) && first[3] == 0xB3
                    ? "an MPEG video stream without program stream packs, which is not read"
                    : "no pack header at the start of the MPEG program stream";
        return false;
    }
    m_result.mpeg1 = mpeg1;
    m_result.muxRate = mpeg1 ? ((first[9] & 0x7Fu) << 15 | first[10] << 7 | first[11] >> 1)
                             : (std::uint32_t{first[10]} << 14 | first[11] << 6 | first[12] >> 2);
    ReserveLists(PACK_SIZE);
    std::optional<Pending> pending;
    std::uint64_t pos = 0;
    while (pos < m_size) {
        Progress(pos);
        Walked(pending ? pending->payload : pos);
        std::optional<Pending> packet;
        const std::uint64_t length = Structure(pos, packet);
        if (length == 0 && packet) {
            if (pending)
                Feed(pending->stream, &pending->header, pending->payload, pending->size);
            pending.reset();
            Feed(packet->stream, &packet->header, packet->payload, packet->size);
        } else if (length == 0) {
            // A zero-filled hole may have begun inside the packet before.
            if (pending) {
                std::uint8_t last = 0;
                if (pending->size > 0 && m_in.Peek(pending->payload + pending->size - 1, 1))
                    last = *m_in.Peek(pending->payload + pending->size - 1, 1);
                if (pending->size == 0 || last != 0)
                    Feed(pending->stream, &pending->header, pending->payload, pending->size);
                pending.reset();
            }
        }
        if (length == 0) {
            const std::uint64_t hit = NextPack(pos + 4);
            const std::uint64_t next = hit == NOT_FOUND ? m_size : hit;
            Damage(pos, next, hit != NOT_FOUND);
            pos = next;
            continue;
        }
        if (pending)
            Feed(pending->stream, &pending->header, pending->payload, pending->size);
        pending = packet;
        pos += length;
    }
    if (pending)
        Feed(pending->stream, &pending->header, pending->payload, pending->size);
    Finish();
    return true;
}

class TransportWalker : public Walker
{
public:
    TransportWalker(SourceReader& in, const SalvageOptions& options, MpegSalvage& result,
                    const WalkedFunction& walked)
        : Walker(in, options, result, walked), m_packet(result.packetSize),
          m_syncAt(result.packetSize - TS_PACKET)
    {
    }

    bool Walk(std::string& error);

private:
    static constexpr std::size_t PID_COUNT = 8192;

    struct PidState
    {
        bool used = false;
        std::size_t stream = 0;
        int continuity = -1;
    };

    bool Synced(std::uint64_t pos);
    std::uint64_t NextSync(std::uint64_t from);
    // The packet at pos, its bytes at b; limit: how many of them are there, less only where the
    // file or a gap cuts it.
    void Packet(std::uint64_t pos, const std::uint8_t* b, std::size_t limit);
    // The packet at pos read from the file.
    void Packet(std::uint64_t pos, std::size_t limit);
    // A program table section, whole: pointer fields, sections spanning packets.
    struct Section
    {
        std::uint16_t pid = 0;
        bool collecting = false;
        std::vector<std::uint8_t> bytes;
    };

    void TableBytes(const std::uint8_t* payload, std::size_t size, bool unitStart, std::uint16_t pid);
    void AddTableBytes(Section& table, const std::uint8_t* data, std::size_t size);
    // A section whose check sum holds; length counts the bytes after its third.
    void ProgramTable(const std::uint8_t* section, std::size_t length, std::uint16_t pid);

    std::uint32_t m_packet;
    std::uint32_t m_syncAt;
    bool m_haveProgram = false;
    bool m_haveStreams = false;
    std::vector<PidState> m_pids = std::vector<PidState>(PID_COUNT);
    std::map<std::uint16_t, Section> m_tables;         // by PID: the association table, the programs'
    std::map<std::uint16_t, std::uint16_t> m_programs; // program numbers by the PID of their table
};

bool TransportWalker::Synced(std::uint64_t pos)
{
    const std::uint8_t* b = m_in.Peek(pos + m_syncAt, 1);
    return b && *b == TS_SYNC;
}

std::uint64_t TransportWalker::NextSync(std::uint64_t from)
{
    // Three sync bytes in their cadence, or as many as the file still holds.
    const std::uint64_t hit = Search(from + m_syncAt, TS_SYNC, [this](std::uint64_t at) {
        if (at < m_syncAt)
            return false;
        const std::uint64_t start = at - m_syncAt;
        int seen = 0;
        for (std::uint64_t p = start; seen < 3 && p + m_packet <= m_size; p += m_packet, ++seen)
            if (!Synced(p) || !Clear(p, p + m_packet))
                return false;
        return seen > 0;
    });
    return hit == NOT_FOUND ? NOT_FOUND : hit - m_syncAt;
}

void TransportWalker::TableBytes(const std::uint8_t* payload, std::size_t size, bool unitStart,
                                 std::uint16_t pid)
{
    Section& table = m_tables[pid];
    if (unitStart) {
        if (size < 1)
            return;
        // Before the new section, the end of the one before it.
        const std::size_t pointer = std::min<std::size_t>(payload[0], size - 1);
        if (!table.bytes.empty())
            AddTableBytes(table, payload + 1, pointer);
        table.pid = pid;
        table.bytes.clear();
        table.collecting = true;
        AddTableBytes(table, payload + 1 + pointer, size - 1 - pointer);
    } else if (table.collecting) {
        AddTableBytes(table, payload, size);
    }
}

void TransportWalker::AddTableBytes(Section& table, const std::uint8_t* data, std::size_t size)
{
    if (!table.collecting)
        return;
    table.bytes.insert(table.bytes.end(), data, data + size);
    if (table.bytes.size() < 3)
        return;
    const std::size_t length = (std::size_t{table.bytes[1]} & 0x0F) << 8 | table.bytes[2];
    if (length > MAX_SECTION_LENGTH || length < 9) {
        table.collecting = false;
        return;
    }
    if (table.bytes.size() < 3 + length)
        return;
    table.collecting = false;
    if (SectionCrc(table.bytes.data(), 3 + length) == 0)
        ProgramTable(table.bytes.data(), length, table.pid);
}

void TransportWalker::ProgramTable(const std::uint8_t* section, std::size_t length, std::uint16_t pid)
{
    const std::size_t end = 3 + length - 4; // before the CRC
    if (pid == PAT_PID && section[0] == 0 && !m_haveProgram) {
        for (std::size_t i = 8; i + 4 <= end; i += 4) {
            const std::uint16_t number = static_cast<std::uint16_t>(section[i] << 8 | section[i + 1]);
            const auto map = static_cast<std::uint16_t>((section[i + 2] & 0x1F) << 8 | section[i + 3]);
            if (number != 0 && map != PAT_PID)
                m_programs[map] = number;
        }
        m_haveProgram = !m_programs.empty();
        m_result.programCount = m_programs.size();
        return;
    }
    const auto program = m_programs.find(pid);
    const auto number = static_cast<std::uint16_t>(section[3] << 8 | section[4]);
    if (section[0] != 2 || m_haveStreams || program == m_programs.end() || program->second != number)
        return;
    // The first program with a video stream is the one read.
    const std::size_t programInfo = (std::size_t{section[10]} & 0x0F) << 8 | section[11];
    std::vector<MpegStreamInfo> streams;
    std::vector<std::uint16_t> listed;
    bool haveVideo = false;
    for (std::size_t i = 12 + programInfo; i + 5 <= end;) {
        MpegStreamInfo info;
        info.streamType = section[i];
        info.pid = static_cast<std::uint16_t>((section[i + 1] & 0x1F) << 8 | section[i + 2]);
        const std::size_t infoLength = (std::size_t{section[i + 3]} & 0x0F) << 8 | section[i + 4];
        if (i + 5 + infoLength > end)
            break;
        info.descriptors.assign(section + i + 5, section + i + 5 + infoLength);
        i += 5 + infoLength;
        listed.push_back(info.pid);
        const std::optional<Codec> codec = CodecOfType(info.streamType, info.descriptors);
        const bool taken = std::any_of(streams.begin(), streams.end(),
                                       [&](const MpegStreamInfo& s) { return s.pid == info.pid; });
        if (!codec || (IsVideo(*codec) && haveVideo) || taken || info.pid == PAT_PID ||
            m_programs.count(info.pid))
            continue;
        haveVideo = haveVideo || IsVideo(*codec);
        info.codec = *codec;
        streams.push_back(info);
    }
    if (!haveVideo)
        return;
    m_result.programNumber = number;
    m_result.pmtPid = pid;
    m_result.pcrPid = static_cast<std::uint16_t>((section[8] & 0x1F) << 8 | section[9]);
    m_result.tablePids = std::move(listed);
    for (const MpegStreamInfo& info : streams) {
        m_pids[info.pid].used = true;
        m_pids[info.pid].stream = AddStream(info);
    }
    m_haveStreams = true;
}

void TransportWalker::Packet(std::uint64_t pos, std::size_t limit)
{
    std::size_t available = 0;
    const std::uint8_t* b = m_in.PeekUpTo(pos, m_packet, available);
    if (b && available >= limit)
        Packet(pos, b, limit);
}

void TransportWalker::Packet(std::uint64_t pos, const std::uint8_t* b, std::size_t limit)
{
    if (limit < m_syncAt + 6)
        return;
    b += m_syncAt;
    const std::size_t end = limit - m_syncAt;
    const bool error = (b[1] & 0x80) != 0;
    const bool unitStart = (b[1] & 0x40) != 0;
    const auto pid = static_cast<std::uint16_t>((b[1] & 0x1F) << 8 | b[2]);
    const int control = (b[3] >> 4) & 3;
    const int continuity = b[3] & 0x0F;
    std::size_t payload = 4;
    bool discontinuity = false;
    if (control & 2) {
        payload = 5 + std::size_t{b[4]};
        discontinuity = b[4] > 0 && (b[5] & 0x80) != 0;
    }
    const bool bad = control == 0 || payload > TS_PACKET || error || (b[3] & 0xC0) != 0;
    const std::size_t size = (control & 1) && payload <= end ? end - payload : 0;
    // Only the first of each table counts: its repetitions are passed over.
    if (!bad && ((pid == PAT_PID && !m_haveProgram) || (!m_haveStreams && m_programs.count(pid))))
        TableBytes(b + payload, size, unitStart, pid);
    PidState& state = m_pids[pid];
    if (!state.used)
        return;
    StreamParser& parser = m_parsers[state.stream];
    if (bad) {
        parser.Lose(m_result.units);
        return;
    }
    if (!(control & 1))
        return;
    if (state.continuity >= 0 && !discontinuity) {
        if (continuity == state.continuity)
            return; // sent twice
        if (continuity != ((state.continuity + 1) & 0x0F))
            parser.Lose(m_result.units);
    }
    state.continuity = continuity;
    const std::uint64_t data = pos + m_syncAt + payload;
    if (!unitStart) {
        Feed(state.stream, nullptr, b + payload, data, size);
        return;
    }
    const std::uint8_t* p = b + payload;
    PacketHeader header;
    if (size < 9 || !StartCodeAt(p) || !ReadPacketHeader(p, size, false, header)) {
        parser.Lose(m_result.units);
        return;
    }
    Feed(state.stream, &header, p + header.payload, data + header.payload, size - header.payload);
}

bool TransportWalker::Walk(std::string& error)
{
    std::uint64_t pos = Synced(0) ? 0 : NextSync(0);
    if (pos == NOT_FOUND) {
        error = "no transport stream packets";
        return false;
    }
    if (pos > 0)
        m_result.lost.push_back({0, pos});
    ReserveLists(m_packet);
    // A packet is read once the next one is found in place.
    std::uint64_t pending = NOT_FOUND;
    while (pos < m_size) {
        // Packets in their cadence, read from one look at the file.
        const std::uint64_t from = pending != NOT_FOUND ? pending : pos;
        std::size_t available = 0;
        const std::uint8_t* block = m_in.PeekUpTo(from, m_in.WindowSize(), available);
        std::uint64_t clearEnd = from + available;
        if (const ByteRange* gap = GapOverlapping(m_options.gaps, from, clearEnd))
            clearEnd = std::max(from, gap->begin);
        const std::uint64_t fastStart = pos;
        while (block && pos + m_packet <= clearEnd && block[pos - from + m_syncAt] == TS_SYNC) {
            Progress(pos);
            Walked(pending != NOT_FOUND ? pending : pos);
            if (pending != NOT_FOUND)
                Packet(pending, block + (pending - from), m_packet);
            pending = pos;
            pos += m_packet;
        }
        if (pos != fastStart)
            continue;
        Progress(pos);
        if (pos + m_packet <= m_size && Synced(pos) && Clear(pos, pos + m_packet)) {
            if (pending != NOT_FOUND)
                Packet(pending, m_packet);
            pending = pos;
            pos += m_packet;
            continue;
        }
        std::uint64_t end = std::min<std::uint64_t>(pos + m_packet, m_size);
        if (const ByteRange* gap = GapOverlapping(m_options.gaps, pos, end))
            end = std::max(pos, gap->begin);
        if (end > pos + m_syncAt && Synced(pos)) {
            // Cut by the end of the file or by a gap: what came before the cut is there.
            if (pending != NOT_FOUND)
                Packet(pending, m_packet);
            Packet(pos, static_cast<std::size_t>(end - pos));
        } else if (pending != NOT_FOUND) {
            // A zero-filled hole may have begun inside the packet before.
            const std::uint8_t* last = m_in.Peek(pending + m_packet - 1, 1);
            if (last && *last != 0)
                Packet(pending, m_packet);
        }
        pending = NOT_FOUND;
        const std::uint64_t next = pos + m_packet <= m_size ? NextSync(pos + 1) : NOT_FOUND;
        Damage(pos, next == NOT_FOUND ? m_size : next, next != NOT_FOUND);
        if (next == NOT_FOUND)
            break;
        pos = next;
    }
    if (pending != NOT_FOUND)
        Packet(pending, m_packet);
    Finish();
    return true;
}

} // namespace

std::uint32_t SectionCrc(const std::uint8_t* data, std::size_t size)
{
    // A byte at a time: tables recur many times a second, and each is checked.
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t byte = 0; byte < 256; ++byte) {
            std::uint32_t crc = byte << 24;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 0x80000000) ? (crc << 1) ^ 0x04C11DB7 : crc << 1;
            t[byte] = crc;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table[(crc >> 24) ^ data[i]];
    return crc;
}

std::size_t PackHeaderLength(const std::uint8_t* b, bool& mpeg1)
{
    if (!StartCodeAt(b) || b[3] != PACK_START)
        return 0;
    if ((b[4] & 0xC4) == 0x44 && (b[6] & 4) && (b[8] & 4) && (b[9] & 1) && (b[12] & 3) == 3) {
        mpeg1 = false;
        return 14 + (b[13] & 7u);
    }
    if ((b[4] & 0xF1) == 0x21 && (b[6] & 1) && (b[8] & 1) && (b[9] & 0x80) && (b[11] & 1)) {
        mpeg1 = true;
        return 12;
    }
    return 0;
}

bool SalvageProgramStream(SourceReader& reader, const SalvageOptions& options, MpegSalvage& result,
                          std::string& error, const WalkedFunction& walked)
{
    result = MpegSalvage{};
    ProgramWalker walker(reader, options, result, walked);
    return walker.Walk(error);
}

bool SalvageTransportStream(SourceReader& reader, const SalvageOptions& options, std::uint32_t packetSize,
                            MpegSalvage& result, std::string& error, const WalkedFunction& walked)
{
    result = MpegSalvage{};
    result.transport = true;
    result.packetSize = packetSize;
    TransportWalker walker(reader, options, result, walked);
    return walker.Walk(error);
}

} // namespace pg::clipmend::mpeg
