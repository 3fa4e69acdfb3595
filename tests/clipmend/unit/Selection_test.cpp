#include "Selection.h"

#include <gtest/gtest.h>

namespace {

using namespace pg::clipmend;

// A salvage result built directly: video at 25 frames per second, optionally PCM audio at
// 8000 samples per second with one 640-byte chunk (40 ms) per frame.
class SelectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StreamHeader video;
        video.type = StreamType::Video;
        video.scale = 1;
        video.rate = 25;
        m_salvage.headers.streams.push_back(video);
    }

    void AddAudio()
    {
        StreamHeader audio;
        audio.type = StreamType::Audio;
        audio.scale = 1;
        audio.rate = 8000;
        audio.sampleSize = 2;
        m_salvage.headers.streams.push_back(audio);
    }

    void Frame(bool key, std::uint32_t run = 0, bool withAudio = false)
    {
        m_salvage.chunks.push_back({m_offset, 100, 0, SUFFIX_DC, run, key});
        m_offset += 108;
        if (withAudio) {
            m_salvage.chunks.push_back({m_offset, 640, 1, SUFFIX_WB, run, true});
            m_offset += 648;
        }
    }

    Selection Select(std::int64_t start, std::int64_t count)
    {
        Selection selection;
        std::string error;
        EXPECT_TRUE(SelectSpan(m_salvage, {start, count}, selection, error)) << error;
        return selection;
    }

    Salvage m_salvage;
    std::uint64_t m_offset = 1000;
};

TEST_F(SelectionTest, SpanStartsAtTheLastKeyframeAtOrBeforeTheStartFrame)
{
    for (int i = 0; i < 30; ++i)
        Frame(i % 10 == 0);
    const Selection s = Select(15, 3);
    EXPECT_EQ(11u, s.firstFrame);
    EXPECT_EQ(17u, s.lastFrame);
    ASSERT_EQ(7u, s.chunks.size());
    EXPECT_EQ(m_salvage.chunks[10].offset + 8, s.chunks[0].dataOffset);
    EXPECT_TRUE(s.chunks[0].key);
    const Selection exact = Select(21, 2);
    EXPECT_EQ(21u, exact.firstFrame);
    EXPECT_EQ(2u, exact.frames);
}

TEST_F(SelectionTest, CountPastTheEndStopsAtTheLastFrameAndNoCountMeansAll)
{
    for (int i = 0; i < 12; ++i)
        Frame(i == 0);
    EXPECT_EQ(12u, Select(5, 100).lastFrame);
    const Selection all = Select(1, 0);
    EXPECT_EQ(1u, all.firstFrame);
    EXPECT_EQ(12u, all.frames);
}

TEST_F(SelectionTest, StartFramePastTheEndIsAnError)
{
    for (int i = 0; i < 5; ++i)
        Frame(true);
    Selection s;
    std::string error;
    EXPECT_FALSE(SelectSpan(m_salvage, {6, 0}, s, error));
    EXPECT_EQ("no usable frames: start frame 6 is past the last usable frame 5", error);
    m_salvage.chunks.clear();
    EXPECT_FALSE(SelectSpan(m_salvage, {1, 0}, s, error));
    EXPECT_EQ("no usable frames", error);
}

TEST_F(SelectionTest, DeltaFramesAfterDamageAreDroppedUntilTheNextKeyframe)
{
    Frame(true);
    Frame(false);
    Frame(false, 1); // after damage: its reference is lost
    Frame(false, 1);
    Frame(true, 1);
    Frame(false, 1);
    Frame(false, 2);
    const Selection s = Select(1, 0);
    EXPECT_EQ(4u, s.usableFrames);
    EXPECT_EQ(3u, s.undecodableFrames);
    ASSERT_EQ(4u, s.chunks.size());
    EXPECT_EQ(m_salvage.chunks[4].offset + 8, s.chunks[2].dataOffset);
    // Numbers count usable frames: frame 4 is the delta after the keyframe of run 1.
    const Selection late = Select(4, 1);
    EXPECT_EQ(3u, late.firstFrame);
    EXPECT_EQ(m_salvage.chunks[4].offset + 8, late.chunks[0].dataOffset);
}

TEST_F(SelectionTest, FileStartingWithADeltaFrameBeginsAtTheFirstKeyframe)
{
    Frame(false);
    Frame(true);
    Frame(false);
    const Selection s = Select(1, 0);
    EXPECT_EQ(2u, s.frames);
    EXPECT_EQ(1u, s.undecodableFrames);
}

TEST_F(SelectionTest, AudioIsTakenForTheTimeOfTheChosenFrames)
{
    AddAudio();
    for (int i = 0; i < 20; ++i)
        Frame(i % 5 == 0, 0, true);
    const Selection s = Select(7, 4); // frames 6 to 10: 200 ms to 400 ms
    ASSERT_EQ(2u, s.inputStreams.size());
    std::size_t audio = 0;
    for (const PlannedChunk& c : s.chunks) {
        if (c.outStream != 1)
            continue;
        // Audio chunk k covers 40k to 40k + 40 ms.
        const std::uint64_t k = (c.dataOffset - 8 - 1000 - 108) / 756;
        EXPECT_GE(k, 5u);
        EXPECT_LE(k, 9u);
        ++audio;
    }
    EXPECT_EQ(5u, audio);
}

TEST_F(SelectionTest, AudioAheadInTheFileIsStillMatchedByTime)
{
    AddAudio();
    // Half a second of audio (12.5 frames) comes first, as writers with audio preload do it.
    for (int i = 0; i < 13; ++i) {
        m_salvage.chunks.push_back({m_offset, 640, 1, SUFFIX_WB, 0, true});
        m_offset += 648;
    }
    for (int i = 0; i < 20; ++i)
        Frame(true, 0, true);
    const Selection s = Select(3, 2); // 80 ms to 160 ms: audio chunks 2 and 3
    std::vector<std::uint64_t> audioOffsets;
    for (const PlannedChunk& c : s.chunks)
        if (c.outStream == 1)
            audioOffsets.push_back(c.dataOffset);
    ASSERT_EQ(2u, audioOffsets.size());
    EXPECT_EQ(m_salvage.chunks[2].offset + 8, audioOffsets[0]);
    EXPECT_EQ(m_salvage.chunks[3].offset + 8, audioOffsets[1]);
}

TEST_F(SelectionTest, AudioStreamWithoutChunksInTheSpanIsLeftOut)
{
    AddAudio();
    for (int i = 0; i < 10; ++i)
        Frame(true);
    const Selection s = Select(1, 0);
    EXPECT_EQ(1u, s.inputStreams.size());
    EXPECT_EQ(0u, s.videoStream);
}

TEST(SelectionStreamsTest, OtherStreamsAreLeftOutAndTheRestNumberedAfresh)
{
    Salvage salvage;
    StreamHeader text;
    text.type = StreamType::Other;
    StreamHeader video;
    video.type = StreamType::Video;
    video.scale = 1;
    video.rate = 25;
    StreamHeader audio;
    audio.type = StreamType::Audio;
    audio.scale = 1;
    audio.rate = 8000;
    audio.sampleSize = 2;
    salvage.headers.streams = {text, video, video, audio};
    std::uint64_t offset = 100;
    for (int i = 0; i < 4; ++i) {
        salvage.chunks.push_back({offset, 10, 1, SUFFIX_DC, 0, true});
        salvage.chunks.push_back({offset + 20, 10, 2, SUFFIX_DC, 0, true}); // a second video stream
        salvage.chunks.push_back({offset + 40, 640, 3, SUFFIX_WB, 0, true});
        offset += 700;
    }
    Selection s;
    std::string error;
    ASSERT_TRUE(SelectSpan(salvage, {1, 0}, s, error)) << error;
    const std::vector<std::size_t> kept = {1, 3};
    EXPECT_EQ(kept, s.inputStreams);
    EXPECT_EQ(0u, s.videoStream);
    ASSERT_EQ(8u, s.chunks.size());
    for (std::size_t i = 0; i < s.chunks.size(); ++i)
        EXPECT_EQ(i % 2, s.chunks[i].outStream) << i;
}

TEST(SelectionErrorTest, FileWithoutVideoHasNothingToWrite)
{
    Salvage salvage;
    StreamHeader audio;
    audio.type = StreamType::Audio;
    salvage.headers.streams.push_back(audio);
    Selection s;
    std::string error;
    EXPECT_FALSE(SelectSpan(salvage, {1, 0}, s, error));
    EXPECT_EQ("no video stream", error);
}

} // namespace
