#include "PesHeader.h"
#include "UnitCopier.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

namespace pg::clipmend::mpeg {

namespace {

constexpr std::uint8_t PROGRAM_END = 0xB9; // may stand between two streams put one after the other
constexpr std::uint8_t PACK_START = 0xBA;
constexpr std::uint8_t SYSTEM_HEADER = 0xBB;
constexpr std::uint8_t PADDING_STREAM = 0xBE;
constexpr std::uint8_t PRIVATE_STREAM_2 = 0xBF; // navigation data, not written
constexpr std::size_t AC3_SUBSTREAM_HEADER = 4;
constexpr std::size_t HEADER_LOOK = 300; // enough for any packet header
constexpr std::size_t MAX_PACKET_PAYLOAD = 65000;
constexpr std::uint32_t MUX_RATE = 25200; // 10.08 Mbit/s, in units of 50 bytes per second

// A program stream's packs and packets, copied as they are where they hold only written units.
// The output starts with the first written pack's header and a system header of its own; fresh
// packets go after the header of the pack they stand in.
class ProgramCopier final : public UnitCopier
{
public:
    ProgramCopier(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
                  SourceReader& input, ByteSink& output)
        : UnitCopier(salvage, plan, options, input, output)
    {
    }

    bool Begin(std::string& error) override;
    bool Advance(std::uint64_t upTo) override;
    bool Finish(std::string& error) override;

private:
    // The packet of the written stream at place, of length bytes at pos, its header read.
    void StreamPacket(std::size_t place, std::uint64_t pos, std::uint64_t length, const PacketHeader& header);
    // The written bytes of the pieces met, where their packet is not copied, in packets of
    // their own: a picture that starts among them in one with its times, sound frames after the
    // first one's times.
    void Rewrite(std::size_t place);
    // The bytes in packets of the stream; times in the first where given.
    void FreshPackets(std::size_t place, const Bytes& bytes, const std::int64_t* pts,
                      const std::int64_t* dts);
    // The header of the pack whose packets are looked at goes out before the first of them.
    void PackBefore();
    void SystemHeader();
    std::optional<std::size_t> WrittenPlace(std::uint8_t id, std::uint8_t subStream) const;

    std::uint64_t m_pack = 0;
    std::uint64_t m_packLength = 0;
    bool m_packWaiting = false;
    bool m_started = false;
    bool m_firstPack = false; // the pack the output starts with: its system header is ours
    std::vector<Met> m_met;
    std::uint64_t m_pos = 0;  // of the next pack or packet looked at
    std::size_t m_lost = 0;   // the next lost stretch
    bool m_walkEnded = false; // the packs no longer made sense, or the last written one was passed
};

std::optional<std::size_t> ProgramCopier::WrittenPlace(std::uint8_t id, std::uint8_t subStream) const
{
    for (std::size_t place = 0; place < m_streams.size(); ++place) {
        const MpegStreamInfo& info = m_salvage.streams[m_streams[place].index];
        if (info.streamId == id && (id != PRIVATE_STREAM_1 || info.subStream == subStream))
            return place;
    }
    return std::nullopt;
}

void ProgramCopier::PackBefore()
{
    if (!m_started) {
        m_started = true;
        m_firstPack = true;
        Keep(m_pack, m_packLength);
        m_packWaiting = false;
        SystemHeader();
        return;
    }
    if (m_packWaiting)
        Keep(m_pack, m_packLength);
    m_packWaiting = false;
}

void ProgramCopier::SystemHeader()
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
    Bytes b = {0, 0, 1, SYSTEM_HEADER};
    Put16(b, 6 + entries.size());
    b.push_back(static_cast<std::uint8_t>(0x80 | ((rate >> 15) & 0x7F)));
    b.push_back(static_cast<std::uint8_t>(rate >> 7));
    b.push_back(static_cast<std::uint8_t>(((rate << 1) & 0xFE) | 1));
    b.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(audio, 32) << 2));
    b.push_back(0xE1); // audio and video locked, marker, one video stream
    b.push_back(0x7F);
    b.insert(b.end(), entries.begin(), entries.end());
    Put(b.data(), b.size());
}

void ProgramCopier::FreshPackets(std::size_t place, const Bytes& bytes, const std::int64_t* pts,
                                 const std::int64_t* dts)
{
    PackBefore();
    const MpegStreamInfo& info = m_salvage.streams[m_streams[place].index];
    const bool privateData = info.streamId == PRIVATE_STREAM_1;
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t size = std::min(bytes.size() - done, MAX_PACKET_PAYLOAD);
        const bool first = done == 0 && pts;
        // AC-3 in private data: its sub-stream, whether a frame starts, where the first one does.
        const std::array<std::uint8_t, AC3_SUBSTREAM_HEADER> prefix = {
            info.subStream, static_cast<std::uint8_t>(first ? 1 : 0), 0,
            static_cast<std::uint8_t>(first ? 1 : 0)};
        const std::size_t prefixSize = privateData ? prefix.size() : 0;
        const HeaderBytes header = PacketHeaderBytes(info.streamId, m_salvage.mpeg1, prefixSize + size,
                                                     first ? pts : nullptr, first ? dts : nullptr);
        Bytes packet(header.data(), header.data() + header.size());
        packet.insert(packet.end(), prefix.begin(), prefix.begin() + static_cast<std::ptrdiff_t>(prefixSize));
        packet.insert(packet.end(), bytes.begin() + static_cast<std::ptrdiff_t>(done),
                      bytes.begin() + static_cast<std::ptrdiff_t>(done + size));
        Put(packet.data(), packet.size());
        done += size;
    }
}

void ProgramCopier::Rewrite(std::size_t place)
{
    const bool pictures = place == 0;
    Bytes bytes;
    const Unit* timed = nullptr; // whose times the bytes gathered go with
    const auto flush = [&] {
        if (!bytes.empty()) {
            std::int64_t pts = 0;
            std::int64_t dts = 0;
            if (timed)
                pts = Pts(*timed);
            FreshPackets(place, bytes, timed ? &pts : nullptr, timed ? Dts(*timed, dts) : nullptr);
        }
        bytes.clear();
        timed = nullptr;
    };
    for (const Met& m : m_met) {
        if ((pictures ? StartCodeEndsIn(m) : m.number == 0) && (pictures || !timed)) {
            if (pictures)
                flush();
            timed = &m_salvage.units.units[m.unit];
        }
        const Bytes& head = HeadOf(m);
        bytes.insert(bytes.end(), head.begin(), head.end());
        Append(m.piece, bytes);
        const Bytes& tail = TailOf(m);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
    }
    flush();
    Passed(m_met);
}

void ProgramCopier::StreamPacket(std::size_t place, std::uint64_t pos, std::uint64_t length,
                                 const PacketHeader& header)
{
    const std::uint64_t end = pos + length;
    std::uint64_t unitsFrom = pos + header.payload;
    if (m_salvage.streams[m_streams[place].index].streamId == PRIVATE_STREAM_1)
        unitsFrom += AC3_SUBSTREAM_HEADER;
    TakePieces(m_streams[place], end, m_met);
    if (m_met.empty())
        return;
    const bool gains = std::any_of(m_met.begin(), m_met.end(),
                                   [this](const Met& m) { return !HeadOf(m).empty() || !TailOf(m).empty(); });
    if (Tiles(m_met, unitsFrom, end) && !gains && PicturesTimed(place, m_met, header.pts.has_value())) {
        PackBefore();
        Keep(pos, length);
        Passed(m_met);
        return;
    }
    Rewrite(place);
}

bool ProgramCopier::Begin(std::string& error)
{
    if (!PrepareStart(error))
        return false;
    // Until a pack of its own is met, fresh packets go after the first pack's header.
    bool mpeg1 = false;
    const std::uint8_t* start = m_in.Peek(0, 14);
    m_packLength = start ? PackHeaderLength(start, mpeg1) : 0;
    if (m_packLength == 0) {
        error = "cannot read the input";
        return false;
    }
    // Packs follow on from the start of the file, or from where the walk found them again.
    m_pos = ResumedBefore(m_first);
    m_lost = LostAfter(m_first);
    return true;
}

bool ProgramCopier::Advance(std::uint64_t upTo)
{
    const std::vector<ByteRange>& ranges = m_salvage.lost;
    while (!m_walkEnded && m_pos < upTo && !m_readFailed && !m_writeFailed) {
        if (m_ended && m_pos > m_last)
            break;
        if (m_lost < ranges.size() && ranges[m_lost].begin <= m_pos) {
            if (ranges[m_lost].end > upTo)
                break; // its units may not all be known yet
            // What the stretch lost holds of written units goes afresh.
            for (std::size_t place = 0; place < m_streams.size(); ++place) {
                TakePieces(m_streams[place], ranges[m_lost].end, m_met);
                Rewrite(place);
            }
            m_pos = std::max(m_pos, ranges[m_lost++].end);
            m_packWaiting = false;
            continue;
        }
        std::size_t available = 0;
        const std::uint8_t* b = m_in.PeekUpTo(m_pos, HEADER_LOOK, available);
        bool mpeg1 = false;
        const std::uint8_t id = b && available >= 6 ? b[3] : 0;
        const std::uint64_t length = !b || available < 6 || b[0] != 0 || b[1] != 0 || b[2] != 1 ? 0
                                     : id == PROGRAM_END                                        ? 4
                                     : id == PACK_START ? (available >= 14 ? PackHeaderLength(b, mpeg1) : 0)
                                                        : 6 + (std::uint64_t{b[4]} << 8 | b[5]);
        if (length == 0 || m_pos + length > m_in.Size()) {
            m_walkEnded = true;
            break;
        }
        if (m_pos + length > upTo)
            break;
        if (id == PACK_START) {
            // A pack header of the other form is left out: the packets are read in the form of
            // the stream's first pack, and so must the written stream's be.
            if (mpeg1 == m_salvage.mpeg1) {
                m_pack = m_pos;
                m_packLength = length;
                m_packWaiting = true;
                m_firstPack = false;
            }
        } else if ((id == SYSTEM_HEADER && !m_firstPack) || id == PADDING_STREAM) {
            if (m_started) {
                PackBefore();
                Keep(m_pos, length);
            }
        } else if (id >= PRIVATE_STREAM_1 && id != PRIVATE_STREAM_2) {
            PacketHeader header;
            const bool read =
                ReadPacketHeader(b, static_cast<std::size_t>(std::min<std::uint64_t>(available, length)),
                                 m_salvage.mpeg1, header);
            const std::uint8_t subStream = read && header.payload < available ? b[header.payload] : 0;
            if (const std::optional<std::size_t> place = read ? WrittenPlace(id, subStream) : std::nullopt)
                StreamPacket(*place, m_pos, length, header);
        }
        m_pos += length;
    }
    return !m_readFailed && !m_writeFailed;
}

bool ProgramCopier::Finish(std::string& error)
{
    if (!PrepareEnd(error))
        return false;
    Advance(std::numeric_limits<std::uint64_t>::max());
    // Units whose packets the walk did not reach go afresh at the end.
    for (std::size_t place = 0; place < m_streams.size(); ++place) {
        TakePieces(m_streams[place], std::numeric_limits<std::uint64_t>::max(), m_met);
        Rewrite(place);
    }
    const std::uint8_t programEnd[] = {0, 0, 1, PROGRAM_END};
    Put(programEnd, sizeof programEnd);
    return !Failed(error);
}

} // namespace

std::unique_ptr<MpegCopier> CreateProgramCopier(const MpegSalvage& salvage, const MpegPlan& plan,
                                                const OutputOptions& options, SourceReader& input,
                                                ByteSink& output)
{
    return std::make_unique<ProgramCopier>(salvage, plan, options, input, output);
}

} // namespace pg::clipmend::mpeg
