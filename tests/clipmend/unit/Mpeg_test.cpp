#include "Container.h"
#include "MpegContainer.h"
#include "MpegStream.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using namespace pg::clipmend;
using namespace pg::clipmend::mpeg;
using Bytes = std::vector<std::uint8_t>;

// Audio frame headers of rates, layers and forms the end-to-end sources do not reach: the frame
// length, samples and rate each gives, or none.
TEST(MpegAudioFrame, LengthsAndSamplesFollowTheHeader)
{
    struct Case
    {
        Codec codec;
        Bytes header;
        bool valid;
        std::uint32_t length;
        std::uint32_t samples;
        std::uint32_t rate;
    };
    const Case cases[] = {
        {Codec::MPEG_AUDIO, {0xFF, 0xFD, 0xA4, 0x00, 0, 0, 0}, true, 576, 1152, 48000}, // layer II, 192
                                                                                        // kbit/s
        {Codec::MPEG_AUDIO, {0xFF, 0xFD, 0xA6, 0x00, 0, 0, 0}, true, 577, 1152, 48000}, // the same, padded
        {Codec::MPEG_AUDIO, {0xFF, 0xF3, 0x84, 0x00, 0, 0, 0}, true, 192, 576, 24000},  // MPEG-2 layer III
        {Codec::MPEG_AUDIO, {0xFF, 0xFF, 0x14, 0x00, 0, 0, 0}, true, 32, 384, 48000},   // layer I, 32 kbit/s
        {Codec::MPEG_AUDIO, {0xFF, 0xFD, 0xF4, 0x00, 0, 0, 0}, false, 0, 0, 0},         // bitrate index 15
        {Codec::AC3, {0x0B, 0x77, 0, 0, 0x41, 0x40, 0}, true, 140, 1536, 44100},        // 32 kbit/s, odd
        {Codec::AC3, {0x0B, 0x77, 0, 0, 0x00, 0x40, 0}, true, 128, 1536, 48000},        // 32 kbit/s
        {Codec::AC3, {0x0B, 0x77, 0, 0, 0x00, 0x80, 0}, false, 0, 0, 0},                // E-AC-3 stream id
        {Codec::EAC3, {0x0B, 0x77, 0x01, 0x7F, 0x34, 0x80, 0}, true, 768, 1536, 48000}, // six blocks
        {Codec::EAC3, {0x0B, 0x77, 0x01, 0x7F, 0xD4, 0x80, 0}, true, 768, 1536, 22050}, // the halved rates
        {Codec::EAC3, {0x0B, 0x77, 0x01, 0x7F, 0x04, 0x80, 0}, true, 768, 256, 48000},  // one block
        {Codec::EAC3, {0x0B, 0x77, 0x41, 0x7F, 0x34, 0x80, 0}, false, 0, 0, 0},         // a dependent stream
        {Codec::EAC3, {0x0B, 0x77, 0x01, 0x7F, 0x34, 0x40, 0}, false, 0, 0, 0},         // AC-3's stream id
        {Codec::AAC, {0xFF, 0xF1, 0x4C, 0x80, 0x2E, 0x7F, 0xFC}, true, 371, 1024, 48000},
        {Codec::AAC, {0xFF, 0xF1, 0x4C, 0x80, 0x2E, 0x7F, 0xFD}, true, 371, 2048, 48000}, // two raw blocks
        // LOAS: a frame with its stream's configuration (AAC LC, 48 kHz), one without, one of two
        // sub-frames at 44.1 kHz.
        {Codec::AAC_LATM, {0x56, 0xE0, 0xDB, 0x20, 0x00, 0x11, 0x88}, true, 222, 1024, 48000},
        {Codec::AAC_LATM, {0x56, 0xE0, 0xA4, 0xD1, 0x00, 0x71, 0x1A}, true, 167, 0, 0},
        {Codec::AAC_LATM, {0x56, 0xE0, 0xDB, 0x20, 0x80, 0x12, 0x08}, true, 222, 2048, 44100},
        {Codec::AAC_LATM, {0x57, 0xE0, 0xDB, 0x20, 0x00, 0x11, 0x88}, false, 0, 0, 0}, // no sync word
    };
    for (const Case& c : cases) {
        AudioFrame frame;
        const int at = static_cast<int>(&c - cases);
        EXPECT_EQ(c.valid, ReadAudioFrame(c.codec, c.header.data(), frame)) << at;
        if (c.valid) {
            EXPECT_EQ(c.length, frame.length) << at;
            EXPECT_EQ(c.samples, frame.samples) << at;
            EXPECT_EQ(c.rate, frame.rate) << at;
        }
    }
}

// Start codes at every place of the scan's blocks, among zero bytes that start nothing (single
// ones, pairs before another byte, the zeros of emulation prevention), are found from wherever
// the scan begins and ends: the first one, as a plain search finds it.
TEST(MpegStartCode, FoundAtEveryPlaceAmongZeros)
{
    const auto plain = [](const Bytes& b, std::size_t from, std::size_t size) {
        for (std::size_t i = from; i + 3 <= size; ++i)
            if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1)
                return i;
        return size;
    };
    Bytes bytes(200);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = i % 7 == 0 ? 0 : i % 13 == 0 ? 3 : static_cast<std::uint8_t>(0x20 + i);
    for (std::size_t at = 0; at + 4 <= 100; ++at) {
        Bytes b = bytes;
        b[at + 40] = 0; // a pair before the start code, not one
        b[at + 41] = 0;
        b[at + 42] = 2;
        std::copy_n(Bytes{0, 0, 1}.begin(), 3, b.begin() + static_cast<std::ptrdiff_t>(at));
        std::copy_n(Bytes{0, 0, 0, 1}.begin(), 4, b.begin() + 150);
        for (std::size_t from : {std::size_t{0}, at, at + 1})
            for (std::size_t size : {b.size(), at + 2, at + 3, std::size_t{153}, std::size_t{154}})
                EXPECT_EQ(plain(b, from, size), FindStartCode(b.data(), from, size))
                    << at << " " << from << " " << size;
    }
}

// The video stream is scanned where its bytes lie, however the packets cut it: start codes split
// between packets, four-byte start codes, and pieces of every size give the same pictures.
TEST(MpegVideoStream, PicturesDoNotDependOnHowPacketsCutTheStream)
{
    // Access units of H.264: delimiter, parameter sets, a slice starting at macroblock 0; the
    // stream ends with its end code.
    Bytes stream;
    std::vector<std::size_t> starts;
    for (int picture = 0; picture < 6; ++picture) {
        starts.push_back(stream.size());
        const bool idr = picture % 3 == 0;
        const Bytes head = {0, 0, 0, 1, 0x09, 0xF0, 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xCE};
        stream.insert(stream.end(), head.begin(), head.end());
        stream.insert(stream.end(), {0, 0, 1, static_cast<std::uint8_t>(idr ? 0x65 : 0x41), 0x88});
        // One picture larger than a piece can tell.
        for (int i = 0; i < (picture == 2 ? 70000 : 40 + picture * 7); ++i)
            stream.push_back(static_cast<std::uint8_t>(0x11 + (i * 37 + picture) % 200));
        stream.push_back(0); // a trailing zero, as encoders leave before a four-byte start code
    }
    stream.insert(stream.end(), {0, 0, 0, 1, 0x0B});

    // Each picture is a packet with its time, its bytes fed in slices as transport packets cut it.
    const auto scan = [&](std::size_t slice) {
        StreamParser parser(0, Codec::H264);
        Units units;
        for (std::size_t picture = 0; picture < starts.size(); ++picture) {
            const std::size_t end = picture + 1 < starts.size() ? starts[picture + 1] : stream.size();
            const std::int64_t pts = 3600 * static_cast<std::int64_t>(picture);
            parser.StartPacket(pts, pts);
            for (std::size_t at = starts[picture]; at < end; at += slice)
                parser.Feed(stream.data() + at, std::min(slice, end - at), 1000 + at, units);
        }
        parser.Finish(units);
        return units;
    };
    const Units whole = scan(stream.size());
    ASSERT_EQ(6u, whole.units.size());
    EXPECT_EQ(0u, whole.dropped);
    for (std::size_t i = 0; i < whole.units.size(); ++i) {
        EXPECT_EQ(i % 3 == 0, whole.units[i].key) << i;
        EXPECT_EQ(3600 * static_cast<std::int64_t>(i), whole.units[i].pts) << i;
    }
    for (std::size_t slice : {1, 2, 3, 4, 5, 6, 7, 13, 184}) {
        const Units cut = scan(slice);
        ASSERT_EQ(whole.units.size(), cut.units.size()) << slice;
        for (std::size_t i = 0; i < whole.units.size(); ++i) {
            const Unit& a = whole.units[i];
            const Unit& b = cut.units[i];
            EXPECT_EQ(a.size, b.size) << slice << " " << i;
            EXPECT_EQ(a.key, b.key) << slice << " " << i;
            EXPECT_EQ(a.pts, b.pts) << slice << " " << i;
            // The same file bytes, however many pieces hold them.
            EXPECT_EQ(whole.pieces[a.firstPiece].offset, cut.pieces[b.firstPiece].offset)
                << slice << " " << i;
            std::uint64_t next = cut.pieces[b.firstPiece].offset;
            for (std::size_t k = b.firstPiece; k < b.firstPiece + b.pieceCount; ++k) {
                EXPECT_EQ(next, cut.pieces[k].offset) << slice << " " << i;
                next = cut.pieces[k].offset + cut.pieces[k].size;
            }
            EXPECT_EQ(cut.pieces[b.firstPiece].offset + b.size, next) << slice << " " << i;
        }
    }
}

Bytes TransportPackets(std::size_t count, std::size_t size)
{
    Bytes bytes(count * size, 0xFF);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i * size + size - 188] = 0x47;
    return bytes;
}

// Each kind of MPEG stream is told by its first bytes, and by nothing that merely resembles it.
TEST(MpegProbe, StreamsAreToldByTheirFirstBytes)
{
    const Bytes mpeg2Pack = {0,    0,    1,    0xBA, 0x44, 0, 0x04, 0, 0x04,
                             0x01, 0x01, 0x89, 0xC3, 0xF8, 0, 0,    1, 0xBB};
    const Bytes mpeg1Pack = {0, 0, 1, 0xBA, 0x21, 0, 0x01, 0, 0x01, 0x80, 0, 0x01, 0, 0, 1, 0xBB, 0, 0};
    Bytes brokenPack = mpeg2Pack;
    brokenPack[6] = 0; // a marker bit missing
    const Bytes elementary = {0, 0, 1, 0xB3, 0x14, 0, 0xF0, 0x13, 0xFF, 0xFF, 0xE0, 0x18, 0, 0, 1, 0xB8};
    EXPECT_EQ(100, ProbeProgramStream(mpeg2Pack.data(), mpeg2Pack.size()));
    EXPECT_EQ(100, ProbeProgramStream(mpeg1Pack.data(), mpeg1Pack.size()));
    EXPECT_EQ(0, ProbeProgramStream(brokenPack.data(), brokenPack.size()));
    // A bare video stream is claimed only weakly, to be refused by name.
    EXPECT_EQ(10, ProbeProgramStream(elementary.data(), elementary.size()));

    const Bytes plain = TransportPackets(4, 188);
    const Bytes prefixed = TransportPackets(4, 192);
    Bytes offBeat = plain;
    offBeat[188] = 0x46;
    EXPECT_EQ(100, ProbeTransportStream(plain.data(), plain.size()));
    EXPECT_GT(ProbeTransportStream(prefixed.data(), prefixed.size()), 0);
    EXPECT_EQ(0, ProbeTransportStream(offBeat.data(), offBeat.size()));
    // A file of one packet has its sync byte as far as it goes.
    EXPECT_GT(ProbeTransportStream(plain.data(), 188), 0);

    const ContainerFormat* format = ProbeContainer(prefixed.data(), prefixed.size());
    ASSERT_NE(nullptr, format);
    EXPECT_EQ(format->create()->Kind(), "MPEG transport stream");
}

} // namespace
