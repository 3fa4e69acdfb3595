#include "ClientFile.h"
#include "catalogue/DecimalText.h"
#include "catalogue/ListSort.h"
#include "catalogue/ListText.h"
#include "catalogue/PartEntryList.h"
#include "catalogue/PartMetFile.h"

#include "MetFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>

namespace {

using pg::FilePtr;
using pgtest::MetFile;
using pgtest::ScratchName;
using pgtest::TempStream;

// ---------------------------------------------------------------- number texts

TEST(DecimalTextTest, ExactHalvesRoundAwayFromZero)
{
    EXPECT_EQ("0.13", pg::FormatFixed(0.125, 2));
    EXPECT_EQ("0.63", pg::FormatFixed(0.625, 2));
    EXPECT_EQ("-0.13", pg::FormatFixed(-0.125, 2));
    EXPECT_EQ("1", pg::FormatFixed(0.5, 0));
    EXPECT_EQ("3", pg::FormatFixed(2.5, 0));
    EXPECT_EQ("13", pg::FormatFixed(12.5, 0));
    EXPECT_EQ("-3", pg::FormatFixed(-2.5, 0));
    EXPECT_EQ("1000000000000001", pg::FormatFixed(1e15 + 0.5, 0));
    EXPECT_EQ("1000000000000.13", pg::FormatFixed(1e12 + 0.125, 2));
}

TEST(DecimalTextTest, OtherValuesRoundToTheNearestResult)
{
    EXPECT_EQ("2.67", pg::FormatFixed(2.675, 2)); // the double lies just below 2.675
    EXPECT_EQ("1.00", pg::FormatFixed(1.005, 2));
    EXPECT_EQ("0.13", pg::FormatFixed(0.126, 2));
    EXPECT_EQ("0.00", pg::FormatFixed(0.0, 2));
    EXPECT_EQ("12", pg::FormatFixed(12.4999, 0));
    EXPECT_EQ("2", pg::FormatFixed(1.5000001, 0));
}

TEST(DecimalTextTest, WidthPadsOnTheLeft)
{
    EXPECT_EQ("    1.50", pg::FormatFixed(1.5, 2, 8));
    EXPECT_EQ("  1.13", pg::FormatFixed(1.125, 2, 6));
    EXPECT_EQ("1024.00", pg::FormatFixed(1024.0, 2, 3));
}

TEST(ListTextTest, SizeTextPicksTheUnitByRange)
{
    EXPECT_EQ("0   B", pg::SizeText(0));
    EXPECT_EQ("1023   B", pg::SizeText(1023));
    EXPECT_EQ("1.00 KB", pg::SizeText(1024));
    EXPECT_EQ("1024.00 KB", pg::SizeText(1048575));
    EXPECT_EQ("1.00 MB", pg::SizeText(1048576));
    EXPECT_EQ("1024.00 MB", pg::SizeText(1073741823));
    EXPECT_EQ("1.00 GB", pg::SizeText(1073741824));
    EXPECT_EQ("5.00 GB", pg::SizeText(5368709120));
}

TEST(ListTextTest, SizeTextRoundsHalvesUp)
{
    EXPECT_EQ("1.13 KB", pg::SizeText(1152));       // 1.125 KB
    EXPECT_EQ("2.63 MB", pg::SizeText(2752512));    // 2.625 MB
    EXPECT_EQ("1.13 GB", pg::SizeText(1207959552)); // 1.125 GB
    EXPECT_EQ("1023.99 KB", pg::SizeText(1048570));
}

TEST(ListTextTest, PercentTextHasNoDecimals)
{
    EXPECT_EQ("13", pg::PercentText(12.5f));
    EXPECT_EQ("1", pg::PercentText(0.5f));
    EXPECT_EQ("3", pg::PercentText(2.5f));
    EXPECT_EQ("100", pg::PercentText(99.5f));
    EXPECT_EQ("49", pg::PercentText(49.49f));
    EXPECT_EQ("0", pg::PercentText(0.0f));
    EXPECT_EQ("150", pg::PercentText(150.0f));
}

TEST(ListTextTest, PatternsSplitAtSemicolonsAndLoseBlanks)
{
    EXPECT_EQ((std::vector<std::string>{"*.part", "*.avi"}), pg::SplitPatterns(" *.part ; ;*.avi"));
    EXPECT_EQ((std::vector<std::string>{"*.part"}), pg::SplitPatterns("\t*.part\r\n"));
    EXPECT_EQ((std::vector<std::string>{"a b", "c"}), pg::SplitPatterns(";a b;;c;"));
    EXPECT_TRUE(pg::SplitPatterns("").empty());
    EXPECT_TRUE(pg::SplitPatterns(" ; ;").empty());
    EXPECT_EQ("a b", pg::Trim(" \t a b\v\f "));
    EXPECT_EQ("", pg::Trim(" \r\n "));
}

// ---------------------------------------------------------------- metadata reader

std::string Id(unsigned char id)
{
    return std::string(1, static_cast<char>(id));
}

const std::string ID_LINE = "file id  = 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n";
const std::string ID_HEX = "000102030405060708090a0b0c0d0e0f";
// Everything a header without partial hashes prints.
const std::string HEADER_DUMP = ID_LINE + "\n\n";

struct ReadOutcome
{
    bool ok;
    std::string dump;
};

enum class ReadKind { Full, UntilFirstGap };

ReadOutcome ReadFrom(pg::PartMetFile& met, const std::string& bytes, ReadKind kind = ReadKind::Full)
{
    const TempStream in;
    const TempStream dump;
    if (!in.get() || !dump.get()) {
        ADD_FAILURE() << "cannot create a temp file";
        return {false, ""};
    }
    std::fwrite(bytes.data(), 1, bytes.size(), in.get());
    std::rewind(in.get());
    pg::PartMetFile fromMemory = met;
    const bool ok =
        kind == ReadKind::Full ? met.Read(in.get(), dump.get()) : met.ReadUntilFirstGap(in.get(), dump.get());
    if (kind == ReadKind::Full) {
        // Bytes read before give the same read.
        const TempStream memoryDump;
        EXPECT_EQ(ok, fromMemory.ReadFromMemory(bytes, memoryDump.get()));
        EXPECT_EQ(dump.Content(), memoryDump.Content());
        EXPECT_EQ(met.m_fileName, fromMemory.m_fileName);
        EXPECT_EQ(met.m_link, fromMemory.m_link);
        EXPECT_EQ(met.m_fileType, fromMemory.m_fileType);
        EXPECT_EQ(met.m_fileFormat, fromMemory.m_fileFormat);
        EXPECT_EQ(met.m_fileSize, fromMemory.m_fileSize);
        EXPECT_EQ(met.m_copied, fromMemory.m_copied);
    }
    return {ok, dump.Content()};
}

ReadOutcome ReadFrom(const std::string& bytes, ReadKind kind = ReadKind::Full)
{
    pg::PartMetFile met;
    return ReadFrom(met, bytes, kind);
}

TEST(PartMetFileTest, HeaderTruncationsNameTheMissingField)
{
    const std::string hashes = MetFile().Header(3, 0).str();
    const std::string hashLines = "hash   0 = 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
                                  "hash   1 = 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01\n";
    const struct
    {
        std::size_t length;
        std::string dump;
    } cases[] = {
        {0, "cannot read version\n"},
        {1, "cannot read date\n"},
        {4, "cannot read date\n"},
        {20, "cannot read file id\n"},
        {22, ID_LINE + "cannot read number of partial hashes\n"},
        {23 + 16 * 2 + 8, ID_LINE + "\n" + hashLines + "cannot read hash 2\n"},
        {23 + 16 * 3 + 3, ID_LINE + "\n" + hashLines +
                              "hash   2 = 02 02 02 02 02 02 02 02 02 02 02 02 02 02 02 02\n"
                              "cannot read number of number of meta tags\n"},
    };
    for (const auto& c : cases) {
        const ReadOutcome full = ReadFrom(hashes.substr(0, c.length));
        EXPECT_FALSE(full.ok) << c.length;
        EXPECT_EQ(c.dump, full.dump) << c.length;
        const ReadOutcome quick = ReadFrom(hashes.substr(0, c.length), ReadKind::UntilFirstGap);
        EXPECT_FALSE(quick.ok) << c.length;
        EXPECT_EQ(c.dump, quick.dump) << c.length;
    }
}

TEST(PartMetFileTest, OnlyVersion224IsAccepted)
{
    for (unsigned version : {0xE1u, 0x0Eu, 0x00u}) {
        std::string bytes = MetFile().Header(0, 0).str();
        bytes[0] = static_cast<char>(version);
        EXPECT_EQ("version != 224\n", ReadFrom(bytes).dump);
        EXPECT_FALSE(ReadFrom(bytes, ReadKind::UntilFirstGap).ok);
    }
}

TEST(PartMetFileTest, TagTruncationsNameTheMissingField)
{
    const MetFile header = MetFile().Header(0, 1);
    const struct
    {
        std::string tag;
        std::string message;
    } cases[] = {
        {"", "cannot read tag type\n"},
        {"\x02\x01", "cannot read name length\n"},
        {std::string("\x02\x05\x00"
                     "abc",
                     6),
         "cannot read name\n"},
        {MetFile().Byte(2).Int16(-1).Raw("abcdef").str(), "cannot read name\n"},
        {MetFile().Byte(2).Int16(1).Raw("\x01").str(), "cannot read value length\n"},
        {MetFile().Byte(2).Int16(1).Raw("\x01").Int16(4).Raw("abc").str(), "cannot read value\n"},
        {MetFile().Byte(2).Int16(1).Raw("\x01").Int16(-2).Raw("abcdef").str(), "cannot read value\n"},
        {MetFile().Byte(3).Int16(1).Raw("\x02").Raw("abc").str(), "cannot read value\n"},
        {MetFile().Byte(0xFF).Int16(1).Raw("\x02").Int32(0).str(), "unknown tag type 255\n"},
    };
    for (const auto& c : cases) {
        const ReadOutcome outcome = ReadFrom(MetFile(header).Raw(c.tag).str());
        EXPECT_FALSE(outcome.ok) << c.message;
        EXPECT_EQ(HEADER_DUMP + c.message, outcome.dump);
    }
}

TEST(PartMetFileTest, EmptyTagListGivesUnknownLinkAndNoGap)
{
    pg::PartMetFile met;
    const ReadOutcome outcome = ReadFrom(met, MetFile().Header(0, 0).str());
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(HEADER_DUMP + "\n0 bytes = 0.00 mb missing\n\n", outcome.dump);
    EXPECT_EQ("", met.m_fileName);
    EXPECT_EQ("ed2k://|file|unknown|0|" + ID_HEX + "|", met.m_link);
    EXPECT_EQ(0, met.m_fileSize);

    pg::PartMetFile quick;
    EXPECT_EQ(outcome.dump, ReadFrom(quick, MetFile().Header(0, -5).str(), ReadKind::UntilFirstGap).dump);
    EXPECT_EQ(met.m_link, quick.m_link);
    EXPECT_EQ(0, quick.m_firstGapStart);
}

TEST(PartMetFileTest, KnownTagsPrintAndSetFields)
{
    const std::string bytes = MetFile()
                                  .Header(0, 9)
                                  .StringTag(Id(0x01), "Film.avi")
                                  .StringTag(Id(0x03), "Video")
                                  .StringTag(Id(0x04), "avi")
                                  .StringTag(Id(0x12), "001.part")
                                  .IntTag(Id(0x02), 131072)
                                  .IntTag(Id(0x08), -1048576)
                                  .IntTag(Id(0x13), 2)
                                  .IntTag(Id(0x14), 7)
                                  .IntTag(Id(0x15), 13)
                                  .str();
    pg::PartMetFile met;
    const ReadOutcome outcome = ReadFrom(met, bytes);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(HEADER_DUMP + "filename      = \"Film.avi\"\n"
                            "file type     = \"Video\"\n"
                            "file format   = \"avi\"\n"
                            "tempfile name = \"001.part\"\n"
                            "file size     = 131072 (0.13 mb)\n"
                            "copied so far = -1048576 (-1.00 mb)\n"
                            "priority      = High\n"
                            "status        = unknown (7)\n"
                            "tag number 21 = 13\n"
                            "\n0 bytes = 0.00 mb missing\n\n",
              outcome.dump);
    EXPECT_EQ("Film.avi", met.m_fileName);
    EXPECT_EQ("Video", met.m_fileType);
    EXPECT_EQ("avi", met.m_fileFormat);
    EXPECT_EQ(131072, met.m_fileSize);
    EXPECT_EQ(-1048576, met.m_copied);
    EXPECT_EQ("ed2k://|file|Film.avi|131072|" + ID_HEX + "|", met.m_link);
}

TEST(PartMetFileTest, PriorityAndStatusNames)
{
    EXPECT_EQ("Low", pg::PartMetFile::PriorityName(0));
    EXPECT_EQ("Normal", pg::PartMetFile::PriorityName(1));
    EXPECT_EQ("High", pg::PartMetFile::PriorityName(2));
    EXPECT_EQ("unknown (3)", pg::PartMetFile::PriorityName(3));
    EXPECT_EQ("Looking...", pg::PartMetFile::StatusName(0));
    EXPECT_EQ("Paused", pg::PartMetFile::StatusName(1));
    EXPECT_EQ("unknown (-1)", pg::PartMetFile::StatusName(-1));
}

TEST(PartMetFileTest, SpecialIdsPrintAsSignedBytes)
{
    const ReadOutcome outcome = ReadFrom(
        MetFile().Header(0, 3).StringTag(Id(0x80), "x").IntTag(Id(0x09), 5).IntTag(Id(0x0A), 6).str());
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(HEADER_DUMP + "tag number -128 = \"x\"\n"
                            "tag number 09 = 5\n"
                            "tag number 10 = 6\n"
                            "\n0 bytes = 0.00 mb missing\n\n",
              outcome.dump);
}

TEST(PartMetFileTest, NamedTagsPrintLeftJustifiedAndWhole)
{
    const std::string longName(5000, 'n');
    const ReadOutcome outcome = ReadFrom(MetFile()
                                             .Header(0, 4)
                                             .IntTag("short", 7)
                                             .StringTag("", "empty name")
                                             .StringTag("thirteen_char", "v")
                                             .IntTag(longName, -1)
                                             .str());
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(HEADER_DUMP + "short         = 7\n" + std::string(13, ' ') +
                  " = \"empty name\"\n"
                  "thirteen_char = \"v\"\n" +
                  longName + " = -1\n\n0 bytes = 0.00 mb missing\n\n",
              outcome.dump);
}

TEST(PartMetFileTest, LongFileNamesAreKeptWhole)
{
    const std::string name(6000, 'a');
    pg::PartMetFile met;
    EXPECT_TRUE(ReadFrom(met, MetFile().Header(0, 1).StringTag(Id(0x01), name).str()).ok);
    EXPECT_EQ(name, met.m_fileName);
    EXPECT_EQ("ed2k://|file|" + name + "|0|" + ID_HEX + "|", met.m_link);
}

TEST(PartMetFileTest, LastFileNameTagWins)
{
    pg::PartMetFile met;
    const ReadOutcome outcome = ReadFrom(
        met, MetFile().Header(0, 2).StringTag(Id(0x01), "first").StringTag(Id(0x01), "second").str());
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ("second", met.m_fileName);
    EXPECT_EQ("ed2k://|file|second|0|" + ID_HEX + "|", met.m_link);
}

TEST(PartMetFileTest, FailedReadKeepsWhatItStored)
{
    pg::PartMetFile met;
    const ReadOutcome outcome = ReadFrom(met, MetFile()
                                                  .Header(0, 4)
                                                  .IntTag(Id(0x02), 1000)
                                                  .IntTag(Id(0x08), 500)
                                                  .StringTag(Id(0x01), "broken")
                                                  .Byte(5)
                                                  .Int16(1)
                                                  .Raw("\x02")
                                                  .Int32(0)
                                                  .str());
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(HEADER_DUMP + "file size     = 1000 (0.00 mb)\n"
                            "copied so far = 500 (0.00 mb)\n"
                            "filename      = \"broken\"\n"
                            "unknown tag type 5\n",
              outcome.dump);
    EXPECT_EQ(1000, met.m_fileSize);
    EXPECT_EQ(500, met.m_copied);
    EXPECT_EQ("broken", met.m_fileName);
    EXPECT_EQ("", met.m_link);
}

const std::string GAP0 = std::string("\x09") + "0";
const std::string END0 = std::string("\x0A") + "0";
const std::string GAP1 = std::string("\x09") + "1";
const std::string END1 = std::string("\x0A") + "1";

TEST(PartMetFileTest, GapsAreListedAndTotalled)
{
    const std::string bytes = MetFile()
                                  .Header(0, 5)
                                  .IntTag(Id(0x02), 20000000)
                                  .IntTag(GAP0, 0)
                                  .IntTag(END0, 9728000)
                                  .IntTag(GAP1, 19456000)
                                  .IntTag(END1, 20000000)
                                  .str();
    pg::PartMetFile met;
    const ReadOutcome outcome = ReadFrom(met, bytes);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(HEADER_DUMP + "file size     = 20000000 (19.07 mb)\n"
                            "\n"
                            "gap   0 from          0 to    9728000 =    9728000 bytes missing\n"
                            "gap   1 from   19456000 to   20000000 =     544000 bytes missing\n"
                            "\n"
                            "10272000 bytes = 9.80 mb missing\n"
                            "first gap starts at 0 (0 blocks are complete)\n"
                            "\n",
              outcome.dump);

    pg::PartMetFile quick;
    quick.m_fileSize = 77;
    const ReadOutcome stopped = ReadFrom(quick, bytes, ReadKind::UntilFirstGap);
    EXPECT_TRUE(stopped.ok);
    EXPECT_EQ(HEADER_DUMP + "file size     = 20000000 (19.07 mb)\n\ngap   0 from          0", stopped.dump);
    EXPECT_EQ(0, quick.m_firstGapStart);
    EXPECT_EQ(77, quick.m_fileSize);
    EXPECT_EQ("", quick.m_link);
}

TEST(PartMetFileTest, GapsPairByOrderAndTheSmallestStartCounts)
{
    const std::string bytes = MetFile()
                                  .Header(0, 5)
                                  .IntTag(END1, 100) // an end before any start pairs with 0
                                  .IntTag(GAP0, 19456000)
                                  .IntTag(GAP1, 9728000)
                                  .IntTag(END0, 9728500)
                                  .IntTag(std::string("\x09") + "12", 30000000)
                                  .str();
    pg::PartMetFile met;
    const ReadOutcome outcome = ReadFrom(met, bytes);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(HEADER_DUMP + " to        100 =        100 bytes missing\n"
                            "\n"
                            "gap   0 from   19456000"
                            "gap   1 from    9728000 to    9728500 =        500 bytes missing\n"
                            "gap  12 from   30000000"
                            "\n"
                            "600 bytes = 0.00 mb missing\n"
                            "first gap starts at 9728000 (1 blocks are complete)\n"
                            "\n",
              outcome.dump);

    pg::PartMetFile quick;
    EXPECT_TRUE(ReadFrom(quick, bytes, ReadKind::UntilFirstGap).ok);
    EXPECT_EQ(19456000, quick.m_firstGapStart);
}

TEST(PartMetFileTest, WithoutGapsTheQuickReadYieldsTheFileSize)
{
    pg::PartMetFile met;
    const ReadOutcome outcome = ReadFrom(
        met, MetFile().Header(0, 3).IntTag(Id(0x02), 5).IntTag(Id(0x02), 4096).IntTag(Id(0x08), 4096).str(),
        ReadKind::UntilFirstGap);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(4096, met.m_firstGapStart);
    EXPECT_EQ(0, met.m_fileSize); // the quick read only prints the size and copied tags
    EXPECT_EQ("ed2k://|file|unknown|4096|" + ID_HEX + "|", met.m_link);
    EXPECT_EQ(HEADER_DUMP + "file size     = 5 (0.00 mb)\n"
                            "file size     = 4096 (0.00 mb)\n"
                            "copied so far = 4096 (0.00 mb)\n"
                            "\n0 bytes = 0.00 mb missing\n\n",
              outcome.dump);
}

// ---------------------------------------------------------------- lookups

// A directory of its own under the system's temp directory, removed with everything in it.
class ScratchDirectory
{
public:
    ScratchDirectory()
    {
        m_path = std::filesystem::temp_directory_path() / ScratchName("");
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // Writes `bytes` as the file `name` and yields its full path.
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const std::string path = (m_path / name).string();
        const FilePtr file(std::fopen(path.c_str(), "wb"));
        if (file)
            std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        return path;
    }
    std::string PathOf(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

class PartLookupTest : public ::testing::Test
{
protected:
    // The part path whose metadata holds `bytes`.
    std::string PartWithMet(const std::string& bytes)
    {
        m_dir.Write("001.part.met", bytes);
        return m_dir.PathOf("001.part");
    }
    pg::PartInfo Info(const std::string& partPath)
    {
        const pg::PartInfo info = pg::GetPartInfo(partPath, m_dump.get());
        std::ifstream met(partPath + ".met", std::ios::binary);
        if (met) {
            // The same metadata read before gives the same answer.
            const std::string bytes{std::istreambuf_iterator<char>(met), std::istreambuf_iterator<char>()};
            const TempStream quiet;
            const pg::PartInfo fromBytes = pg::PartInfoFromBytes(bytes, quiet.get());
            EXPECT_EQ(info.name, fromBytes.name);
            EXPECT_EQ(info.percent, fromBytes.percent);
        }
        return info;
    }
    std::int32_t FirstGap(const std::string& partPath)
    {
        return pg::GetFirstGapStart(partPath, m_dump.get());
    }
    std::string SizeAndCopied(std::int64_t size, std::int64_t copied)
    {
        return PartWithMet(MetFile()
                               .Header(0, 3)
                               .StringTag(Id(0x01), "Film.avi")
                               .IntTag(Id(0x02), size)
                               .IntTag(Id(0x08), copied)
                               .str());
    }

    ScratchDirectory m_dir;
    TempStream m_dump;
};

TEST_F(PartLookupTest, PercentIsCopiedOverSize)
{
    const struct
    {
        std::int64_t size, copied;
        const char* percent;
    } cases[] = {
        {1000000, 250000, "25"},
        {1024, 512, "50"},
        {1000000, 1500000, "150"}, // not limited to 100
        {1000, 1500, "150"},
        {0, 500, "0"},
        {3221225472, 1610612736, "50"}, // 3 GiB: sizes are unsigned 32-bit
        {4026531840, 3019898880, "75"},
        {8, 1, "13"}, // 12.5
    };
    for (const auto& c : cases) {
        const pg::PartInfo info = Info(SizeAndCopied(c.size, c.copied));
        EXPECT_EQ("Film.avi", info.name);
        EXPECT_EQ(c.percent, pg::PercentText(info.percent)) << c.size << " " << c.copied;
    }
}

TEST_F(PartLookupTest, NoSizeTagMeansNoShare)
{
    const pg::PartInfo info = Info(PartWithMet(MetFile().Header(0, 1).IntTag(Id(0x08), 500).str()));
    EXPECT_EQ("", info.name);
    EXPECT_EQ(0.0f, info.percent);
}

TEST_F(PartLookupTest, BrokenTagListGivesNoNameButTheShare)
{
    const std::string part = PartWithMet(MetFile()
                                             .Header(0, 4)
                                             .StringTag(Id(0x01), "Film.avi")
                                             .IntTag(Id(0x02), 1000000)
                                             .IntTag(Id(0x08), 250000)
                                             .Byte(5)
                                             .Int16(1)
                                             .Raw("x")
                                             .str());
    const pg::PartInfo info = Info(part);
    EXPECT_EQ("", info.name);
    EXPECT_EQ(25.0f, info.percent);
    EXPECT_NE(std::string::npos, m_dump.Content().find("unknown tag type 5\n"));
}

TEST_F(PartLookupTest, MissingOrEmptyMetadata)
{
    EXPECT_EQ("", Info(m_dir.PathOf("absent.part")).name);
    EXPECT_EQ(0.0f, Info(m_dir.PathOf("absent.part")).percent);
    EXPECT_EQ(0, FirstGap(m_dir.PathOf("absent.part")));
    EXPECT_EQ("", m_dump.Content()); // an unopened file prints nothing

    const std::string empty = PartWithMet("");
    EXPECT_EQ("", Info(empty).name);
    EXPECT_EQ(0, FirstGap(empty));
    EXPECT_EQ("cannot read version\ncannot read version\n", m_dump.Content());
}

TEST_F(PartLookupTest, FirstGapStart)
{
    EXPECT_EQ(19456000, FirstGap(PartWithMet(MetFile()
                                                 .Header(0, 4)
                                                 .IntTag(Id(0x02), 30000000)
                                                 .IntTag(GAP0, 19456000)
                                                 .IntTag(END0, 20000000)
                                                 .IntTag(GAP1, 9728000)
                                                 .str())));
    EXPECT_EQ(0, FirstGap(PartWithMet(MetFile().Header(0, 2).IntTag(GAP0, 0).IntTag(END0, 100).str())));
    // Without any gap the whole file is there: its size, or 0 when the size is 0 or unknown.
    EXPECT_EQ(30000000, FirstGap(SizeAndCopied(30000000, 30000000)));
    EXPECT_EQ(0, FirstGap(SizeAndCopied(0, 0)));
    EXPECT_EQ(0, FirstGap(PartWithMet(MetFile().Header(0, 0).str())));
    EXPECT_EQ(0, FirstGap(PartWithMet(MetFile().Header(0, 2).IntTag(Id(0x02), 5).Byte(9).str())));
}

// ---------------------------------------------------------------- sample files written by the clients

std::string SampleDump(pg::PartMetFile& met, const std::string& name, ReadKind kind, bool& ok,
                       bool crlfLineEnds = false)
{
    const FilePtr in(std::fopen(pgtest::DataPath("partmet/" + name).c_str(), "rb"));
    const TempStream dump;
    const pg::DumpTarget target(dump.get(), crlfLineEnds);
    ok = in && dump.get() &&
         (kind == ReadKind::Full ? met.Read(in.get(), target) : met.ReadUntilFirstGap(in.get(), target));
    return dump.get() ? dump.Content() : "";
}

// The program's dump goes to a binary stream with CR LF made by the reader: the same bytes a
// text-mode stream would write, error messages included.
TEST(PartMetSampleTest, CrLfTargetsGetTheSameDumpWithCrLfLineEnds)
{
    for (const char* name : {"IPED_test_partMet.part.met", "pDonkey_24.v04.part.met",
                             "pDonkey_23.part.met.v0.01", "IPED_test_emule.part.met.truncated64"}) {
        for (ReadKind kind : {ReadKind::Full, ReadKind::UntilFirstGap}) {
            pg::PartMetFile plain;
            pg::PartMetFile crlf;
            bool plainOk = false;
            bool crlfOk = false;
            const std::string expected = pgtest::WithCrLf(SampleDump(plain, name, kind, plainOk));
            EXPECT_EQ(expected, SampleDump(crlf, name, kind, crlfOk, true)) << name;
            EXPECT_EQ(plainOk, crlfOk) << name;
            EXPECT_EQ(plain.m_link, crlf.m_link) << name;
        }
    }

    ScratchDirectory dir;
    dir.Write("cut.part.met", MetFile().Header(1, 2).str().substr(0, 30));
    const TempStream dump;
    EXPECT_EQ("", pg::GetPartInfo(dir.PathOf("cut.part"), pg::DumpTarget(dump.get(), true)).name);
    EXPECT_EQ(0, pg::GetFirstGapStart(dir.PathOf("cut.part"), pg::DumpTarget(dump.get(), true)));
    const std::string cut = ID_LINE + "\ncannot read hash 0\n";
    EXPECT_EQ(pgtest::WithCrLf(cut + cut), dump.Content());
}

TEST(PartMetSampleTest, EmuleFileDumpsWhole)
{
    pg::PartMetFile met;
    bool ok = false;
    const std::string dump = SampleDump(met, "IPED_test_partMet.part.met", ReadKind::Full, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ("file id  = ba a7 3b 1b b9 37 04 b0 22 5e 6f c2 e4 b8 e1 6d\n"
              "\n"
              "\n"
              "filename      = \"The Strokes - Last Nite.mp3\"\n"
              "file size     = 3120611 (2.98 mb)\n"
              "copied so far = 1349724 (1.29 mb)\n"
              "tag number 26 = 15726\n"
              "status        = Paused\n"
              "tag number 24 = 5\n"
              "tag number 25 = 5\n"
              "tag number 05 = 1652169783\n"
              "tag number 35 = 10\n"
              "tag number -44 = 128\n"
              "tag number -45 = 195\n"
              "tempfile name = \"001.part\"\n"
              "\n"
              "gap   0 from      86049 to     184320 =      98271 bytes missing\n"
              "gap   1 from     357773 to     368640 =      10867 bytes missing\n"
              "gap   2 from    1474560 to    3120611 =    1646051 bytes missing\n"
              "\n"
              "1755189 bytes = 1.67 mb missing\n"
              "first gap starts at 86049 (0 blocks are complete)\n"
              "\n",
              dump);
    EXPECT_EQ("ed2k://|file|The Strokes - Last Nite.mp3|3120611|baa73b1bb93704b0225e6fc2e4b8e16d|",
              met.m_link);

    const TempStream quiet;
    const std::string part = pgtest::DataPath("partmet/IPED_test_partMet.part");
    const pg::PartInfo info = pg::GetPartInfo(part, quiet.get());
    EXPECT_EQ("The Strokes - Last Nite.mp3", info.name);
    EXPECT_EQ("43", pg::PercentText(info.percent));
    EXPECT_EQ(86049, pg::GetFirstGapStart(part, quiet.get()));
}

TEST(PartMetSampleTest, VideoWhoseStartIsMissingCannotBePreviewed)
{
    pg::PartMetFile met;
    bool ok = false;
    const std::string dump = SampleDump(met, "pDonkey_24.v04.part.met", ReadKind::Full, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ("Bastard !! - 01 - The Wizard of Explosion - [Greg](ShareReactor).avi", met.m_fileName);
    EXPECT_EQ(245991424, met.m_fileSize);
    EXPECT_NE(std::string::npos, dump.find("hash  25 ="));
    EXPECT_EQ(std::string::npos, dump.find("hash  26 ="));
    EXPECT_NE(std::string::npos, dump.find("file size     = 245991424 (234.60 mb)\n"));
    EXPECT_NE(std::string::npos, dump.find("first gap starts at 0 (0 blocks are complete)\n"));

    const TempStream quiet;
    const std::string part = pgtest::DataPath("partmet/pDonkey_24.v04.part");
    EXPECT_EQ(0, pg::GetFirstGapStart(part, quiet.get()));
    EXPECT_EQ("2", pg::PercentText(pg::GetPartInfo(part, quiet.get()).percent));
}

TEST(PartMetSampleTest, UnsortedGapsOfTheOriginalClient)
{
    pg::PartMetFile met;
    bool ok = false;
    const std::string dump = SampleDump(met, "pDonkey_23.part.met.v0.01", ReadKind::Full, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ("Pro", met.m_fileType);
    EXPECT_EQ("iso", met.m_fileFormat);
    EXPECT_NE(std::string::npos, dump.find("status        = Looking...\npriority      = Normal\n"));
    EXPECT_NE(std::string::npos,
              dump.find("gap  13 from  329502720 to  330752000 =    1249280 bytes missing\n\n"
                        "219627520 bytes = 209.45 mb missing\n"
                        "first gap starts at 9728000 (1 blocks are complete)\n\n"));

    pg::PartMetFile quick;
    SampleDump(quick, "pDonkey_23.part.met.v0.01", ReadKind::UntilFirstGap, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(9728000, quick.m_firstGapStart);
}

TEST(PartMetSampleTest, OtherFormatsAreRejected)
{
    for (const char* name : {"IPED_test_partMetInvalid.part.met", "pDonkey_1.part.met.v0.05"}) {
        pg::PartMetFile met;
        bool ok = true;
        EXPECT_EQ("version != 224\n", SampleDump(met, name, ReadKind::Full, ok)) << name;
        EXPECT_FALSE(ok);
    }
}

TEST(PartMetSampleTest, BytesAfterTheLastTagAreNotRead)
{
    pg::PartMetFile met; // its header counts no tags, but tags follow
    bool ok = false;
    SampleDump(met, "IPED_test_emule.part.met.truncated64", ReadKind::Full, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ("", met.m_fileName);
    EXPECT_EQ(0u, met.m_link.find("ed2k://|file|unknown|0|"));
}

// ---------------------------------------------------------------- entry list and scan

pg::PartEntry Entry(const std::string& path, std::uint64_t size)
{
    pg::PartEntry entry;
    entry.m_path = path;
    entry.m_size = size;
    return entry;
}

std::vector<std::string> Paths(const pg::PartEntryList& list)
{
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < list.Count(); ++i)
        paths.push_back(list[i].m_path);
    return paths;
}

using Strings = std::vector<std::string>;

TEST(PartEntryListTest, SizeModesPutNewRecordsBeforeEqualOnes)
{
    pg::PartEntryList descending;
    EXPECT_EQ(0, descending.AddSorted(Entry("a", 5), pg::SORT_SIZE_DESCENDING));
    EXPECT_EQ(1, descending.AddSorted(Entry("b", 3), pg::SORT_SIZE_DESCENDING));
    EXPECT_EQ(1, descending.AddSorted(Entry("c", 3), pg::SORT_SIZE_DESCENDING));
    EXPECT_EQ(0, descending.AddSorted(Entry("d", 0x100000000), pg::SORT_SIZE_DESCENDING));
    EXPECT_EQ(4, descending.AddSorted(Entry("e", 0), pg::SORT_SIZE_DESCENDING));
    EXPECT_EQ((Strings{"d", "a", "c", "b", "e"}), Paths(descending));

    pg::PartEntryList ascending;
    for (const auto& [path, size] : std::vector<std::pair<std::string, std::uint64_t>>{
             {"a", 5}, {"b", 3}, {"c", 3}, {"d", 0x100000000}, {"e", 0xFFFFFFFF}})
        ascending.AddSorted(Entry(path, size), pg::SORT_SIZE_ASCENDING);
    EXPECT_EQ((Strings{"c", "b", "a", "e", "d"}), Paths(ascending));
}

TEST(PartEntryListTest, PathModesUseByteOrder)
{
    pg::PartEntryList ascending;
    pg::PartEntryList descending;
    for (const char* path : {"b", "B", "a", "\xe4", "B"}) {
        ascending.AddSorted(Entry(path, 1), pg::SORT_PATH_ASCENDING);
        descending.AddSorted(Entry(path, 2), pg::SORT_PATH_DESCENDING);
    }
    EXPECT_EQ((Strings{"B", "B", "a", "b", "\xe4"}), Paths(ascending));
    EXPECT_EQ((Strings{"\xe4", "b", "a", "B", "B"}), Paths(descending));
    EXPECT_EQ(2u, descending[3].m_size); // the copy holds the whole record
}

TEST(PartEntryListTest, OtherModesAppend)
{
    pg::PartEntryList list;
    EXPECT_EQ(0, list.AddSorted(Entry("z", 9), 0));
    EXPECT_EQ(1, list.AddSorted(Entry("a", 1), 1));
    EXPECT_EQ(2, list.AddSorted(Entry("m", 5), 6));
    EXPECT_EQ((Strings{"z", "a", "m"}), Paths(list));
}

TEST(PartEntryListTest, MixedModesKeepTheFirstQualifyingRecordRule)
{
    // The rule itself, record by record: the first record that the mode lets the new one precede.
    const auto expectedPosition = [](const std::vector<pg::PartEntry>& records, const pg::PartEntry& entry,
                                     int mode) {
        std::size_t i = 0;
        for (; i < records.size(); ++i) {
            const pg::PartEntry& e = records[i];
            if ((mode == pg::SORT_SIZE_ASCENDING && e.m_size >= entry.m_size) ||
                (mode == pg::SORT_SIZE_DESCENDING && e.m_size <= entry.m_size) ||
                (mode == pg::SORT_PATH_ASCENDING && e.m_path >= entry.m_path) ||
                (mode == pg::SORT_PATH_DESCENDING && e.m_path <= entry.m_path) || mode < 2 || mode > 5)
                break;
        }
        return mode < 2 || mode > 5 ? records.size() : i;
    };
    std::mt19937 random(7);
    for (int run = 0; run < 40; ++run) {
        pg::PartEntryList list;
        std::vector<pg::PartEntry> model;
        // Long stretches of one mode, as a scan makes them, then a switch, also to appending.
        int mode = pg::SORT_SIZE_DESCENDING;
        for (int n = 0; n < 300; ++n) {
            if (random() % 60 == 0)
                mode = static_cast<int>(random() % 6) + 1;
            const pg::PartEntry entry =
                Entry(std::string(1, static_cast<char>('a' + random() % 8)), random() % 12);
            const std::size_t position = expectedPosition(model, entry, mode);
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(position), entry);
            ASSERT_EQ(static_cast<std::int32_t>(position), list.AddSorted(entry, mode)) << run << " " << n;
        }
        list.Clear();
        EXPECT_EQ(0, list.AddSorted(Entry("x", 1), pg::SORT_PATH_DESCENDING));
    }
}

// A directory tree in memory. Directory texts end in a backslash; an entry with a link target
// stands for a link or junction to that directory.
class FakeTree : public pg::DirectoryLister
{
public:
    struct Item
    {
        std::string name;
        bool directory = false;
        std::uint64_t size = 0;
        std::string linkTarget;
        bool reportsLink;
    };

    static Item File(const std::string& name, std::uint64_t size) { return {name, false, size, "", false}; }
    static Item Dir(const std::string& name) { return {name, true, 0, "", false}; }
    // A link the lister reports as one, or (reported = false) one it cannot tell from a directory.
    static Item Link(const std::string& name, const std::string& target, bool reported = true)
    {
        return {name, true, 0, target, reported};
    }

    void Add(const std::string& directory, std::vector<Item> items) { m_dirs[directory] = std::move(items); }

    void List(const std::string& search, const std::function<bool(const pg::FoundItem&)>& visit) override
    {
        m_searches.push_back(search);
        const std::size_t cut = search.rfind('\\') + 1;
        const std::string pattern = search.substr(cut);
        const auto dir = m_dirs.find(Resolve(search.substr(0, cut)));
        if (dir == m_dirs.end())
            return;
        for (const std::string name : {".", ".."})
            if (Matches(pattern, name) && !visit(Found(Dir(name))))
                return;
        for (const Item& item : dir->second) {
            if (!Matches(pattern, item.name))
                continue;
            if (m_cancelAt == item.name && m_cancel != nullptr)
                *m_cancel = 1;
            if (!visit(Found(item)))
                return;
        }
    }

    // A directory's identity is its place among the tree's directories, links followed.
    bool Identify(const std::string& directory, pg::DirectoryIdentity& identity) override
    {
        const auto dir = m_dirs.find(Resolve(directory));
        if (dir == m_dirs.end())
            return false;
        identity = {7, static_cast<std::uint64_t>(std::distance(m_dirs.begin(), dir))};
        return true;
    }

    const Strings& Searches() const { return m_searches; }
    // Sets the cancel flag while the item `name` is being handled, as another thread might.
    void CancelAt(const std::string& name, std::atomic<std::int32_t>* cancel)
    {
        m_cancelAt = name;
        m_cancel = cancel;
    }

private:
    static pg::FoundItem Found(const Item& item)
    {
        pg::FoundItem found;
        found.name = item.name;
        found.attributes = item.directory ? pg::ATTRIBUTE_DIRECTORY : 0x20;
        found.size = item.size;
        found.written = 1000;
        found.isLink = !item.linkTarget.empty() && item.reportsLink;
        return found;
    }

    // Wildcards: "*" any run of characters, "?" any one character.
    static bool Matches(const std::string& pattern, const std::string& name)
    {
        if (pattern.empty())
            return name.empty();
        if (pattern[0] == '*')
            return Matches(pattern.substr(1), name) || (!name.empty() && Matches(pattern, name.substr(1)));
        return !name.empty() && (pattern[0] == '?' || pattern[0] == name[0]) &&
               Matches(pattern.substr(1), name.substr(1));
    }

    // Follows links: the directory each path step leads to.
    std::string Resolve(const std::string& directory) const
    {
        std::string resolved;
        std::size_t start = 0;
        for (std::size_t end; (end = directory.find('\\', start)) != std::string::npos; start = end + 1) {
            const std::string step = directory.substr(start, end - start);
            std::string next = resolved + step + "\\";
            if (const auto dir = m_dirs.find(resolved); dir != m_dirs.end())
                for (const Item& item : dir->second)
                    if (item.name == step && !item.linkTarget.empty())
                        next = item.linkTarget;
            resolved = next;
        }
        return resolved;
    }

    std::map<std::string, std::vector<Item>> m_dirs;
    Strings m_searches;
    std::string m_cancelAt;
    std::atomic<std::int32_t>* m_cancel = nullptr;
};

class ScanTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_tree.Add("T:\\tmp\\", {FakeTree::File("a.part", 10), FakeTree::Dir("sub"), FakeTree::Dir("x.part"),
                                 FakeTree::File("a.part.met", 3), FakeTree::File("c.part", 10),
                                 FakeTree::File("notes.txt", 99)});
        m_tree.Add("T:\\tmp\\sub\\",
                   {FakeTree::File("d.part", 10), FakeTree::Dir("deeper"), FakeTree::File("e.avi", 40)});
        m_tree.Add("T:\\tmp\\sub\\deeper\\", {FakeTree::File("f.part", 20)});
        m_tree.Add("T:\\tmp\\x.part\\", {FakeTree::File("g.part", 1)});
    }

    std::int32_t Scan(const std::string& pattern, bool recursive, int mode, bool addDirectories = false,
                      const std::atomic<std::int32_t>* cancel = nullptr)
    {
        return m_list.Scan(m_tree, "T:\\tmp\\", pattern, recursive, mode, addDirectories, cancel, &m_counter);
    }

    FakeTree m_tree;
    pg::PartEntryList m_list;
    std::atomic<std::int32_t> m_counter{0};
};

TEST_F(ScanTest, SubDirectoriesComeFirstEachCompletely)
{
    EXPECT_EQ(5, Scan("*.part", true, 0));
    EXPECT_EQ((Strings{"T:\\tmp\\sub\\deeper\\f.part", "T:\\tmp\\sub\\d.part", "T:\\tmp\\x.part\\g.part",
                       "T:\\tmp\\a.part", "T:\\tmp\\c.part"}),
              Paths(m_list));
    EXPECT_EQ(5, m_counter.load());
    EXPECT_EQ(
        (Strings{"T:\\tmp\\*", "T:\\tmp\\sub\\*", "T:\\tmp\\sub\\deeper\\*", "T:\\tmp\\sub\\deeper\\*.part",
                 "T:\\tmp\\sub\\*.part", "T:\\tmp\\x.part\\*", "T:\\tmp\\x.part\\*.part", "T:\\tmp\\*.part"}),
        m_tree.Searches());
    EXPECT_EQ(10u, m_list[4].m_size);
    EXPECT_EQ(0x20u, m_list[4].m_attributes);
    EXPECT_EQ(1000, m_list[4].m_written);
    EXPECT_EQ(0, m_list[4].m_tag);
}

TEST_F(ScanTest, SizeOrderPutsLaterEqualFilesFirst)
{
    EXPECT_EQ(5, Scan("*.part", true, pg::SORT_SIZE_DESCENDING));
    EXPECT_EQ((Strings{"T:\\tmp\\sub\\deeper\\f.part", "T:\\tmp\\c.part", "T:\\tmp\\a.part",
                       "T:\\tmp\\sub\\d.part", "T:\\tmp\\x.part\\g.part"}),
              Paths(m_list));
}

TEST_F(ScanTest, SeveralPatternsFillOneList)
{
    for (const std::string& pattern : pg::SplitPatterns(" *.part ; ;*.avi"))
        Scan(pattern, true, pg::SORT_SIZE_DESCENDING);
    EXPECT_EQ(6u, m_list.Count());
    EXPECT_EQ("T:\\tmp\\sub\\e.avi", m_list[0].m_path);
}

TEST_F(ScanTest, NonRecursiveScanListsOnlyTheDirectoryItself)
{
    EXPECT_EQ(2, Scan("?.part", false, 0));
    EXPECT_EQ((Strings{"T:\\tmp\\a.part", "T:\\tmp\\c.part"}), Paths(m_list));
}

TEST_F(ScanTest, DirectoriesAreAddedWhenAsked)
{
    EXPECT_EQ(8, Scan("*.part", true, 0, true));
    EXPECT_EQ((Strings{"T:\\tmp\\sub", "T:\\tmp\\sub\\deeper", "T:\\tmp\\sub\\deeper\\f.part",
                       "T:\\tmp\\sub\\d.part", "T:\\tmp\\x.part", "T:\\tmp\\x.part\\g.part",
                       "T:\\tmp\\a.part", "T:\\tmp\\c.part"}),
              Paths(m_list));
    EXPECT_EQ(8, m_counter.load());
}

TEST_F(ScanTest, CancelStopsAfterTheCurrentItem)
{
    std::atomic<std::int32_t> cancel{0};
    m_tree.CancelAt("e.avi", &cancel);
    EXPECT_EQ(1, Scan("*", true, 0, false, &cancel));
    EXPECT_EQ((Strings{"T:\\tmp\\sub\\deeper\\f.part"}), Paths(m_list));
    EXPECT_EQ(
        (Strings{"T:\\tmp\\*", "T:\\tmp\\sub\\*", "T:\\tmp\\sub\\deeper\\*", "T:\\tmp\\sub\\deeper\\*"}),
        m_tree.Searches());

    cancel = 1;
    m_list.Clear();
    EXPECT_EQ(0, Scan("*", true, 0, false, &cancel));
    EXPECT_TRUE(m_list.IsEmpty());
}

TEST_F(ScanTest, MissingDirectoryGivesNothing)
{
    EXPECT_EQ(0, m_list.Scan(m_tree, "T:\\nothing\\", "*.part", true, pg::SORT_SIZE_DESCENDING, false));
    EXPECT_TRUE(m_list.IsEmpty());
}

TEST_F(ScanTest, LinksBackUpTheTreeAreListedButNotEntered)
{
    m_tree.Add("T:\\tmp\\sub\\deeper\\", {FakeTree::File("f.part", 20), FakeTree::Link("up", "T:\\tmp\\")});
    EXPECT_EQ(9, Scan("*.part", true, 0, true));
    EXPECT_EQ((Strings{"T:\\tmp\\sub", "T:\\tmp\\sub\\deeper", "T:\\tmp\\sub\\deeper\\up",
                       "T:\\tmp\\sub\\deeper\\f.part", "T:\\tmp\\sub\\d.part", "T:\\tmp\\x.part",
                       "T:\\tmp\\x.part\\g.part", "T:\\tmp\\a.part", "T:\\tmp\\c.part"}),
              Paths(m_list));
}

TEST_F(ScanTest, LinkedDirectoriesElsewhereAreScannedOncePerPathUntilTheyLeadBack)
{
    // Two links to one directory outside (a diamond), which links back to the scanned directory
    // and to itself.
    m_tree.Add("T:\\tmp\\", {FakeTree::Link("one", "T:\\other\\"), FakeTree::Link("two", "T:\\other\\"),
                             FakeTree::File("a.part", 10)});
    m_tree.Add("T:\\other\\", {FakeTree::File("h.part", 5), FakeTree::Link("back", "T:\\tmp\\"),
                               FakeTree::Link("self", "T:\\other\\"), FakeTree::Link("gone", "T:\\none\\")});
    EXPECT_EQ(3, Scan("*.part", true, pg::SORT_PATH_ASCENDING));
    EXPECT_EQ((Strings{"T:\\tmp\\a.part", "T:\\tmp\\one\\h.part", "T:\\tmp\\two\\h.part"}), Paths(m_list));
    for (const std::string& search : m_tree.Searches())
        EXPECT_EQ(std::string::npos, search.find("\\back\\")) << search;
}

TEST_F(ScanTest, UnrecognisedCycleEndsAtTheDepthBound)
{
    m_tree.Add("T:\\loop\\", {FakeTree::Link("again", "T:\\loop\\", false), FakeTree::File("a.part", 1)});
    EXPECT_EQ(pg::PartEntryList::MAX_SCAN_DEPTH + 1,
              m_list.Scan(m_tree, "T:\\loop\\", "*.part", true, pg::SORT_PATH_DESCENDING, false));
    std::string deepest = "T:\\loop\\";
    for (int i = 0; i < pg::PartEntryList::MAX_SCAN_DEPTH; ++i)
        deepest += "again\\";
    EXPECT_EQ(deepest + "a.part", m_list[0].m_path);
}

// ---------------------------------------------------------------- list sorting

// Rows in memory; each row carries an id that must travel with its texts.
struct MemoryRow
{
    std::vector<std::string> cells;
    int id = 0;
};

class MemoryTable : public pg::RowTable
{
public:
    explicit MemoryTable(int columns = 4) : m_columns(columns) {}

    void Add(std::vector<std::string> cells)
    {
        cells.resize(static_cast<std::size_t>(m_columns));
        m_rows.push_back({std::move(cells), static_cast<int>(m_rows.size())});
    }

    int RowCount() const override { return static_cast<int>(m_rows.size()); }
    int ColumnCount() const override { return m_columns; }
    std::string CellText(int row, int column) const override
    {
        return column >= 0 && column < m_columns
                   ? m_rows.at(static_cast<std::size_t>(row)).cells[static_cast<std::size_t>(column)]
                   : "";
    }
    void ReorderRows(int low, const std::vector<int>& order) override
    {
        std::vector<MemoryRow> moved;
        for (const int from : order)
            moved.push_back(m_rows.at(static_cast<std::size_t>(low + from)));
        std::copy(moved.begin(), moved.end(), m_rows.begin() + low);
        ++m_reorders;
    }

    Strings Column(int column) const
    {
        Strings texts;
        for (const MemoryRow& row : m_rows)
            texts.push_back(row.cells[static_cast<std::size_t>(column)]);
        return texts;
    }
    std::vector<int> Ids() const
    {
        std::vector<int> ids;
        for (const MemoryRow& row : m_rows)
            ids.push_back(row.id);
        return ids;
    }

    std::vector<MemoryRow> m_rows;
    int m_reorders = 0;

private:
    int m_columns;
};

// The list sort as it has always worked: a recursive quicksort that reads each compared cell from
// the rows and swaps whole rows whose keys differ. The in-memory sort must give exactly its order.
void RowSwappingSort(std::vector<MemoryRow>& rows, std::size_t column, bool numeric, bool ascending, int low,
                     int high)
{
    const auto compare = [&](const MemoryRow& a, const MemoryRow& b) {
        const std::string& x = a.cells[column];
        const std::string& y = b.cells[column];
        const int order = numeric ? pg::LeadingInt(x) - pg::LeadingInt(y) : x.compare(y);
        return ascending ? order : -order;
    };
    if (low >= high)
        return;
    const MemoryRow pivot = rows[static_cast<std::size_t>((low + high) / 2)];
    int i = low;
    int j = high;
    while (i <= j) {
        while (i < high && compare(rows[static_cast<std::size_t>(i)], pivot) < 0)
            ++i;
        while (j > low && compare(rows[static_cast<std::size_t>(j)], pivot) > 0)
            --j;
        if (i <= j) {
            if (compare(rows[static_cast<std::size_t>(i)], rows[static_cast<std::size_t>(j)]) != 0)
                std::swap(rows[static_cast<std::size_t>(i)], rows[static_cast<std::size_t>(j)]);
            ++i;
            --j;
        }
    }
    if (low < j)
        RowSwappingSort(rows, column, numeric, ascending, low, j);
    if (i < high)
        RowSwappingSort(rows, column, numeric, ascending, i, high);
}

TEST(ListSortTest, LeadingIntReadsLikeTheRuntime)
{
    EXPECT_EQ(1, pg::LeadingInt("1.50 GB"));
    EXPECT_EQ(700, pg::LeadingInt("700.00 MB"));
    EXPECT_EQ(1023, pg::LeadingInt("1023   B"));
    EXPECT_EQ(42, pg::LeadingInt(" \t\n42abc"));
    EXPECT_EQ(-7, pg::LeadingInt("-7"));
    EXPECT_EQ(3, pg::LeadingInt("+3"));
    EXPECT_EQ(0, pg::LeadingInt("- 5"));
    EXPECT_EQ(0, pg::LeadingInt("abc"));
    EXPECT_EQ(0, pg::LeadingInt(""));
    EXPECT_EQ(1, pg::LeadingInt("4294967297"));
}

TEST(ListSortTest, ClicksSwitchDirectionAndColumn)
{
    MemoryTable table;
    table.Add({"beta", "10", "1.50 GB", "C:\\b.part"});
    table.Add({"Zebra", "50", "700.00 MB", "C:\\z.part"});
    table.Add({"apple", "9", "3   B", "C:\\a.part"});
    std::int32_t column = -1;
    std::int32_t ascending = 1;

    pg::SortOnColumnClick(table, 0, column, ascending);
    EXPECT_EQ(0, column);
    EXPECT_EQ(1, ascending);
    EXPECT_EQ((Strings{"Zebra", "apple", "beta"}), table.Column(0));

    pg::SortOnColumnClick(table, 0, column, ascending);
    EXPECT_EQ(0, ascending);
    EXPECT_EQ((Strings{"beta", "apple", "Zebra"}), table.Column(0));

    pg::SortOnColumnClick(table, 2, column, ascending);
    EXPECT_EQ(2, column);
    EXPECT_EQ(1, ascending);
    EXPECT_EQ((Strings{"1.50 GB", "3   B", "700.00 MB"}), table.Column(2));

    pg::SortOnColumnClick(table, 1, column, ascending);
    EXPECT_EQ((Strings{"9", "10", "50"}), table.Column(1));

    pg::SortOnColumnClick(table, -1, column, ascending);
    EXPECT_EQ(1, column);
    EXPECT_EQ(1, ascending);
}

TEST(ListSortTest, ClickAfterRebuildReversesTheLastDirection)
{
    std::int32_t column = 3;
    std::int32_t ascending = 1;
    EXPECT_EQ(pg::ColumnSorter::Text, pg::ApplyColumnClick(3, column, ascending));
    EXPECT_EQ(0, ascending);
    EXPECT_EQ(pg::ColumnSorter::Numeric, pg::ApplyColumnClick(1, column, ascending));
    EXPECT_EQ(1, ascending);
    EXPECT_EQ(pg::ColumnSorter::None, pg::ApplyColumnClick(-2, column, ascending));
    EXPECT_EQ(1, column);
}

TEST(ListSortTest, NothingToSortStillChangesTheState)
{
    MemoryTable empty;
    std::int32_t column = -1;
    std::int32_t ascending = 1;
    pg::SortOnColumnClick(empty, 0, column, ascending);
    pg::SortOnColumnClick(empty, 0, column, ascending);
    EXPECT_EQ(0, column);
    EXPECT_EQ(0, ascending);
    EXPECT_FALSE(pg::SortTextItems(empty, 0, true));
    EXPECT_FALSE(pg::SortNumericItems(empty, 1, true));

    MemoryTable one;
    one.Add({"only"});
    EXPECT_FALSE(pg::SortTextItems(one, 0, false));
    EXPECT_EQ(0, one.m_reorders);
}

TEST(ListSortTest, NumericSortRefusesColumnsBeyondTheList)
{
    MemoryTable table(2);
    table.Add({"b", "2"});
    table.Add({"a", "1"});
    EXPECT_FALSE(pg::SortNumericItems(table, 2, true));
    EXPECT_EQ(0, table.m_reorders);
    EXPECT_TRUE(pg::SortNumericItems(table, 1, true));
    EXPECT_EQ((Strings{"1", "2"}), table.Column(1));
}

TEST(ListSortTest, OnlyTheGivenRangeIsSorted)
{
    MemoryTable table;
    for (const char* name : {"z", "d", "c", "b", "a"})
        table.Add({name});
    EXPECT_TRUE(pg::SortTextItems(table, 0, true, 1, 3));
    EXPECT_EQ((Strings{"z", "b", "c", "d", "a"}), table.Column(0));
    EXPECT_FALSE(pg::SortTextItems(table, 0, true, 3, 3));
    EXPECT_FALSE(pg::SortTextItems(table, 0, true, -1, 3));
    EXPECT_TRUE(pg::SortTextItems(table, 0, false, 2, 99)); // past the last row: to the last row
    EXPECT_EQ((Strings{"z", "b", "d", "c", "a"}), table.Column(0));
}

// Click after click on random lists full of equal keys and numbers with units, the in-memory sort
// leaves every row where swapping rows in place would, and the column ordered.
TEST(ListSortTest, InMemorySortGivesTheRowSwappingOrder)
{
    std::mt19937 random(20240607);
    const auto pick = [&](const std::vector<std::string>& texts) { return texts[random() % texts.size()]; };
    const std::vector<std::string> names{"a", "B", "b", "Zebra", "apple", "", "a b", "\xe4rger"};
    const std::vector<std::string> numbers{"7",  "07",  "7.5 MB", "10   B",  "100",
                                           "-3", " 12", "x",      "1.50 GB", "0"};
    for (int round = 0; round < 300; ++round) {
        MemoryTable table;
        const int rows = static_cast<int>(random() % (round < 250 ? 40 : 400));
        for (int r = 0; r < rows; ++r)
            table.Add({pick(names), pick(numbers), pick(numbers), pick(names) + pick(names)});
        std::vector<MemoryRow> expected = table.m_rows;
        std::int32_t sortColumn = -1;
        std::int32_t sortAscending = 1;
        for (int click = 0; click < 4; ++click) {
            const int column = static_cast<int>(random() % 4);
            pg::SortOnColumnClick(table, column, sortColumn, sortAscending);
            const bool numeric = column == 1 || column == 2;
            RowSwappingSort(expected, static_cast<std::size_t>(column), numeric, sortAscending != 0, 0,
                            rows - 1);

            MemoryTable reference;
            reference.m_rows = expected;
            ASSERT_EQ(reference.Ids(), table.Ids()) << "round " << round << " click " << click;
            Strings keys = table.Column(column);
            EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(),
                                       [&](const std::string& a, const std::string& b) {
                                           const bool below =
                                               numeric ? pg::LeadingInt(a) < pg::LeadingInt(b) : a < b;
                                           const bool above =
                                               numeric ? pg::LeadingInt(a) > pg::LeadingInt(b) : a > b;
                                           return sortAscending != 0 ? below : above;
                                       }))
                << "round " << round;
        }
    }
}

TEST(ListSortTest, LongOrderedListsSortWithoutDeepRecursion)
{
    MemoryTable table(1);
    for (int i = 0; i < 50000; ++i)
        table.Add({std::to_string(50000 - i)});
    EXPECT_TRUE(pg::SortNumericItems(table, 0, true));
    EXPECT_EQ("1", table.m_rows.front().cells[0]);
    EXPECT_EQ("50000", table.m_rows.back().cells[0]);
}

} // namespace
