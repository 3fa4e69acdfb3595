#include "Salvage.h"
#include "TestAvi.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace pg::clipmend;
using clipmendtest::Bytes;
using clipmendtest::IndexMode;
using clipmendtest::Pattern;
using clipmendtest::TestAvi;

// 30 frames of 500 to 790 bytes and 30 audio chunks, no index: as a partial download has it.
class ResyncTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_avi.audio = true;
        m_avi.index = IndexMode::None;
        for (std::size_t i = 0; i < 30; ++i) {
            m_avi.chunks.push_back({0, Pattern(500 + i * 10, static_cast<std::uint8_t>(i)), true});
            m_avi.chunks.push_back({1, Pattern(320, static_cast<std::uint8_t>(i + 50)), true});
        }
        m_file = m_avi.Build();
    }

    Salvage Read(const Bytes& file, const SalvageOptions& options = {}, bool mapped = false)
    {
        MemorySource source(file, mapped);
        SourceReader reader(source, 1024);
        Salvage result;
        std::string error;
        EXPECT_TRUE(SalvageAvi(reader, options, result, error)) << error;
        return result;
    }

    // Chunk i, whole and unchanged, is among the found ones.
    bool Found(const Salvage& result, std::size_t i) const
    {
        const std::uint64_t offset = m_avi.DataOffset(i) - 8;
        for (const FoundChunk& c : result.chunks)
            if (c.offset == offset)
                return c.size == m_avi.chunks[i].data.size();
        return false;
    }

    std::uint64_t Start(std::size_t i) const { return m_avi.DataOffset(i) - 8; }

    TestAvi m_avi;
    Bytes m_file;
};

TEST_F(ResyncTest, ZeroFilledHoleIsSkippedAndTheChunkItCutIsDropped)
{
    // The hole starts in the middle of chunk 20 and ends in the middle of chunk 29.
    const std::uint64_t begin = Start(20) + 100;
    const std::uint64_t end = Start(29) + 50;
    std::fill(m_file.begin() + static_cast<std::ptrdiff_t>(begin),
              m_file.begin() + static_cast<std::ptrdiff_t>(end), 0);
    const Salvage result = Read(m_file);
    for (std::size_t i = 0; i < 20; ++i)
        EXPECT_TRUE(Found(result, i)) << i;
    EXPECT_FALSE(Found(result, 20));
    for (std::size_t i = 30; i < m_avi.chunks.size(); ++i)
        EXPECT_TRUE(Found(result, i)) << i;
    EXPECT_EQ(50u, result.chunks.size());
    EXPECT_EQ(1u, result.report.damagedRegions);
    EXPECT_EQ(1u, result.report.resynchronised);
    EXPECT_EQ(Start(30) - Start(21), result.report.damagedBytes); // from where chunk 20 ended
    EXPECT_EQ(0u, result.chunks[19].run);
    EXPECT_EQ(1u, result.chunks[20].run);
}

TEST_F(ResyncTest, ZeroHoleThatCutsAChunksTailDropsThatChunk)
{
    // Chunk 10's last bytes and everything up to chunk 14 are zeros.
    const std::uint64_t begin = Start(11) - 40;
    std::fill(m_file.begin() + static_cast<std::ptrdiff_t>(begin),
              m_file.begin() + static_cast<std::ptrdiff_t>(Start(14)), 0);
    const Salvage result = Read(m_file);
    EXPECT_TRUE(Found(result, 9));
    EXPECT_FALSE(Found(result, 10));
    EXPECT_TRUE(Found(result, 14));
    EXPECT_EQ(1u, result.report.dropped);
}

TEST_F(ResyncTest, GarbageIsSkippedAndHeaderLookalikesInItAreNotTaken)
{
    std::mt19937 random(7);
    const std::uint64_t begin = Start(5) + 3;
    const std::uint64_t end = Start(12);
    for (std::uint64_t i = begin; i < end; ++i)
        m_file[i] = static_cast<std::uint8_t>(random());
    // A header of a known stream whose size fits, but with nothing after it.
    const std::uint8_t lookalike[] = {'0', '0', 'd', 'c', 16, 0, 0, 0};
    std::copy(std::begin(lookalike), std::end(lookalike),
              m_file.begin() + static_cast<std::ptrdiff_t>(Start(8)));
    const Salvage result = Read(m_file);
    for (const FoundChunk& c : result.chunks) {
        EXPECT_FALSE(c.offset + 8 + c.size > begin && c.offset < end) << "chunk at " << c.offset;
    }
    EXPECT_TRUE(Found(result, 4));
    EXPECT_TRUE(Found(result, 12));
    EXPECT_EQ(1u, result.report.resynchronised);
}

TEST_F(ResyncTest, MappedInputGivesTheSameResultAsReadInput)
{
    std::mt19937 random(11);
    for (std::uint64_t i = Start(9) + 5; i < Start(15); ++i)
        m_file[i] = static_cast<std::uint8_t>(random());
    std::fill(m_file.begin() + static_cast<std::ptrdiff_t>(Start(30) + 9),
              m_file.begin() + static_cast<std::ptrdiff_t>(Start(44)), 0);
    const Salvage read = Read(m_file);
    const Salvage mapped = Read(m_file, {}, true);
    ASSERT_EQ(read.chunks.size(), mapped.chunks.size());
    for (std::size_t i = 0; i < read.chunks.size(); ++i) {
        EXPECT_EQ(read.chunks[i].offset, mapped.chunks[i].offset);
        EXPECT_EQ(read.chunks[i].run, mapped.chunks[i].run);
    }
    EXPECT_EQ(2u, mapped.report.resynchronised);
    EXPECT_EQ(read.report.damagedBytes, mapped.report.damagedBytes);
}

TEST_F(ResyncTest, ChunkRunningPastTheEndOfTheFileIsDropped)
{
    m_file.resize(Start(41) + 8 + 100);
    const Salvage result = Read(m_file);
    EXPECT_EQ(41u, result.chunks.size());
    EXPECT_TRUE(Found(result, 40));
    EXPECT_EQ(1u, result.report.dropped);
    EXPECT_EQ(0u, result.report.resynchronised);
}

TEST_F(ResyncTest, DamagedMovieListHeaderIsFoundByScanning)
{
    std::fill(m_file.begin() + static_cast<std::ptrdiff_t>(Start(0) - 12),
              m_file.begin() + static_cast<std::ptrdiff_t>(Start(0)), 0);
    const Salvage result = Read(m_file);
    EXPECT_EQ(m_avi.chunks.size(), result.chunks.size());
    EXPECT_TRUE(Found(result, 0));
}

TEST_F(ResyncTest, GapListJumpsOverGapsAndDropsEveryChunkTouchingOne)
{
    const std::uint64_t begin = Start(20) + 100;
    const std::uint64_t end = Start(29) + 50;
    std::fill(m_file.begin() + static_cast<std::ptrdiff_t>(begin),
              m_file.begin() + static_cast<std::ptrdiff_t>(end), 0);
    // Chunk 6 ends in zeros right before a gap: the gap list says it is whole.
    const std::uint64_t chunk6End = Start(7);
    std::fill(m_file.begin() + static_cast<std::ptrdiff_t>(chunk6End - 4),
              m_file.begin() + static_cast<std::ptrdiff_t>(chunk6End), 0);
    std::fill(m_file.begin() + static_cast<std::ptrdiff_t>(chunk6End),
              m_file.begin() + static_cast<std::ptrdiff_t>(Start(8)), 0);
    SalvageOptions options;
    options.gaps = {{chunk6End, Start(8)}, {begin, end}};
    const Salvage result = Read(m_file, options);
    EXPECT_TRUE(Found(result, 6));
    EXPECT_FALSE(Found(result, 7));
    EXPECT_TRUE(Found(result, 8));
    EXPECT_FALSE(Found(result, 20));
    EXPECT_TRUE(Found(result, 30));
    EXPECT_EQ(2u, result.report.damagedRegions);
    EXPECT_EQ(1u, result.report.dropped); // chunk 20; chunk 29's header lies in the gap
}

TEST_F(ResyncTest, GapListAloneMakesAChunkInsideDataThatLooksWholeDamaged)
{
    // The bytes are all there, but the metadata says part of chunk 3 never arrived.
    SalvageOptions options;
    options.gaps = {{Start(3) + 20, Start(3) + 30}};
    const Salvage result = Read(m_file, options);
    EXPECT_FALSE(Found(result, 3));
    EXPECT_TRUE(Found(result, 4));
    EXPECT_EQ(m_avi.chunks.size() - 1, result.chunks.size());
}

} // namespace
