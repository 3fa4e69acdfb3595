#pragma once
// Reads an MPEG program stream (packs and packets) or transport stream (fixed-size packets,
// program tables) as a partial download leaves it: the video stream's pictures and the audio
// frames, with damage skipped by resynchronising on the next pack header or on sync bytes in
// their cadence.
#include "Container.h"
#include "MpegStream.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pg::clipmend::mpeg {

constexpr std::uint32_t TS_PACKET = 188;
constexpr std::uint32_t TS_PREFIXED_PACKET = 192; // with a four-byte arrival time first
constexpr std::uint8_t TS_SYNC = 0x47;
constexpr std::uint8_t PRIVATE_STREAM_1 = 0xBD;

struct MpegStreamInfo
{
    Codec codec = Codec::MPEG_VIDEO;
    std::uint8_t streamId = 0;  // of its packets
    std::uint8_t subStream = 0; // program stream private data: the first payload byte
    std::uint16_t pid = 0;      // transport stream
    std::uint8_t streamType = 0;
    std::vector<std::uint8_t> descriptors; // of the program table
};

struct MpegSalvage
{
    bool transport = false;
    std::uint32_t packetSize = TS_PACKET;
    bool mpeg1 = false;        // program stream packs of the first form
    std::uint32_t muxRate = 0; // program stream, units of 50 bytes per second
    std::uint16_t programNumber = 1;
    std::uint16_t pmtPid = 0x1000;
    // Transport stream: the clock references' PID, how many programs the association table
    // lists, and every stream PID the program's table lists, read or not.
    std::uint16_t pcrPid = 0x1FFF;
    std::size_t programCount = 0;
    std::vector<std::uint16_t> tablePids;
    // Where the walk lost the packs or the packets' cadence, up to where it found them again.
    std::vector<ByteRange> lost;
    std::vector<MpegStreamInfo> streams;
    std::vector<std::vector<std::uint8_t>> sequenceHeaders; // per stream, MPEG video only
    Units units;
    DamageReport report; // the pieces dropped are pictures and audio frames
};

// Told now and then, while the walk goes on, the offset before which the units found are all
// there is: no unit still to come has bytes before it, and every stretch lost before it is known.
using WalkedFunction = std::function<void(std::uint64_t settled)>;

// Program stream: starts with a pack header of either form.
bool SalvageProgramStream(SourceReader& reader, const SalvageOptions& options, MpegSalvage& result,
                          std::string& error, const WalkedFunction& walked = {});
// Transport stream of 188- or 192-byte packets.
bool SalvageTransportStream(SourceReader& reader, const SalvageOptions& options, std::uint32_t packetSize,
                            MpegSalvage& result, std::string& error, const WalkedFunction& walked = {});

// The check sum of program table sections: over a whole section, its own included, it is 0.
std::uint32_t SectionCrc(const std::uint8_t* data, std::size_t size);

// A packet header's times and where its payload starts.
struct PacketHeader
{
    std::size_t payload = 0;
    std::optional<std::int64_t> pts;
    std::optional<std::int64_t> dts;
};
// The header of the packet at b, of which available bytes are there; false when it makes no
// sense. Packets of program streams of the first form (mpeg1) have headers of their own.
bool ReadPacketHeader(const std::uint8_t* b, std::size_t available, bool mpeg1, PacketHeader& header);

// Length of a valid pack header at data (at least 14 bytes), or 0; form 1 or 2 in mpeg1.
std::size_t PackHeaderLength(const std::uint8_t* data, bool& mpeg1);

} // namespace pg::clipmend::mpeg
