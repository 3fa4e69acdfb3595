#include "GapList.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using namespace pg::clipmend;
using Bytes = std::vector<std::uint8_t>;

// A metadata file: header, no partial hashes, then the given tags.
class MetBuilder
{
public:
    MetBuilder& Integer(const std::string& name, std::uint32_t value)
    {
        Tag(3, name);
        Put32(value);
        return *this;
    }
    MetBuilder& String(const std::string& name, const std::string& value)
    {
        Tag(2, name);
        Put16(static_cast<std::uint16_t>(value.size()));
        m_tags.insert(m_tags.end(), value.begin(), value.end());
        return *this;
    }
    MetBuilder& Raw(std::initializer_list<std::uint8_t> bytes)
    {
        m_tags.insert(m_tags.end(), bytes);
        return *this;
    }
    Bytes Build(std::uint32_t count) const
    {
        // Version, date, file id, no partial hashes, tag count.
        Bytes file(27 + m_tags.size(), 0xAB);
        file[0] = 0xE0;
        file[21] = 0;
        file[22] = 0;
        for (int i = 0; i < 4; ++i)
            file[23 + i] = static_cast<std::uint8_t>(count >> (8 * i));
        std::copy(m_tags.begin(), m_tags.end(), file.begin() + 27);
        return file;
    }
    std::uint32_t Count() const { return m_count; }

private:
    void Tag(std::uint8_t type, const std::string& name)
    {
        ++m_count;
        m_tags.insert(m_tags.end(), &type, &type + 1);
        Put16(static_cast<std::uint16_t>(name.size()));
        m_tags.insert(m_tags.end(), name.begin(), name.end());
    }
    void Put16(std::uint16_t v)
    {
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
        m_tags.insert(m_tags.end(), b, b + 2);
    }
    void Put32(std::uint32_t v)
    {
        Put16(static_cast<std::uint16_t>(v));
        Put16(static_cast<std::uint16_t>(v >> 16));
    }
    Bytes m_tags;
    std::uint32_t m_count = 0;
};

// Gap tag names: the kind byte, then the gap's number as text.
std::string GapStart(const char* number)
{
    return std::string(1, '\x09') + number;
}

std::string GapEnd(const char* number)
{
    return std::string(1, '\x0A') + number;
}

bool Read(const Bytes& file, std::vector<ByteRange>& gaps)
{
    MemorySource source(file);
    return ReadGapList(source, gaps);
}

TEST(GapListTest, ReadsTheGapsOfAFileTheClientWrote)
{
    std::ifstream in(CLIPMEND_TEST_DATA "/partmet/IPED_test_partMet.part.met", std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(file.empty());
    std::vector<ByteRange> gaps;
    ASSERT_TRUE(Read(file, gaps));
    const std::vector<ByteRange> expected = {{86049, 184320}, {357773, 368640}, {1474560, 3120611}};
    EXPECT_EQ(expected, gaps);
}

TEST(GapListTest, GapsArePairedInFileOrderSortedAndMerged)
{
    MetBuilder met;
    met.String(std::string(1, '\x01'), "film.avi")
        .Integer(std::string(1, '\x02'), 5000000)
        .Integer(GapStart("0"), 3000000)
        .Integer(GapEnd("0"), 4000000)
        .Integer(GapStart("1"), 1000)
        .Integer(GapEnd("1"), 2000)
        .Integer(GapStart("2"), 3500000) // overlaps the first
        .Integer(GapEnd("2"), 4200000);
    std::vector<ByteRange> gaps;
    ASSERT_TRUE(Read(met.Build(met.Count()), gaps));
    const std::vector<ByteRange> expected = {{1000, 2000}, {3000000, 4200000}};
    EXPECT_EQ(expected, gaps);
}

TEST(GapListTest, OneByteNamesAreNoGapsAndAnEndWithoutStartBeginsAtZero)
{
    MetBuilder met;
    met.Integer(std::string(1, '\x09'), 77).Integer(std::string(1, '\x0A'), 88).Integer(GapEnd("0"), 500);
    std::vector<ByteRange> gaps;
    ASSERT_TRUE(Read(met.Build(met.Count()), gaps));
    const std::vector<ByteRange> expected = {{0, 500}};
    EXPECT_EQ(expected, gaps);
}

TEST(GapListTest, DamagedOrForeignFilesGiveNoGapList)
{
    std::vector<ByteRange> gaps;
    EXPECT_FALSE(Read({}, gaps));
    MetBuilder good;
    good.Integer(GapStart("0"), 10).Integer(GapEnd("0"), 20);
    Bytes wrongVersion = good.Build(good.Count());
    wrongVersion[0] = 0x0E;
    EXPECT_FALSE(Read(wrongVersion, gaps));
    Bytes cut = good.Build(good.Count());
    cut.resize(cut.size() - 2);
    EXPECT_FALSE(Read(cut, gaps));
    EXPECT_TRUE(gaps.empty());
    MetBuilder unknownType;
    unknownType.Integer(GapStart("0"), 10).Raw({5, 1, 0, 0x20, 1});
    EXPECT_FALSE(Read(unknownType.Build(2), gaps));
    MetBuilder negativeLength;
    negativeLength.Raw({2, 0xFF, 0xFF});
    EXPECT_FALSE(Read(negativeLength.Build(1), gaps));
}

TEST(GapListTest, NormalizeMergesTouchingRangesAndDropsEmptyOnes)
{
    const std::vector<ByteRange> merged = NormalizeRanges({{50, 60}, {10, 20}, {20, 30}, {40, 40}, {55, 70}});
    const std::vector<ByteRange> expected = {{10, 30}, {50, 70}};
    EXPECT_EQ(expected, merged);
}

} // namespace
