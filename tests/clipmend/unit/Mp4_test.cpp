#include "Box.h"
#include "Container.h"
#include "Mp4Container.h"
#include "Mp4Reader.h"
#include "Mp4Writer.h"
#include "TakenRanges.h"
#include "TestAvi.h"
#include "TestIo.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace pg::clipmend;
using namespace pg::clipmend::mp4;
using clipmendtest::Pattern;

Bytes MakeFullBox(std::uint32_t type, std::uint8_t version, std::uint32_t flags, const Bytes& payload)
{
    Bytes out;
    BoxBuilder box(out);
    box.OpenFull(type, version, flags);
    Append(out, payload);
    box.Close();
    return out;
}

Bytes MakeBox(std::uint32_t type, const Bytes& payload)
{
    Bytes out;
    BoxBuilder box(out);
    box.Open(type);
    Append(out, payload);
    box.Close();
    return out;
}

Bytes Table(const char (&type)[5], std::initializer_list<std::uint32_t> values)
{
    Bytes payload;
    for (std::uint32_t v : values)
        Put32(payload, v);
    return MakeFullBox(BoxType(type), 0, 0, payload);
}

// A track of the handler's kind around its sample table (sample descriptions first).
Bytes TrackBox(std::uint8_t id, const char (&handler)[5], std::uint32_t timescale, std::uint32_t duration,
               const Bytes& stbl)
{
    Bytes mdhd;
    Put32(mdhd, 0); // creation and modification time
    Put32(mdhd, 0);
    Put32(mdhd, timescale);
    Put32(mdhd, duration);
    Put32(mdhd, 0); // language, reserved
    Bytes media = MakeFullBox(BoxType("mdhd"), 0, 0, mdhd);
    Bytes handlerBox(4, 0);
    Put32(handlerBox, BoxType(handler));
    handlerBox.resize(21, 0);
    Append(media, MakeFullBox(BoxType("hdlr"), 0, 0, handlerBox));
    Append(media, MakeBox(BoxType("minf"), MakeBox(BoxType("stbl"), stbl)));
    Bytes tkhd(80, 0);
    tkhd[11] = id;
    Bytes trak = MakeFullBox(BoxType("tkhd"), 0, 3, tkhd);
    Append(trak, MakeBox(BoxType("mdia"), media));
    return MakeBox(BoxType("trak"), trak);
}

Bytes MovieBox(const Bytes& tracks)
{
    Bytes mvhd;
    Put32(mvhd, 0);
    Put32(mvhd, 0);
    Put32(mvhd, 1000);
    mvhd.resize(96, 0);
    Bytes movie = MakeFullBox(BoxType("mvhd"), 0, 0, mvhd);
    Append(movie, tracks);
    return MakeBox(BoxType("moov"), movie);
}

Bytes FileType()
{
    Bytes brands;
    Put32(brands, BoxType("isom"));
    Put32(brands, 512);
    Put32(brands, BoxType("isom"));
    return MakeBox(BoxType("ftyp"), brands);
}

// The sample descriptions: one entry of a codec the reader does not look into.
Bytes Descriptions(std::size_t entrySize)
{
    Bytes descriptions;
    Put32(descriptions, 1);
    Append(descriptions, MakeBox(BoxType("xxxx"), Bytes(entrySize, 0)));
    return MakeFullBox(BoxType("stsd"), 0, 0, descriptions);
}

Mp4Salvage Read(const Bytes& file, const SalvageOptions& options = {})
{
    MemorySource source(file);
    SourceReader reader(source, 256);
    Mp4Salvage result;
    std::string error;
    EXPECT_TRUE(SalvageMp4(reader, options, result, error)) << error;
    return result;
}

// A fast-start file of one video track: eight samples in chunks of 3, 3 and 2 (two runs of the
// chunk table), one run of durations, composition offsets as reordered frames have them (the
// table ends early: the samples after it have none), and sync samples 1 and 5.
class Mp4File : public ::testing::Test
{
protected:
    static constexpr std::size_t SAMPLES = 8;
    static constexpr std::uint32_t STEP = 512;
    static constexpr std::int32_t COMPOSITION[SAMPLES] = {1024, 2048, 512, 1024, 2048, 0, 0, 0};

    void SetUp() override
    {
        for (std::size_t i = 0; i < SAMPLES; ++i)
            m_payload.push_back(Pattern(100 + 10 * i, static_cast<std::uint8_t>(i)));
        m_file = FileType();
        const std::size_t start = m_file.size() + Movie(0).size() + 8; // past the data header
        Append(m_file, Movie(start));
        Bytes data;
        for (std::size_t i = 0; i < SAMPLES; ++i) {
            m_offset.push_back(start + data.size());
            Append(data, m_payload[i]);
        }
        Append(m_file, MakeBox(BoxType("mdat"), data));
    }

    Bytes Movie(std::size_t dataStart) const
    {
        Bytes stbl = Descriptions(78); // a visual sample entry's own fields
        Append(stbl, Table("stts", {1, SAMPLES, STEP}));
        Append(stbl, Table("ctts", {5, 1, 1024, 1, 2048, 1, 512, 1, 1024, 1, 2048}));
        Append(stbl, Table("stss", {2, 1, 5}));
        Bytes sizes = {0, 0, 0, 0};
        Put32(sizes, SAMPLES);
        for (const Bytes& p : m_payload)
            Put32(sizes, static_cast<std::uint32_t>(p.size()));
        Append(stbl, MakeFullBox(BoxType("stsz"), 0, 0, sizes));
        Append(stbl, Table("stsc", {2, 1, 3, 1, 3, 2, 1}));
        std::uint32_t chunk[3] = {static_cast<std::uint32_t>(dataStart), 0, 0};
        for (std::size_t i = 0; i < 3; ++i)
            chunk[1] += static_cast<std::uint32_t>(m_payload[i].size());
        chunk[1] += chunk[0];
        chunk[2] = chunk[1];
        for (std::size_t i = 3; i < 6; ++i)
            chunk[2] += static_cast<std::uint32_t>(m_payload[i].size());
        Append(stbl, Table("stco", {3, chunk[0], chunk[1], chunk[2]}));
        return MovieBox(TrackBox(1, "vide", 12800, SAMPLES * STEP, stbl));
    }

    std::vector<Bytes> m_payload;
    std::vector<std::uint64_t> m_offset;
    Bytes m_file;
};

TEST_F(Mp4File, SampleTablesGiveEverySampleItsPlaceTimesAndSyncFlag)
{
    const Mp4Salvage salvage = Read(m_file);
    ASSERT_EQ(salvage.samples.size(), SAMPLES);
    for (std::size_t i = 0; i < SAMPLES; ++i) {
        const Mp4Sample& s = salvage.samples[i];
        EXPECT_EQ(s.offset, m_offset[i]) << i;
        EXPECT_EQ(s.size, m_payload[i].size()) << i;
        EXPECT_EQ(s.time, static_cast<std::int64_t>(i * STEP)) << i;
        EXPECT_EQ(s.composition, COMPOSITION[i]) << i;
        EXPECT_EQ(s.key, i == 0 || i == 4) << i;
    }
    EXPECT_EQ(salvage.tracks.at(0).timescale, 12800u);
}

TEST_F(Mp4File, SampleThatDidNotArriveCostsTheFramesUpToTheNextSyncSample)
{
    // Zeros over sample 2 as a hole leaves them, and a gap of the metadata over sample 6.
    Bytes file = m_file;
    std::fill(file.begin() + static_cast<std::ptrdiff_t>(m_offset[2]),
              file.begin() + static_cast<std::ptrdiff_t>(m_offset[2] + 40), 0);
    SalvageOptions options;
    options.gaps = {{m_offset[6] + 5, m_offset[6] + 6}};
    MemorySource source(file);
    SourceReader reader(source, 256);
    // The file's halves are judged as the tool's second thread may judge them: the second half
    // first, each with a reader of its own. The outcome is the one of a single pass.
    SalvageOptions split = options;
    split.bothHalves = [&file](const std::function<void(SourceReader&, int)>& work) {
        for (int half : {1, 0}) {
            MemorySource own(file);
            SourceReader ownReader(own, 256);
            work(ownReader, half);
        }
    };
    const auto splitContainer = CreateMp4Container();
    std::string error;
    RunSummary splitSummary;
    ASSERT_TRUE(splitContainer->Read(reader, split, error)) << error;
    ASSERT_TRUE(splitContainer->Select({1, 0}, splitSummary, error)) << error;

    const auto container = CreateMp4Container();
    RunSummary summary;
    ASSERT_TRUE(container->Read(reader, options, error)) << error;
    ASSERT_TRUE(container->Select({1, 0}, summary, error)) << error;
    // 0 and 1 decode; 3 needs 2; 4 and 5 decode from the sync sample 4; 7 needs 6.
    EXPECT_EQ(summary.usableFrames, 4u);
    EXPECT_EQ(summary.undecodableFrames, 2u);
    EXPECT_EQ(summary.damage.dropped, 2u);
    EXPECT_EQ(summary.damage.damagedRegions, 2u);
    EXPECT_EQ(splitSummary.usableFrames, summary.usableFrames);
    EXPECT_EQ(splitSummary.undecodableFrames, summary.undecodableFrames);

    // What is written reads back as the usable frames, each keeping its time and offsets.
    MemorySink sink;
    ASSERT_TRUE(container->Write({}, reader, sink, error)) << error;
    const Mp4Salvage again = Read(sink.Bytes());
    ASSERT_EQ(again.samples.size(), 4u);
    const std::size_t kept[] = {0, 1, 4, 5};
    for (std::size_t k = 0; k < 4; ++k) {
        const Mp4Sample& s = again.samples[k];
        EXPECT_EQ(s.size, m_payload[kept[k]].size()) << k;
        EXPECT_EQ(s.time, static_cast<std::int64_t>(kept[k] * STEP)) << k;
        EXPECT_EQ(s.composition, COMPOSITION[kept[k]]) << k;
        EXPECT_EQ(s.key, kept[k] == 0 || kept[k] == 4) << k;
    }
}

TEST_F(Mp4File, ZerosRunningIntoTheLastBytesOfASampleAreAHole)
{
    // Sample 3 holds 130 bytes: zeros from byte 100 through the last whole word, then two that
    // are not.
    Bytes file = m_file;
    const auto start = static_cast<std::ptrdiff_t>(m_offset[3]);
    std::fill(file.begin() + start + 100, file.begin() + start + 128, 0);
    const Mp4Salvage salvage = Read(file);
    EXPECT_EQ(salvage.report.dropped, 1u);
    for (const Mp4Sample& s : salvage.samples)
        EXPECT_NE(s.offset, m_offset[3]);
}

TEST(Mp4TakenRangesTest, OverlapsAreFoundWhetherRangesCameInOrderOrNot)
{
    TakenRanges taken;
    taken.Add(100, 200);
    taken.Add(300, 400);
    taken.Add(300, 350); // the first to begin at 300 stays
    EXPECT_FALSE(taken.Overlaps(200, 300));
    EXPECT_TRUE(taken.Overlaps(399, 500));
    EXPECT_TRUE(taken.Overlaps(50, 101));
    taken.Add(0, 50); // out of order: the ranges before it must stay known
    for (const auto& [begin, end, overlaps] :
         std::initializer_list<std::tuple<int, int, bool>>{{40, 60, true},
                                                           {50, 100, false},
                                                           {150, 160, true},
                                                           {250, 260, false},
                                                           {380, 390, true},
                                                           {400, 450, false}})
        EXPECT_EQ(taken.Overlaps(begin, end), overlaps) << begin;
}

TEST(Mp4SoundTest, DamageCostsUncompressedSoundOnlyTheFramesItTouches)
{
    // A picture, then two chunks of 32 frames of 16-bit sound with a zero-filled hole from the
    // second byte of frame 19 across the chunks' border into frame 41. Frames 10 to 18 and 42 to
    // 50 are silence: zeros that stay within the sound, as long as a hole leaves. Written side by
    // side, the two would make a run that reads as a hole.
    constexpr std::uint32_t FRAMES = 64, PICTURE = 100;
    Bytes sound;
    for (std::uint32_t f = 0; f < FRAMES; ++f) {
        sound.push_back(0x11);
        sound.push_back(0x22);
    }
    std::fill(sound.begin() + 20, sound.begin() + 38, 0);
    sound[38] = 0x33;
    std::fill(sound.begin() + 39, sound.begin() + 83, 0);
    sound[83] = 0x55;
    std::fill(sound.begin() + 84, sound.begin() + 102, 0);
    const auto movie = [&](std::uint32_t dataStart) {
        Bytes video = Descriptions(78);
        Append(video, Table("stts", {1, 1, 1024})); // the picture lasts as long as the sound
        Append(video, Table("stsz", {PICTURE, 1}));
        Append(video, Table("stsc", {1, 1, 1, 1}));
        Append(video, Table("stco", {1, dataStart}));
        Bytes audio = Descriptions(28);
        Append(audio, Table("stts", {1, FRAMES, 1}));
        Append(audio, Table("stsz", {2, FRAMES}));
        Append(audio, Table("stsc", {1, 1, FRAMES / 2, 1}));
        Append(audio, Table("stco", {2, dataStart + PICTURE, dataStart + PICTURE + FRAMES}));
        Bytes tracks = TrackBox(1, "vide", 12800, 1024, video);
        Append(tracks, TrackBox(2, "soun", 1000, FRAMES, audio));
        return MovieBox(tracks);
    };
    Bytes file = FileType();
    const auto start = static_cast<std::uint32_t>(file.size() + movie(0).size() + 8);
    Append(file, movie(start));
    Bytes data = Pattern(PICTURE, 1);
    Append(data, sound);
    Append(file, MakeBox(BoxType("mdat"), data));

    struct Piece
    {
        std::uint64_t offset;
        std::uint32_t frames;
        std::int64_t time;
        bool operator==(const Piece&) const = default;
    };
    const auto soundPieces = [](const Mp4Salvage& salvage) {
        std::vector<Piece> pieces;
        for (const Mp4Sample& s : salvage.samples)
            if (s.track == 1)
                pieces.push_back({s.offset, s.frames, s.time});
        return pieces;
    };
    const std::vector<Piece> kept = {{start + PICTURE, 19, 0}, {start + PICTURE + 84, 22, 42}};
    EXPECT_EQ(soundPieces(Read(file)), kept);

    // Written side by side, the kept frames read back whole, as what they were.
    MemorySource source(file);
    SourceReader reader(source, 256);
    const auto container = CreateMp4Container();
    std::string error;
    RunSummary summary;
    ASSERT_TRUE(container->Read(reader, {}, error) && container->Select({1, 0}, summary, error)) << error;
    MemorySink sink;
    ASSERT_TRUE(container->Write({}, reader, sink, error)) << error;
    const Mp4Salvage again = Read(sink.Bytes());
    EXPECT_EQ(again.report.dropped, 0u);
    Bytes written;
    for (const Piece& piece : soundPieces(again))
        written.insert(written.end(), sink.Bytes().begin() + static_cast<std::ptrdiff_t>(piece.offset),
                       sink.Bytes().begin() + static_cast<std::ptrdiff_t>(piece.offset + 2 * piece.frames));
    Bytes expected(sound.begin(), sound.begin() + 38);
    expected.insert(expected.end(), sound.begin() + 84, sound.end());
    EXPECT_EQ(written, expected);
}

// The payload of the first box along the path of types, null when there is none.
std::pair<const std::uint8_t*, std::size_t> FindBox(const std::uint8_t* data, std::size_t size,
                                                    std::initializer_list<std::uint32_t> path)
{
    std::pair<const std::uint8_t*, std::size_t> found{data, size};
    for (const std::uint32_t type : path) {
        const auto within = found;
        found = {nullptr, 0};
        ForEachBox(within.first, within.second,
                   [&](std::uint32_t t, const std::uint8_t* p, std::size_t n, const std::uint8_t*) {
                       if (!found.first && t == type)
                           found = {p, n};
                   });
        if (!found.first)
            break;
    }
    return found;
}

TEST(Mp4WriterTest, OutputPastFourGibibytesGetsWideChunkOffsetsAndMovieDataSize)
{
    // 4.5 GiB of video in samples of 96 MiB, a sound sample after every sixth: never held, as the
    // input's bytes are made where they lie and the sink keeps the head and each sample's first byte.
    constexpr std::uint32_t VIDEO_SIZE = 96u << 20, SOUND_SIZE = 1000;
    Mp4Salvage salvage;
    salvage.tracks.resize(2);
    salvage.tracks[0].id = 1;
    salvage.tracks[0].handler = HANDLER_VIDEO;
    salvage.tracks[0].timescale = 12800;
    salvage.tracks[1].id = 2;
    salvage.tracks[1].handler = HANDLER_SOUND;
    salvage.tracks[1].timescale = 48000;
    Mp4Plan plan;
    plan.tracks = {0, 1};
    std::uint64_t offset = 1000;
    std::int64_t videoTime = 0, soundTime = 0;
    for (std::size_t i = 0; i < 56; ++i) {
        const bool sound = i % 7 == 6;
        Mp4Sample s;
        s.offset = offset;
        s.size = sound ? SOUND_SIZE : VIDEO_SIZE;
        s.track = sound ? 1 : 0;
        s.duration = sound ? 9600 : 512;
        s.time = sound ? soundTime : videoTime;
        (sound ? soundTime : videoTime) += s.duration;
        s.key = sound || i == 0;
        plan.samples.push_back(salvage.samples.size());
        salvage.samples.push_back(s);
        offset += s.size + 7; // the input holds other bytes between the samples
    }
    clipmendtest::PatternSource source(offset);
    const auto write = [&](clipmendtest::HeadSink& sink) {
        SourceReader reader(source);
        std::string error;
        EXPECT_TRUE(WriteMp4(salvage, plan, {}, reader, sink, error)) << error;
    };
    clipmendtest::HeadSink first(1u << 20);
    write(first);
    const Bytes& head = first.head;
    const auto movie = FindBox(head.data(), head.size(), {BoxType("moov")});
    ASSERT_TRUE(movie.first);
    const std::uint64_t dataBox = static_cast<std::uint64_t>(movie.first - head.data()) + movie.second;
    ASSERT_EQ(Get32(head.data() + dataBox), 1u); // the size follows the type, in 64 bits
    EXPECT_EQ(Get32(head.data() + dataBox + 4), BoxType("mdat"));
    EXPECT_EQ(Get64(head.data() + dataBox + 8), first.position - dataBox);
    EXPECT_GT(first.position, 4ull << 30);

    // Each chunk (a run of one track's samples) starts where the samples before it end.
    std::uint64_t at = dataBox + 16;
    std::vector<std::uint64_t> expected[2];
    std::map<std::uint64_t, std::uint8_t> firstBytes;
    std::size_t previous = 2;
    for (const Mp4Sample& s : salvage.samples) {
        if (s.track != previous)
            expected[s.track].push_back(at);
        firstBytes[at] = clipmendtest::PatternSource::At(s.offset);
        previous = s.track;
        at += s.size;
    }
    EXPECT_EQ(at, first.position);
    std::size_t track = 0;
    ForEachBox(
        movie.first, movie.second,
        [&](std::uint32_t type, const std::uint8_t* p, std::size_t n, const std::uint8_t*) {
            if (type != BoxType("trak"))
                return;
            EXPECT_FALSE(
                FindBox(p, n, {BoxType("mdia"), BoxType("minf"), BoxType("stbl"), BoxType("stco")}).first);
            const auto co64 =
                FindBox(p, n, {BoxType("mdia"), BoxType("minf"), BoxType("stbl"), BoxType("co64")});
            ASSERT_TRUE(co64.first);
            ASSERT_EQ(co64.second, 8 + 8 * expected[track].size());
            ASSERT_EQ(Get32(co64.first + 4), expected[track].size());
            for (std::size_t c = 0; c < expected[track].size(); ++c)
                EXPECT_EQ(Get64(co64.first + 8 + 8 * c), expected[track][c]) << track << " " << c;
            ++track;
        });
    EXPECT_EQ(track, 2u);

    // The bytes at every sample's place are that sample's.
    clipmendtest::HeadSink second(0);
    for (const auto& [position, byte] : firstBytes)
        second.watched[position] = static_cast<std::uint8_t>(byte + 1);
    write(second);
    EXPECT_EQ(second.watched, firstBytes);
}

TEST(Mp4ProbeTest, FilesAreToldByTheirFirstBox)
{
    struct Case
    {
        const char* type;
        bool claimed;
    };
    const Case cases[] = {{"ftyp", true}, {"moov", true},  {"wide", true},
                          {"mdat", true}, {"RIFF", false}, {"abcd", false}};
    for (const Case& c : cases) {
        Bytes bytes;
        Put32(bytes, 24);
        bytes.insert(bytes.end(), c.type, c.type + 4);
        bytes.resize(24, 0);
        const ContainerFormat* format = ProbeContainer(bytes.data(), bytes.size());
        EXPECT_EQ(format != nullptr && format->probe == ProbeMp4, c.claimed) << c.type;
    }
}

} // namespace
