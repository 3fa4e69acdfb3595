#include "MpegStream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define CLIPMEND_VECTOR_SCAN 1
#endif

namespace pg::clipmend::mpeg {

namespace {

// A unit that grows past this is no unit: its stream is read as lost.
constexpr std::size_t MAX_UNIT = 16 << 20;
// Bytes from a start code's first byte that tell what follows it.
constexpr std::size_t START_CODE_LOOK = 6;
constexpr std::size_t AUDIO_HEADER = 7;

constexpr std::uint8_t SEQUENCE_HEADER = 0xB3;
constexpr std::uint8_t GROUP_HEADER = 0xB8;
constexpr std::uint8_t EXTENSION = 0xB5;
constexpr int SEQUENCE_EXTENSION = 1;
constexpr std::uint8_t PICTURE_START = 0x00;

constexpr int NAL_SLICE = 1;
constexpr int NAL_IDR = 5;
constexpr int NAL_SEI = 6;
constexpr int SEI_RECOVERY_POINT = 6;
constexpr int PICTURE_I = 1;

// HEVC NAL unit types, from the first of the two header bytes.
constexpr int HEVC_FIRST_IRAP = 16;
constexpr int HEVC_IDR_WITH_LEADING = 19;
constexpr int HEVC_IDR = 20;
constexpr int HEVC_LAST_IRAP = 23;
constexpr int HEVC_FIRST_NON_VCL = 32;
constexpr int HEVC_END_OF_SEQUENCE = 36;
constexpr int HEVC_END_OF_STREAM = 37;

int HevcNal(std::uint8_t first)
{
    return (first >> 1) & 0x3F;
}

// Parameter sets, delimiter, prefix SEI and reserved kinds come only before an access unit's
// pictures.
bool HevcOpensAccessUnit(int nal)
{
    return (nal >= HEVC_FIRST_NON_VCL && nal <= 35) || nal == 39 || (nal >= 41 && nal <= 44) ||
           (nal >= 48 && nal <= 55);
}

#if defined(CLIPMEND_VECTOR_SCAN)
// The scan of FindStartCode as far as runs of thirty-two places go: the start code's place, found
// set, or where fewer bytes are left. Each place is tested whole (a zero, a zero, a one) at once,
// so a run holding zero bytes that start nothing costs no more than one without. SSE2 is there
// on nearly every processor in use; a 32-bit build, made for older ones too, asks first.
__attribute__((target("sse2"))) inline __m128i BytesEqual(const std::uint8_t* at, __m128i value)
{
    return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), value);
}

__attribute__((target("sse2"))) std::size_t FindStartCodeInVectors(const std::uint8_t* data, std::size_t i,
                                                                   std::size_t size, bool& found)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    while (i + 34 <= size) {
        const std::uint8_t* p = data + i;
        const __m128i low = _mm_and_si128(_mm_and_si128(BytesEqual(p, zero), BytesEqual(p + 1, zero)),
                                          BytesEqual(p + 2, one));
        const __m128i high = _mm_and_si128(_mm_and_si128(BytesEqual(p + 16, zero), BytesEqual(p + 17, zero)),
                                           BytesEqual(p + 18, one));
        const unsigned starts = static_cast<unsigned>(_mm_movemask_epi8(low)) |
                                static_cast<unsigned>(_mm_movemask_epi8(high)) << 16;
        if (starts != 0) {
            found = true;
            return i + static_cast<std::size_t>(std::countr_zero(starts));
        }
        i += 32;
    }
    return i;
}

bool HasVectors()
{
#if defined(__SSE2__)
    return true;
#else
    static const bool has = __builtin_cpu_supports("sse2");
    return has;
#endif
}
#endif

bool IsVcl(int nal)
{
    return nal == NAL_SLICE || nal == NAL_IDR;
}

// NAL units that only come before the pictures of an access unit.
bool OpensAccessUnit(int nal)
{
    return nal == NAL_SEI || (nal >= 7 && nal <= 9) || (nal >= 14 && nal <= 18);
}

// Ticks of one frame by the sequence header's frame rate code and the sequence extension's
// factor (n + 1) / (d + 1); 0 where unknown.
std::int64_t FrameTicks(int code, int n, int d)
{
    static constexpr std::array<std::int64_t, 9> numerators = {0, 24000, 24, 25, 30000, 30, 50, 60000, 60};
    static constexpr std::array<std::int64_t, 9> denominators = {1, 1001, 1, 1, 1001, 1, 1, 1001, 1};
    if (code <= 0 || code >= static_cast<int>(numerators.size()))
        return 0;
    const auto k = static_cast<std::size_t>(code);
    return (CLOCK * denominators[k] * (d + 1) + numerators[k] * (n + 1) / 2) / (numerators[k] * (n + 1));
}

bool RecoveryPoint(const std::uint8_t* data, std::size_t size)
{
    std::size_t pos = 0;
    while (pos < size && data[pos] != 0x80) {
        int type = 0;
        while (pos < size && data[pos] == 0xFF)
            type += data[pos++];
        if (pos >= size)
            return false;
        type += data[pos++];
        std::size_t length = 0;
        while (pos < size && data[pos] == 0xFF)
            length += data[pos++];
        if (pos >= size)
            return false;
        length += data[pos++];
        if (type == SEI_RECOVERY_POINT)
            return true;
        pos += length;
    }
    return false;
}

bool ReadMpegAudio(const std::uint8_t* b, AudioFrame& frame)
{
    static constexpr std::uint16_t BITRATES[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    };
    static constexpr std::uint32_t RATES[3] = {44100, 48000, 32000};
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return false;
    const int version = (b[1] >> 3) & 3;     // 0: 2.5, 2: 2, 3: 1
    const int layer = 4 - ((b[1] >> 1) & 3); // 1, 2 or 3
    const int bitrateIndex = b[2] >> 4;
    const int rateIndex = (b[2] >> 2) & 3;
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return false;
    const bool first = version == 3;
    const int table = first ? layer - 1 : (layer == 1 ? 3 : 4);
    const std::uint32_t bitrate = BITRATES[table][bitrateIndex] * 1000u;
    frame.rate = RATES[rateIndex] >> (first ? 0 : version == 2 ? 1 : 2);
    const std::uint32_t padding = (b[2] >> 1) & 1;
    if (layer == 1) {
        frame.length = (12 * bitrate / frame.rate + padding) * 4;
        frame.samples = 384;
    } else {
        const std::uint32_t factor = layer == 3 && !first ? 72 : 144;
        frame.length = factor * bitrate / frame.rate + padding;
        frame.samples = layer == 3 && !first ? 576 : 1152;
    }
    return true;
}

bool ReadAc3(const std::uint8_t* b, AudioFrame& frame)
{
    static constexpr std::uint16_t BITRATES[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                                   192, 224, 256, 320, 384, 448, 512, 576, 640};
    if (b[0] != 0x0B || b[1] != 0x77)
        return false;
    const int rateCode = b[4] >> 6;
    const int sizeCode = b[4] & 0x3F;
    if (rateCode == 3 || sizeCode >= 38 || (b[5] >> 3) > 10)
        return false;
    const std::uint32_t bitrate = BITRATES[sizeCode / 2];
    std::uint32_t words = 0;
    if (rateCode == 0) {
        frame.rate = 48000;
        words = bitrate * 2;
    } else if (rateCode == 1) {
        frame.rate = 44100;
        words = bitrate * 96000 / 44100 + (sizeCode & 1);
    } else {
        frame.rate = 32000;
        words = bitrate * 3;
    }
    frame.length = words * 2;
    frame.samples = 1536;
    return true;
}

// Frames of an independent stream only: the frames of a dependent one would be timed as frames
// of their own.
bool ReadEac3(const std::uint8_t* b, AudioFrame& frame)
{
    static constexpr std::uint32_t RATES[3] = {48000, 44100, 32000};
    static constexpr std::uint32_t BLOCKS[4] = {1, 2, 3, 6};
    const int streamType = b[2] >> 6;
    const int version = b[5] >> 3;
    if (b[0] != 0x0B || b[1] != 0x77 || (streamType != 0 && streamType != 2) || version <= 10 || version > 16)
        return false;
    const int rateCode = b[4] >> 6;
    const int second = (b[4] >> 4) & 3;
    if (rateCode == 3 && second == 3)
        return false;
    frame.rate = rateCode == 3 ? RATES[second] / 2 : RATES[rateCode];
    frame.samples = 256 * (rateCode == 3 ? 6 : BLOCKS[second]);
    frame.length = (((b[2] & 7u) << 8 | b[3]) + 1) * 2;
    return true;
}

constexpr std::uint32_t AAC_RATES[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                         22050, 16000, 12000, 11025, 8000,  7350};

// A LOAS frame; the rate and samples only where it carries a configuration of the first form
// with an audio object type and a rate by index, which is what broadcasts send.
bool ReadLoas(const std::uint8_t* b, AudioFrame& frame)
{
    if ((b[0] << 3 | b[1] >> 5) != 0x2B7)
        return false;
    frame.length = ((b[1] & 0x1Fu) << 8 | b[2]) + 3;
    frame.rate = 0;
    frame.samples = 0;
    if (frame.length <= AUDIO_HEADER)
        return false;
    const std::uint32_t bits = std::uint32_t{b[3]} << 24 | b[4] << 16 | b[5] << 8 | b[6];
    const bool sameConfiguration = (bits >> 31) != 0;
    const bool secondForm = ((bits >> 30) & 1) != 0;
    // After the two flags: one bit, six of sub-frames, seven of program and layer counts.
    const std::uint32_t subFrames = ((bits >> 23) & 0x3F) + 1;
    const std::uint32_t objectType = (bits >> 11) & 0x1F;
    const std::uint32_t rateIndex = (bits >> 7) & 0x0F;
    if (sameConfiguration || secondForm || objectType == 31 || rateIndex >= 13)
        return true;
    frame.rate = AAC_RATES[rateIndex];
    frame.samples = 1024 * subFrames;
    return true;
}

bool ReadAdts(const std::uint8_t* b, AudioFrame& frame)
{
    if (b[0] != 0xFF || (b[1] & 0xF6) != 0xF0)
        return false;
    const int rateIndex = (b[2] >> 2) & 0xF;
    const std::uint32_t length = ((b[3] & 3u) << 11) | (b[4] << 3) | (b[5] >> 5);
    const std::uint32_t header = (b[1] & 1) ? 7 : 9;
    if (rateIndex >= 13 || length <= header)
        return false;
    frame.rate = AAC_RATES[rateIndex];
    frame.length = length;
    frame.samples = 1024 * ((b[6] & 3u) + 1);
    return true;
}

} // namespace

// Thirty-two places at a time where there are vectors; without them, and for the last few bytes,
// from one zero byte to the next, eight bytes at a time, as compressed data holds few.
std::size_t FindStartCode(const std::uint8_t* data, std::size_t from, std::size_t size)
{
    static_assert(std::endian::native == std::endian::little, "bytes are read as little-endian words");
    constexpr std::uint64_t ONES = 0x0101010101010101;
    constexpr std::uint64_t HIGHS = 0x8080808080808080;
    std::size_t i = from;
#if defined(CLIPMEND_VECTOR_SCAN)
    if (HasVectors()) {
        bool found = false;
        i = FindStartCodeInVectors(data, i, size, found);
        if (found)
            return i;
    }
#endif
    while (i + 8 <= size) {
        std::uint64_t word = 0;
        std::memcpy(&word, data + i, sizeof word);
        // Marks the lowest zero byte exactly (higher marks may be false).
        const std::uint64_t zeros = (word - ONES) & ~word & HIGHS;
        if (zeros == 0) {
            i += sizeof word;
            continue;
        }
        i += static_cast<std::size_t>(std::countr_zero(zeros) / 8);
        if (i + 3 <= size && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
        ++i;
    }
    for (; i + 3 <= size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    return size;
}

bool IsVideo(Codec codec)
{
    return codec == Codec::MPEG_VIDEO || codec == Codec::H264 || codec == Codec::HEVC;
}

bool EndsStream(Codec codec, const std::uint8_t* bytes, std::size_t size)
{
    static constexpr std::uint8_t SEQUENCE_END = 0xB7;
    static constexpr int NAL_END_OF_SEQUENCE = 10;
    static constexpr int NAL_END_OF_STREAM = 11;
    if (codec == Codec::HEVC) {
        const int nal = size >= 5 ? HevcNal(bytes[size - 2]) : 0;
        return size >= 5 && bytes[size - 5] == 0 && bytes[size - 4] == 0 && bytes[size - 3] == 1 &&
               (nal == HEVC_END_OF_SEQUENCE || nal == HEVC_END_OF_STREAM);
    }
    if (size < 4 || bytes[size - 4] != 0 || bytes[size - 3] != 0 || bytes[size - 2] != 1)
        return false;
    const int nal = bytes[size - 1] & 0x1F;
    return codec == Codec::MPEG_VIDEO ? bytes[size - 1] == SEQUENCE_END
                                      : nal == NAL_END_OF_SEQUENCE || nal == NAL_END_OF_STREAM;
}

bool ReadAudioFrame(Codec codec, const std::uint8_t* data, AudioFrame& frame)
{
    switch (codec) {
    case Codec::MPEG_AUDIO:
        return ReadMpegAudio(data, frame) && frame.length >= AUDIO_HEADER;
    case Codec::AC3:
        return ReadAc3(data, frame);
    case Codec::EAC3:
        return ReadEac3(data, frame) && frame.length >= AUDIO_HEADER;
    case Codec::AAC:
        return ReadAdts(data, frame);
    case Codec::AAC_LATM:
        return ReadLoas(data, frame);
    default:
        return false;
    }
}

void StreamParser::StartPacket(std::optional<std::int64_t> pts, std::optional<std::int64_t> dts)
{
    if (pts)
        m_times.push_back({m_fed, pts, dts ? dts : pts});
}

void StreamParser::Feed(const std::uint8_t* data, std::size_t size, std::uint64_t offset, Units& out)
{
    if (size == 0)
        return;
    // Bytes that adjoin the last piece join it, as far as a piece can tell their number.
    Piece* last = m_pieces.empty() ? nullptr : &m_pieces.back();
    if (last && last->offset + last->size == offset && last->size + size <= MAX_PIECE)
        last->size += size;
    else
        for (std::size_t done = 0; done < size; done += MAX_PIECE)
            m_pieces.push_back({offset + done, std::min(size - done, MAX_PIECE)});
    m_fed += size;
    if (IsVideo(m_codec)) {
        ScanVideo(data, size, out);
        if (m_open && m_fed - m_unitStart > MAX_UNIT)
            Lose(out);
        return;
    }
    m_bytes.insert(m_bytes.end(), data, data + size);
    ScanAudio(out);
    if (m_bytes.size() > MAX_UNIT)
        Lose(out);
}

void StreamParser::Lose(Units& out)
{
    if (m_open)
        ++out.dropped;
    m_bytes.clear();
    m_pieces.clear();
    m_piecesStart = m_fed;
    m_times.clear();
    m_scanned = 0;
    m_open = false;
    m_chained = false;
    m_hasPicture = false;
    m_head.clear();
    m_recentCount = 0;
    m_lastDts.reset();
    m_nextPts.reset();
    m_gopBase.reset();
    ++m_run;
}

void StreamParser::Finish(Units& out)
{
    // The last picture is known whole only where the stream's end code follows it: a file cut
    // right after a packet looks just as complete.
    if (m_open && IsVideo(m_codec) && m_hasPicture && EndsStream(m_codec, m_recent.data(), m_recentCount))
        EmitPicture(m_fed, out);
    else if (m_open)
        ++out.dropped;
    m_bytes.clear();
    m_pieces.clear();
    m_piecesStart = m_fed;
    m_open = false;
}

void StreamParser::DropPieces(std::uint64_t to)
{
    std::uint64_t length = to - m_piecesStart;
    m_piecesStart = to;
    std::size_t whole = 0;
    while (whole < m_pieces.size() && length >= m_pieces[whole].size)
        length -= m_pieces[whole++].size;
    m_pieces.erase(m_pieces.begin(), m_pieces.begin() + static_cast<std::ptrdiff_t>(whole));
    if (length > 0) {
        m_pieces.front().offset += length;
        m_pieces.front().size -= static_cast<std::uint32_t>(length);
    }
}

void StreamParser::TakeTimes(std::uint64_t position)
{
    // A packet's times belong to the first unit that starts in it: video by its start code's
    // last byte, audio by its header's first.
    m_unitPts.reset();
    m_unitDts.reset();
    while (!m_times.empty() && m_times.front().position <= position) {
        m_unitPts = m_times.front().pts;
        m_unitDts = m_times.front().dts;
        m_times.pop_front();
    }
}

void StreamParser::Output(Unit& unit, std::size_t length, bool timed, Units& out)
{
    if (!timed) {
        ++out.dropped;
        return;
    }
    unit.stream = m_index;
    unit.run = m_run;
    unit.size = static_cast<std::uint32_t>(length);
    unit.firstPiece = out.pieces.size();
    std::size_t left = length;
    for (std::size_t i = 0; left > 0; ++i) {
        const Piece& p = m_pieces[i];
        const std::uint32_t take = static_cast<std::uint32_t>(std::min<std::size_t>(left, p.size));
        out.pieces.push_back({p.offset, take});
        left -= take;
    }
    unit.pieceCount = static_cast<std::uint32_t>(out.pieces.size() - unit.firstPiece);
    out.units.push_back(unit);
}

void StreamParser::Discard(std::size_t length)
{
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(length));
    m_scanned = m_scanned > length ? m_scanned - length : 0;
    DropPieces(m_piecesStart + length);
}

void StreamParser::Open(std::size_t at)
{
    Discard(at);
    m_open = true;
    TakeTimes(m_fed - m_bytes.size());
}

void StreamParser::Emit(std::size_t length, Units& out)
{
    AudioFrame frame;
    ReadAudioFrame(m_codec, m_bytes.data(), frame);
    Unit unit;
    unit.rate = frame.rate;
    // A LOAS frame without a configuration is timed by the last one that had it; before the
    // first, nothing tells its length in time. Nor can a decoder start at it.
    const bool configured = frame.rate > 0;
    if (configured)
        m_configured = frame;
    else
        frame = m_configured;
    unit.key = configured;
    unit.duration = frame.rate > 0 ? static_cast<std::int64_t>(frame.samples) * CLOCK / frame.rate : 0;
    const bool timed = frame.rate > 0 && TimeUnit(unit);
    Output(unit, length, timed, out);
    Discard(length);
    m_open = false;
}

void StreamParser::OpenPicture(std::uint64_t at)
{
    DropPieces(at);
    m_open = true;
    m_unitStart = at;
    m_head.clear();
    m_headDone = false;
    TakeTimes(at + 3);
}

void StreamParser::EmitPicture(std::uint64_t end, Units& out)
{
    if (!m_headDone)
        KeepHead(end);
    const auto length = static_cast<std::size_t>(end - m_unitStart);
    Unit unit;
    const bool timed = DescribeVideo(m_head.data(), std::min(m_head.size(), length), unit);
    Output(unit, length, timed, out);
    DropPieces(end);
    m_open = false;
}

void StreamParser::KeepHead(std::uint64_t end)
{
    // What a picture's description reads lies before its first slice; a head that grows past
    // this without one describes no picture.
    constexpr std::size_t MAX_HEAD = 64 << 10;
    end = std::min<std::uint64_t>(end, m_unitStart + MAX_HEAD);
    std::uint64_t from = m_unitStart + m_head.size();
    const std::uint64_t recentStart = m_sliceStart - m_recentCount;
    if (from < m_sliceStart && from < end) {
        const std::uint64_t to = std::min(end, m_sliceStart);
        const std::uint8_t* first = m_recent.data() + (from - recentStart);
        m_head.insert(m_head.end(), first, first + (to - from));
        from = to;
    }
    if (from < end) {
        const std::uint8_t* first = m_slice + (from - m_sliceStart);
        m_head.insert(m_head.end(), first, first + (end - from));
    }
    m_headDone = m_headDone || m_head.size() == MAX_HEAD;
}

bool StreamParser::TimeUnit(Unit& unit)
{
    if (m_unitPts) {
        unit.pts = *m_unitPts;
        unit.dts = *m_unitDts;
    } else if (!IsVideo(m_codec) && m_nextPts) {
        unit.pts = unit.dts = *m_nextPts;
    } else {
        return false;
    }
    m_nextPts = unit.pts + unit.duration;
    return true;
}

bool StreamParser::DescribeVideo(const std::uint8_t* data, std::size_t size, Unit& unit)
{
    int temporalReference = -1;
    bool recovery = false;
    bool idr = false;
    bool randomAccess = false;
    for (std::size_t i = 0; i + START_CODE_LOOK <= size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        const std::uint8_t code = data[i + 3];
        if (m_codec == Codec::H264) {
            const int nal = code & 0x1F;
            idr = idr || nal == NAL_IDR;
            if (nal == NAL_SEI && !recovery)
                recovery = RecoveryPoint(data + i + 4, size - i - 4);
            if (IsVcl(nal))
                break;
        } else if (m_codec == Codec::HEVC) {
            const int nal = HevcNal(code);
            if (nal < HEVC_FIRST_NON_VCL) {
                randomAccess = nal >= HEVC_FIRST_IRAP && nal <= HEVC_LAST_IRAP;
                idr = nal == HEVC_IDR_WITH_LEADING || nal == HEVC_IDR;
                break;
            }
        } else if (code == SEQUENCE_HEADER && i + 8 <= size) {
            m_rateCode = data[i + 7] & 0x0F;
            m_frameDuration = FrameTicks(m_rateCode, 0, 0);
            std::size_t end = i + 4;
            while (end + 4 <= size && !(data[end] == 0 && data[end + 1] == 0 && data[end + 2] == 1 &&
                                        (data[end + 3] == GROUP_HEADER || data[end + 3] == PICTURE_START)))
                ++end;
            m_sequenceHeader.assign(data + i, data + end);
        } else if (code == EXTENSION && i + 10 <= size && (data[i + 4] >> 4) == SEQUENCE_EXTENSION) {
            m_frameDuration = FrameTicks(m_rateCode, (data[i + 9] >> 5) & 3, data[i + 9] & 0x1F);
        } else if (code == GROUP_HEADER && i + 8 <= size) {
            unit.closed = (data[i + 7] & 0x40) != 0;
            // A group's first picture in display order follows the last of the group before.
            if (m_gopBase)
                m_gopBase = *m_gopBase + (m_lastTemporal + 1) * m_frameDuration;
            m_lastTemporal = -1;
        } else if (code == PICTURE_START) {
            temporalReference = (data[i + 4] << 2) | (data[i + 5] >> 6);
            m_lastTemporal = std::max(m_lastTemporal, temporalReference);
            unit.key = ((data[i + 5] >> 3) & 7) == PICTURE_I;
            break;
        }
    }
    if (m_codec != Codec::MPEG_VIDEO) {
        unit.key = idr || recovery || randomAccess;
        unit.closed = idr;
    } else if (temporalReference < 0) {
        return false;
    }
    if (m_unitPts) {
        unit.pts = *m_unitPts;
        unit.dts = *m_unitDts;
    } else if (m_lastDts && m_frameDuration > 0) {
        unit.dts = *m_lastDts + m_frameDuration;
        if (m_codec == Codec::MPEG_VIDEO && m_gopBase)
            unit.pts = *m_gopBase + temporalReference * m_frameDuration;
        else
            return false;
    } else {
        return false;
    }
    if (m_codec == Codec::MPEG_VIDEO)
        m_gopBase = unit.pts - temporalReference * m_frameDuration;
    else if (m_lastDts && unit.dts > *m_lastDts)
        m_frameDuration = unit.dts - *m_lastDts;
    m_lastDts = unit.dts;
    return true;
}

void StreamParser::StartCode(std::uint64_t start, const std::uint8_t* look, bool previousZero, Units& out)
{
    const std::uint8_t code = look[3];
    bool opens = false;
    bool picture = false;
    std::uint64_t at = start;
    if (m_codec == Codec::MPEG_VIDEO) {
        opens = code == SEQUENCE_HEADER || code == GROUP_HEADER || code == PICTURE_START;
        picture = code == PICTURE_START;
    } else if ((code & 0x80) == 0) {
        if (m_codec == Codec::H264) {
            const int nal = code & 0x1F;
            picture = IsVcl(nal);
            opens = OpensAccessUnit(nal) || (picture && (look[4] & 0x80) != 0);
        } else {
            // A picture's first slice says so in the first bit after the two header bytes.
            const int nal = HevcNal(code);
            picture = nal < HEVC_FIRST_NON_VCL;
            opens = HevcOpensAccessUnit(nal) || (picture && (look[5] & 0x80) != 0);
        }
        // The zero byte of a four-byte start code goes with the unit it starts.
        if (previousZero && (!m_open || start > m_unitStart))
            at = start - 1;
    }
    if (opens && (!m_open || m_hasPicture)) {
        if (m_open)
            EmitPicture(at, out);
        OpenPicture(at);
        m_hasPicture = false;
    } else if (!m_open) {
        return;
    }
    if (picture && !m_hasPicture) {
        m_hasPicture = true;
        if (!m_headDone)
            KeepHead(start + START_CODE_LOOK);
        m_headDone = true;
    }
}

void StreamParser::ScanVideo(const std::uint8_t* data, std::size_t size, Units& out)
{
    m_slice = data;
    m_sliceStart = m_fed - size;
    // Start codes that begin in the last bytes before the slice: those bytes with its first.
    const std::size_t carried = std::min(m_recentCount, START_CODE_LOOK - 1);
    const std::uint8_t* recentEnd = m_recent.data() + m_recentCount;
    if (std::find(recentEnd - carried, recentEnd, 0) != recentEnd) {
        std::array<std::uint8_t, RECENT + START_CODE_LOOK - 1> joint{};
        std::memcpy(joint.data(), m_recent.data(), m_recentCount);
        const std::size_t jointSize = m_recentCount + std::min(size, START_CODE_LOOK - 1);
        std::memcpy(joint.data() + m_recentCount, data, jointSize - m_recentCount);
        for (std::size_t i = m_recentCount - carried;;) {
            const std::size_t start = FindStartCode(joint.data(), i, jointSize);
            if (start >= m_recentCount || start + START_CODE_LOOK > jointSize)
                break;
            StartCode(m_sliceStart - m_recentCount + start, joint.data() + start,
                      start > 0 && joint[start - 1] == 0, out);
            i = start + 1;
        }
    }
    for (std::size_t i = 0;;) {
        const std::size_t start = FindStartCode(data, i, size);
        if (start + START_CODE_LOOK > size)
            break;
        const bool previousZero =
            start > 0 ? data[start - 1] == 0 : m_recentCount > 0 && m_recent[m_recentCount - 1] == 0;
        StartCode(m_sliceStart + start, data + start, previousZero, out);
        i = start + 1;
    }
    if (m_open && !m_headDone)
        KeepHead(m_fed);
    // The stream's last bytes, for start codes that end in the next slice; a slice of a
    // transport packet holds them all, in one copy of fixed length.
    if (size >= RECENT) {
        std::memcpy(m_recent.data(), data + (size - RECENT), RECENT);
        m_recentCount = RECENT;
    } else {
        const std::size_t kept = std::min(m_recentCount, RECENT - size);
        std::memmove(m_recent.data(), m_recent.data() + (m_recentCount - kept), kept);
        std::memcpy(m_recent.data() + kept, data, size);
        m_recentCount = kept + size;
    }
    // While searching, only bytes where a unit may still start are of use.
    if (!m_open && m_fed - m_piecesStart > RECENT)
        DropPieces(m_fed - RECENT);
    m_slice = nullptr;
}

void StreamParser::ScanAudio(Units& out)
{
    AudioFrame frame;
    while (true) {
        const std::size_t size = m_bytes.size();
        if (m_open) {
            ReadAudioFrame(m_codec, m_bytes.data(), frame);
            if (size < frame.length)
                return;
            Emit(frame.length, out);
            m_chained = true;
        }
        // Frames follow one another: the next header is where the last frame ended, also when
        // its bytes come with a later packet.
        if (m_chained) {
            if (m_bytes.size() < AUDIO_HEADER)
                return;
            m_chained = false;
            if (ReadAudioFrame(m_codec, m_bytes.data(), frame)) {
                Open(0);
                continue;
            }
            m_scanned = 0;
        }
        // Searching: a header counts when another follows where its frame ends.
        std::size_t j = m_scanned;
        bool waiting = false;
        for (; j + AUDIO_HEADER <= m_bytes.size(); ++j) {
            if (!ReadAudioFrame(m_codec, m_bytes.data() + j, frame))
                continue;
            AudioFrame next;
            if (j + frame.length + AUDIO_HEADER > m_bytes.size()) {
                waiting = true;
                break;
            }
            if (ReadAudioFrame(m_codec, m_bytes.data() + j + frame.length, next) &&
                (next.rate == frame.rate || next.rate == 0 || frame.rate == 0))
                break;
        }
        if (waiting || j + AUDIO_HEADER > m_bytes.size()) {
            Discard(std::min(j, m_bytes.size()));
            m_scanned = 0;
            return;
        }
        Open(j);
    }
}

} // namespace pg::clipmend::mpeg
