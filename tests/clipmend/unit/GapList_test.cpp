#include "GapList.h"
#include "MetFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using namespace pg::clipmend;
using pgtest::MetFile;

bool Read(const std::string& file, std::vector<ByteRange>& gaps)
{
    MemorySource source(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    return ReadGapList(source, gaps);
}

TEST(GapListTest, ReadsTheGapsOfAFileTheClientWrote)
{
    std::ifstream in(CLIPMEND_TEST_DATA "/partmet/IPED_test_partMet.part.met", std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(file.empty());
    std::vector<ByteRange> gaps;
    ASSERT_TRUE(Read(file, gaps));
    const std::vector<ByteRange> expected = {{86049, 184320}, {357773, 368640}, {1474560, 3120611}};
    EXPECT_EQ(expected, gaps);
}

TEST(GapListTest, GapsArePairedInFileOrderSortedAndMerged)
{
    const std::string met = MetFile()
                                .Header()
                                .Name("film.avi")
                                .Size(5000000)
                                .Gap(0, 3000000, 4000000)
                                .Gap(1, 1000, 2000)
                                .Gap(2, 3500000, 4200000) // overlaps the first
                                .str();
    std::vector<ByteRange> gaps;
    ASSERT_TRUE(Read(met, gaps));
    const std::vector<ByteRange> expected = {{1000, 2000}, {3000000, 4200000}};
    EXPECT_EQ(expected, gaps);
}

TEST(GapListTest, OneByteNamesAreNoGapsAndAnEndWithoutStartBeginsAtZero)
{
    const std::string met = MetFile()
                                .Header()
                                .IntTag("\x09", 77)
                                .IntTag("\x0A", 88)
                                .IntTag("\x0A"
                                        "0",
                                        500)
                                .str();
    std::vector<ByteRange> gaps;
    ASSERT_TRUE(Read(met, gaps));
    const std::vector<ByteRange> expected = {{0, 500}};
    EXPECT_EQ(expected, gaps);
}

TEST(GapListTest, DamagedOrForeignFilesGiveNoGapList)
{
    std::vector<ByteRange> gaps;
    EXPECT_FALSE(Read("", gaps));
    const std::string good = MetFile().Header().Gap(0, 10, 20).str();
    std::string wrongVersion = good;
    wrongVersion[0] = 0x0E;
    EXPECT_FALSE(Read(wrongVersion, gaps));
    EXPECT_FALSE(Read(good.substr(0, good.size() - 2), gaps));
    EXPECT_TRUE(gaps.empty());
    const std::string unknownType = MetFile()
                                        .Header(0, 2)
                                        .IntTag("\x09"
                                                "0",
                                                10)
                                        .Raw(std::string("\x05\x01\x00\x20\x01", 5))
                                        .str();
    EXPECT_FALSE(Read(unknownType, gaps));
    EXPECT_FALSE(Read(MetFile().Header(0, 1).Raw("\x02\xFF\xFF").str(), gaps));
}

TEST(GapListTest, NormalizeMergesTouchingRangesAndDropsEmptyOnes)
{
    const std::vector<ByteRange> merged = NormalizeRanges({{50, 60}, {10, 20}, {20, 30}, {40, 40}, {55, 70}});
    const std::vector<ByteRange> expected = {{10, 30}, {50, 70}};
    EXPECT_EQ(expected, merged);
}

} // namespace
