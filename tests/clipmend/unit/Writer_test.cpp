#include "AviWriter.h"
#include "ByteOrder.h"
#include "Salvage.h"
#include "TestAvi.h"
#include "TestIo.h"

#include <gtest/gtest.h>

namespace {

using namespace pg::clipmend;
using clipmendtest::Bytes;
using clipmendtest::Pattern;
using clipmendtest::TestAvi;

struct Written
{
    Bytes file;
    AviLayout layout;
};

// Salvages the input, selects the span and writes it; the salvage of the output is checked
// against what went in.
class WriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_avi.audio = true;
        m_avi.index = clipmendtest::IndexMode::None;
        for (std::size_t i = 0; i < 40; ++i) {
            m_avi.chunks.push_back({0, Pattern(301 + i * 3, static_cast<std::uint8_t>(i)), i % 8 == 0});
            m_avi.chunks.push_back({1, Pattern(640, static_cast<std::uint8_t>(i + 90)), true});
        }
        m_avi.compression = FourCC("MP42");
        // Keyframes by the first two bits, as the test marks them.
        for (auto& c : m_avi.chunks)
            if (c.stream == 0)
                c.data[0] = c.key ? 0x11 : 0x51;
        m_input = m_avi.Build();
    }

    Written Write(SpanRequest span, WriterOptions options = {}, bool mapped = false)
    {
        MemorySource source(m_input, mapped);
        SourceReader reader(source, 4096);
        std::string error;
        EXPECT_TRUE(SalvageAvi(reader, {}, m_salvage, error)) << error;
        EXPECT_TRUE(SelectSpan(m_salvage, span, m_selection, error)) << error;
        MemorySink sink;
        EXPECT_TRUE(WriteAvi(m_salvage.headers, m_selection, options, reader, sink, error)) << error;
        return {sink.Bytes(), PlanLayout(m_salvage.headers, m_selection, options)};
    }

    static Salvage Reread(const Bytes& file)
    {
        MemorySource source(file);
        SourceReader reader(source, 4096);
        Salvage result;
        std::string error;
        EXPECT_TRUE(SalvageAvi(reader, {}, result, error)) << error;
        return result;
    }

    // The written chunks carry the same bytes as the input chunks they came from.
    void ExpectSameData(const Bytes& output, const Salvage& reread) const
    {
        ASSERT_EQ(m_selection.chunks.size(), reread.chunks.size());
        for (std::size_t i = 0; i < reread.chunks.size(); ++i) {
            const PlannedChunk& planned = m_selection.chunks[i];
            const FoundChunk& found = reread.chunks[i];
            ASSERT_EQ(planned.size, found.size) << i;
            EXPECT_TRUE(
                std::equal(output.begin() + static_cast<std::ptrdiff_t>(found.offset + 8),
                           output.begin() + static_cast<std::ptrdiff_t>(found.offset + 8 + found.size),
                           m_input.begin() + static_cast<std::ptrdiff_t>(planned.dataOffset)))
                << i;
            EXPECT_EQ(planned.key, found.key) << i;
        }
    }

    TestAvi m_avi;
    Bytes m_input;
    Salvage m_salvage;
    Selection m_selection;
};

TEST_F(WriterTest, RoundTripKeepsDataFlagsAndCorrectsTheCounts)
{
    const Written w = Write({12, 10});
    EXPECT_EQ(w.layout.totalSize, w.file.size());
    EXPECT_FALSE(w.layout.extended);
    const Salvage reread = Reread(w.file);
    EXPECT_TRUE(reread.report.indexUsed);
    EXPECT_EQ(0u, reread.report.damagedRegions);
    ExpectSameData(w.file, reread);
    // Frames 9 to 21: from the keyframe at 9 through start + count - 1.
    EXPECT_EQ(9u, m_selection.firstFrame);
    const std::uint8_t* avih = w.file.data() + 12 + 12 + 8;
    EXPECT_EQ(13u, Load32(avih + 16));                                        // total frames
    EXPECT_EQ(2u, Load32(avih + 24));                                         // streams
    EXPECT_EQ(0x10u, Load32(avih + 12) & 0x10);                               // has an index
    EXPECT_EQ(13u, Load32(reread.headers.streams[0].strh.data() + 32));       // video length
    EXPECT_EQ(13u * 320, Load32(reread.headers.streams[1].strh.data() + 32)); // samples
    EXPECT_EQ(64, reread.headers.main.width);
}

TEST_F(WriterTest, FrameSizeGoesIntoTheHeadersButNotIntoTheCodecFormat)
{
    WriterOptions options;
    options.width = 640;
    options.height = 352;
    const Written w = Write({1, 0}, options);
    const Salvage reread = Reread(w.file);
    EXPECT_EQ(640, reread.headers.main.width);
    EXPECT_EQ(352, reread.headers.main.height);
    const std::uint8_t* strh = reread.headers.streams[0].strh.data();
    EXPECT_EQ(640u, Load16(strh + 52));
    EXPECT_EQ(352u, Load16(strh + 54));
    EXPECT_EQ(64, reread.headers.streams[0].width); // the decoder's picture stays as it is
}

TEST_F(WriterTest, MissingFrameDurationComesFromTheStreamWithinTheField)
{
    Write({1, 0});
    AviHeaders headers = m_salvage.headers;
    headers.main.microSecPerFrame = 0;
    const auto written = [&](std::uint32_t scale, std::uint32_t rate) {
        headers.streams[0].scale = scale;
        headers.streams[0].rate = rate;
        MemorySource source(m_input);
        SourceReader reader(source);
        MemorySink sink;
        std::string error;
        EXPECT_TRUE(WriteAvi(headers, m_selection, {}, reader, sink, error)) << error;
        return Load32(sink.Bytes().data() + 12 + 12 + 8);
    };
    EXPECT_EQ(UINT32_MAX, written(179'000'000, 1000)); // 1.79e11 microseconds
    EXPECT_EQ(1u, written(1, UINT32_MAX));             // 0 would say "none given"
    EXPECT_EQ(33'367u, written(1001, 30'000));
    EXPECT_EQ(DEFAULT_FRAME_MICROSECONDS, written(0, 25));
    EXPECT_EQ(DEFAULT_FRAME_MICROSECONDS, written(1, 0));
}

TEST_F(WriterTest, StreamLengthPastThirtyTwoBitsIsSaturated)
{
    // Hours of high-rate audio: 4.5 GB of samples, never held: the input's bytes are made where
    // they lie and the sink keeps only the head.
    Write({1, 0});
    AviHeaders headers = m_salvage.headers;
    headers.streams[1].sampleSize = 1;
    Selection selection;
    selection.inputStreams = {0, 1};
    selection.chunks.push_back({8, 100, 0, SUFFIX_DC, true});
    selection.chunks.resize(18, {8, MAX_CHUNK_SIZE, 1, SUFFIX_WB, true});
    clipmendtest::PatternSource source(8 + MAX_CHUNK_SIZE);
    SourceReader reader(source);
    clipmendtest::HeadSink sink(65536);
    std::string error;
    ASSERT_TRUE(WriteAvi(headers, selection, {}, reader, sink, error)) << error;
    AviHeaders written;
    ASSERT_TRUE(ParseHeaderList(sink.head.data() + 24, Load32(sink.head.data() + 16) - 4, written, error));
    EXPECT_EQ(UINT32_MAX, Load32(written.streams[1].strh.data() + 32));
}

TEST_F(WriterTest, LargeOutputIsSplitIntoSegmentsWithExtendedIndexes)
{
    WriterOptions options;
    options.riffLimit = 8192;
    const Written w = Write({1, 0}, options);
    ASSERT_TRUE(w.layout.extended);
    ASSERT_GT(w.layout.segments.size(), 3u);
    EXPECT_EQ(w.layout.totalSize, w.file.size());
    for (std::size_t i = 0; i < w.layout.segments.size(); ++i) {
        const SegmentPlan& seg = w.layout.segments[i];
        const std::uint8_t* riff = w.file.data() + seg.riffOffset;
        EXPECT_EQ(FourCC("RIFF"), Load32(riff));
        EXPECT_LE(Load32(riff + 4) + 8u, options.riffLimit);
        EXPECT_EQ(i == 0 ? FourCC("AVI ") : FourCC("AVIX"), Load32(riff + 8));
        // The header list's super index points at this segment's standard indexes.
        const std::uint8_t* ix = w.file.data() + seg.indexOffsets[0];
        EXPECT_EQ(FourCC("ix00"), Load32(ix));
        EXPECT_EQ(seg.entries[0], Load32(ix + 12));
    }
    // The old index covers the first segment only; the later frames' flags can only have
    // come from the standard indexes.
    const Salvage reread = Reread(w.file);
    EXPECT_EQ(0u, reread.report.damagedRegions);
    ExpectSameData(w.file, reread);
    const std::uint8_t* avih = w.file.data() + 12 + 12 + 8;
    const SegmentPlan& first = w.layout.segments[0];
    std::uint32_t firstFrames = 0;
    for (std::size_t i = first.firstChunk; i < first.endChunk; ++i)
        firstFrames += m_selection.chunks[i].outStream == 0;
    EXPECT_EQ(firstFrames, Load32(avih + 16));
}

TEST_F(WriterTest, StandardIndexesAloneGiveTheKeyframes)
{
    WriterOptions options;
    options.riffLimit = 8192;
    Written w = Write({1, 0}, options);
    // Make every frame look like a keyframe by its bytes: only the indexes can tell.
    const Salvage before = Reread(w.file);
    for (const FoundChunk& c : before.chunks)
        if (c.stream == 0)
            w.file[c.offset + 8] = 0x11;
    const Salvage reread = Reread(w.file);
    ASSERT_EQ(m_selection.chunks.size(), reread.chunks.size());
    const SegmentPlan& last = w.layout.segments.back();
    std::size_t checked = 0;
    for (std::size_t i = last.firstChunk; i < last.endChunk; ++i) {
        EXPECT_EQ(m_selection.chunks[i].key, reread.chunks[i].key) << i;
        checked += !m_selection.chunks[i].key;
    }
    EXPECT_GT(checked, 0u);
}

TEST_F(WriterTest, PlanStaysInOneSegmentUpToTheLimitExactly)
{
    Write({1, 0});
    const std::uint64_t size = PlanLayout(m_salvage.headers, m_selection, {}).totalSize;
    WriterOptions options;
    options.riffLimit = size;
    EXPECT_EQ(1u, PlanLayout(m_salvage.headers, m_selection, options).segments.size());
    options.riffLimit = size - 1;
    EXPECT_TRUE(PlanLayout(m_salvage.headers, m_selection, options).extended);
}

TEST_F(WriterTest, MappedAndReadInputWriteTheSameBytes)
{
    const Written read = Write({3, 0});
    const Written mapped = Write({3, 0}, {}, true);
    EXPECT_EQ(read.file, mapped.file);
}

TEST_F(WriterTest, ChunksWhosePaddingIsNotZeroAreWrittenAfresh)
{
    for (std::size_t i = 0; i < m_avi.chunks.size(); ++i)
        if (m_avi.chunks[i].data.size() & 1)
            m_input[m_avi.DataOffset(i) + m_avi.chunks[i].data.size()] = 0xEE;
    const Written w = Write({1, 0});
    const Salvage reread = Reread(w.file);
    ExpectSameData(w.file, reread);
    std::size_t odd = 0;
    for (const FoundChunk& c : reread.chunks) {
        if (c.size & 1) {
            EXPECT_EQ(0, w.file[c.offset + 8 + c.size]) << c.offset;
            ++odd;
        }
    }
    EXPECT_GT(odd, 10u);
}

TEST_F(WriterTest, FailingSinkIsReported)
{
    class FullDisk final : public ByteSink
    {
    public:
        bool Write(const void*, std::size_t n) override
        {
            m_written += n;
            return m_written < 3000;
        }
        std::uint64_t Position() const override { return m_written; }

    private:
        std::uint64_t m_written = 0;
    };
    Write({1, 0});
    MemorySource source(m_input);
    SourceReader reader(source);
    FullDisk sink;
    std::string error;
    EXPECT_FALSE(WriteAvi(m_salvage.headers, m_selection, {}, reader, sink, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
