#pragma once
// The elementary streams inside MPEG program and transport streams. Their bytes arrive in
// pieces (packet payloads) and are cut here into pictures and audio frames, each with the file
// ranges that hold it and its time; a unit open when bytes of its stream are lost is dropped.
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace pg::clipmend::mpeg {

constexpr std::int64_t CLOCK = 90000; // timestamp ticks per second

enum class Codec : std::uint8_t {
    MPEG_VIDEO,
    H264,
    HEVC,
    MPEG_AUDIO,
    AC3,
    EAC3,
    AAC,      // in ADTS frames
    AAC_LATM, // in LOAS frames
};

bool IsVideo(Codec codec);
// The first start code (00 00 01) at or after from whose three bytes lie before size, or size.
std::size_t FindStartCode(const std::uint8_t* data, std::size_t from, std::size_t size);
// Whether the size bytes at data end with the video stream's end code.
bool EndsStream(Codec codec, const std::uint8_t* data, std::size_t size);

// Audio frame header at data (at least 7 bytes): its length and samples, or false. A LOAS frame
// that does not carry its stream's configuration has no rate and samples (0) of its own.
struct AudioFrame
{
    std::uint32_t length = 0;
    std::uint32_t samples = 0;
    std::uint32_t rate = 0;
};
bool ReadAudioFrame(Codec codec, const std::uint8_t* data, AudioFrame& frame);

// Where bytes of a unit lie in the file: eight bytes, as a transport stream's list holds one for
// each packet and clearing fresh memory costs as much as filling it.
struct Piece
{
    std::uint64_t offset : 48;
    std::uint64_t size : 16;
};
constexpr std::size_t MAX_PIECE = 0xFFFF;

// A picture or an audio frame.
struct Unit
{
    std::uint32_t stream = 0;
    // Count of losses of its stream before it: where it changes, decoding starts afresh.
    std::uint32_t run = 0;
    bool key = false;          // decoding can start at it
    bool closed = false;       // a keyframe no later picture needs anything before
    std::uint32_t rate = 0;    // sound: the sample rate its header gives; 0 where it gives none
    std::int64_t pts = 0;      // ticks, on one timeline for all streams
    std::int64_t dts = 0;      // ticks
    std::int64_t duration = 0; // ticks; 0 for video pictures, timed by their neighbours
    std::size_t firstPiece = 0;
    std::uint32_t pieceCount = 0;
    std::uint32_t size = 0;
};

struct Units
{
    std::vector<Unit> units; // in the order they end in the file: decoding order per stream
    std::vector<Piece> pieces;
    std::uint64_t dropped = 0; // open when their stream lost bytes, or without a time
};

// Splits one stream's bytes into units.
class StreamParser
{
public:
    StreamParser(std::uint32_t index, Codec codec) : m_index(index), m_codec(codec) {}

    // A packet starts whose payload comes next; its times (ticks, unwrapped) are the first
    // unit's that starts in it.
    void StartPacket(std::optional<std::int64_t> pts, std::optional<std::int64_t> dts);
    void Feed(const std::uint8_t* data, std::size_t size, std::uint64_t offset, Units& out);
    // Bytes of the stream were lost: the open unit goes, and a new one is awaited.
    void Lose(Units& out);
    // The stream ended whole: the open unit is complete.
    void Finish(Units& out);
    // MPEG video: the last sequence header with its extensions, for a file starting without one.
    const std::vector<std::uint8_t>& SequenceHeader() const { return m_sequenceHeader; }
    // Where the first byte it holds for units still to come lies in the file; none: the most.
    std::uint64_t HeldFrom() const
    {
        return m_pieces.empty() ? UINT64_MAX : std::uint64_t{m_pieces.front().offset};
    }

private:
    struct PacketTime
    {
        std::uint64_t position;
        std::optional<std::int64_t> pts;
        std::optional<std::int64_t> dts;
    };

    // Video is scanned where its bytes lie; only the open picture's first bytes are kept.
    void ScanVideo(const std::uint8_t* data, std::size_t size, Units& out);
    // A start code at stream position start; look holds its first START_CODE_LOOK bytes,
    // previousZero whether the byte before it is a zero of the same run of the stream.
    void StartCode(std::uint64_t start, const std::uint8_t* look, bool previousZero, Units& out);
    void OpenPicture(std::uint64_t at);
    void EmitPicture(std::uint64_t end, Units& out);
    // Keeps the open picture's bytes up to end (stream position) that the current slice holds.
    void KeepHead(std::uint64_t end);

    void ScanAudio(Units& out);
    // Makes m_bytes[at] the start of the open audio frame, dropping what came before it.
    void Open(std::size_t at);
    void Emit(std::size_t length, Units& out);
    void Discard(std::size_t length);

    // The unit of length bytes starting where m_pieces start, when its time is known.
    void Output(Unit& unit, std::size_t length, bool timed, Units& out);
    void DropPieces(std::uint64_t to);
    void TakeTimes(std::uint64_t position);
    bool DescribeVideo(const std::uint8_t* data, std::size_t size, Unit& unit);
    bool TimeUnit(Unit& unit);

    static constexpr std::size_t RECENT = 8;

    std::uint32_t m_index;
    Codec m_codec;
    std::uint32_t m_run = 0;
    std::vector<Piece> m_pieces;     // where the stream's bytes from m_piecesStart lie in the file
    std::uint64_t m_piecesStart = 0; // in stream bytes
    std::uint64_t m_fed = 0;         // stream bytes so far
    bool m_open = false;
    // Audio: the bytes from the open frame's start, or bytes searched for one.
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_scanned = 0; // of m_bytes, searched for frame starts
    bool m_chained = false;    // the next frame starts where the last one ended
    // Video: the open picture, the bytes it starts with, and the stream's last bytes before the
    // slice being scanned (start codes that begin in them are looked at with the slice's first).
    std::uint64_t m_unitStart = 0;
    std::vector<std::uint8_t> m_head;
    bool m_headDone = false;
    bool m_hasPicture = false;
    std::array<std::uint8_t, RECENT> m_recent{};
    std::size_t m_recentCount = 0;
    const std::uint8_t* m_slice = nullptr;
    std::uint64_t m_sliceStart = 0;
    std::deque<PacketTime> m_times;
    std::optional<std::int64_t> m_unitPts;
    std::optional<std::int64_t> m_unitDts;
    std::optional<std::int64_t> m_lastDts;
    std::optional<std::int64_t> m_nextPts;
    std::optional<std::int64_t> m_gopBase; // MPEG video: time of temporal reference 0
    int m_lastTemporal = -1;               // the group's highest temporal reference so far
    std::int64_t m_frameDuration = 0;
    int m_rateCode = 0;      // MPEG video: the sequence header's frame rate code
    AudioFrame m_configured; // LOAS: the rate and samples of the last frame with a configuration
    std::vector<std::uint8_t> m_sequenceHeader;
};

} // namespace pg::clipmend::mpeg
