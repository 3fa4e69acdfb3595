#include "Salvage.h"
#include "TestAvi.h"

#include <gtest/gtest.h>

namespace {

using namespace pg::clipmend;
using clipmendtest::Bytes;
using clipmendtest::IndexMode;
using clipmendtest::Pattern;
using clipmendtest::TestAvi;

bool Read(const Bytes& file, Salvage& result, std::string& error, const SalvageOptions& options = {})
{
    MemorySource source(file);
    SourceReader reader(source, 4096);
    return SalvageAvi(reader, options, result, error);
}

TestAvi VideoAndAudio(std::size_t frames)
{
    TestAvi avi;
    avi.audio = true;
    for (std::size_t i = 0; i < frames; ++i) {
        avi.chunks.push_back({0, Pattern(301 + i * 10, static_cast<std::uint8_t>(i)), i % 5 == 0});
        avi.chunks.push_back({1, Pattern(640, static_cast<std::uint8_t>(100 + i)), true});
    }
    return avi;
}

TEST(RiffReaderTest, ReadsHeadersAndEveryChunkInOrder)
{
    const TestAvi avi = VideoAndAudio(6);
    Salvage result;
    std::string error;
    ASSERT_TRUE(Read(avi.Build(), result, error)) << error;
    ASSERT_EQ(2u, result.headers.streams.size());
    const StreamHeader& video = result.headers.streams[0];
    EXPECT_EQ(StreamType::Video, video.type);
    EXPECT_EQ(64, video.width);
    EXPECT_EQ(48, video.height);
    EXPECT_EQ(25u, video.rate);
    EXPECT_EQ(StreamType::Audio, result.headers.streams[1].type);
    EXPECT_EQ(2u, result.headers.streams[1].sampleSize);
    ASSERT_EQ(avi.chunks.size(), result.chunks.size());
    for (std::size_t i = 0; i < avi.chunks.size(); ++i) {
        EXPECT_EQ(avi.DataOffset(i), result.chunks[i].offset + 8) << i;
        EXPECT_EQ(avi.chunks[i].data.size(), result.chunks[i].size) << i;
        EXPECT_EQ(avi.chunks[i].stream, result.chunks[i].stream) << i;
        EXPECT_EQ(0u, result.chunks[i].run) << i;
    }
    EXPECT_EQ(0u, result.report.damagedRegions);
    EXPECT_EQ(0u, result.report.dropped);
}

TEST(RiffReaderTest, RejectsWhatIsNoAvi)
{
    Salvage result;
    std::string error;
    EXPECT_FALSE(Read({}, result, error));
    EXPECT_EQ("not an AVI file", error);
    Bytes wave = VideoAndAudio(2).Build();
    wave[8] = 'W'; // RIFF WAVE
    EXPECT_FALSE(Read(wave, result, error));
    EXPECT_EQ("not an AVI file", error);
    Bytes noHeaders = VideoAndAudio(2).Build();
    noHeaders[20] = 'x'; // the header list's type
    EXPECT_FALSE(Read(noHeaders, result, error));
    EXPECT_EQ("no header list", error);
}

TEST(RiffReaderTest, KeyframeFlagsComeFromTheIndexWithEitherOffsetBase)
{
    for (IndexMode mode : {IndexMode::Relative, IndexMode::Absolute}) {
        TestAvi avi = VideoAndAudio(12);
        avi.index = mode;
        Salvage result;
        std::string error;
        ASSERT_TRUE(Read(avi.Build(), result, error)) << error;
        EXPECT_TRUE(result.report.indexUsed);
        ASSERT_EQ(avi.chunks.size(), result.chunks.size());
        for (std::size_t i = 0; i < avi.chunks.size(); ++i)
            EXPECT_EQ(avi.chunks[i].key, result.chunks[i].key) << "chunk " << i;
    }
}

TEST(RiffReaderTest, WithoutIndexAnUnknownCodecMakesEveryFrameAKeyframe)
{
    TestAvi avi = VideoAndAudio(6);
    avi.index = IndexMode::None;
    Salvage result;
    std::string error;
    ASSERT_TRUE(Read(avi.Build(), result, error)) << error;
    EXPECT_FALSE(result.report.indexUsed);
    for (const FoundChunk& c : result.chunks)
        EXPECT_TRUE(c.key);
}

TEST(RiffReaderTest, IndexWithoutAnyKeyframeIsNotTrusted)
{
    TestAvi avi = VideoAndAudio(6);
    for (auto& c : avi.chunks)
        c.key = c.stream != 0;
    Salvage result;
    std::string error;
    ASSERT_TRUE(Read(avi.Build(), result, error)) << error;
    EXPECT_FALSE(result.report.indexUsed);
    EXPECT_TRUE(result.chunks[0].key);
}

TEST(RiffReaderTest, IndexDoesNotOverruleFramesThatStandAlone)
{
    TestAvi avi = VideoAndAudio(6);
    avi.compression = FourCC("MJPG");
    Salvage result;
    std::string error;
    ASSERT_TRUE(Read(avi.Build(), result, error)) << error;
    for (const FoundChunk& c : result.chunks)
        EXPECT_TRUE(c.key);
}

TEST(RiffReaderTest, Mpeg4KeyframesAreToldByThePictureHeaderWhenTheIndexIsMissing)
{
    TestAvi avi;
    avi.compression = FourCC("XVID");
    avi.index = IndexMode::None;
    const int types[] = {0, 1, 1, 2, 0, 1};
    for (int t : types)
        avi.chunks.push_back({0, clipmendtest::Mpeg4Frame(t, 200), t == 0});
    Salvage result;
    std::string error;
    ASSERT_TRUE(Read(avi.Build(), result, error)) << error;
    ASSERT_EQ(6u, result.chunks.size());
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(types[i] == 0, result.chunks[i].key) << i;
}

} // namespace
