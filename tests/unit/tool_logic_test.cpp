#include "ToolEndMarker.h"
#include "tool/ToolJob.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Whether one tool run whose reads deliver these chunks, in order, ends its work.
bool EndsWork(const std::vector<std::string>& chunks)
{
    pg::EndMarkerSearch search(TOOL_END_MARKER);
    bool ended = false;
    for (const std::string& chunk : chunks)
        ended = search.ChunkEndsWork(chunk) || ended;
    return ended;
}

TEST(ToolArgumentsTest, FullJob)
{
    const pg::ToolJob job = pg::ToolArguments("D:\\tmp\\12.part", "D:\\film", 1, 50, 640, 352);
    EXPECT_EQ("\"D:\\tmp\\12.part\" \"D:\\film.avi\" -k 1 -n 50 -h 640 -v 352", job.arguments);
    EXPECT_EQ("D:\\film.avi", job.outFile);
    EXPECT_EQ(1, job.startFrame);
}

TEST(ToolArgumentsTest, EmptyPiecesKeepTheirBlanks)
{
    EXPECT_EQ("\"a b\" \"c.avi\" -k 1  ", pg::ToolArguments("a b", "c.avi", 0, 0, 0, 0).arguments);
    EXPECT_EQ("\"a\" \"c.avi\" -k -5 -n 3 ", pg::ToolArguments("a", "c", -5, 3, 640, 0).arguments);
    EXPECT_EQ("\"a\" \"c.avi\" -k 2  -h 1 -v 2", pg::ToolArguments("a", "c", 2, -1, 1, 2).arguments);
    EXPECT_EQ("\"a\" \"c.avi\" -k 2  ", pg::ToolArguments("a", "c", 2, 0, -640, 352).arguments);
    EXPECT_EQ(1, pg::ToolArguments("a", "c", 0, 0, 0, 0).startFrame);
    EXPECT_EQ(-5, pg::ToolArguments("a", "c", -5, 0, 0, 0).startFrame);
}

TEST(ToolArgumentsTest, AviIsAppendedUnlessTheNameEndsInAContainerTheToolWrites)
{
    EXPECT_EQ("film.AVI", pg::WithVideoExtension("film.AVI"));
    EXPECT_EQ("film.Avi", pg::WithVideoExtension("film.Avi"));
    EXPECT_EQ("film.avi.bak.avi", pg::WithVideoExtension("film.avi.bak"));
    EXPECT_EQ("av.avi", pg::WithVideoExtension("av"));
    EXPECT_EQ("xavi.avi", pg::WithVideoExtension("xavi"));
    EXPECT_EQ(".avi", pg::WithVideoExtension(".avi"));
    // The other containers the tool writes keep their names.
    EXPECT_EQ("film.mkv", pg::WithVideoExtension("film.mkv"));
    EXPECT_EQ("film.WebM", pg::WithVideoExtension("film.WebM"));
    EXPECT_EQ("film.mkv.bak.avi", pg::WithVideoExtension("film.mkv.bak"));
    EXPECT_EQ("film.MOV", pg::WithVideoExtension("film.MOV"));
    EXPECT_EQ("film.ts", pg::WithVideoExtension("film.ts"));
    EXPECT_EQ("film.MPG", pg::WithVideoExtension("film.MPG"));
    for (const char* name : {"dvd.VOB", "broadcast.m2ts", "camera.MTS", "sound.mka", "film.mk3d"})
        EXPECT_EQ(name, pg::WithVideoExtension(name));
}

TEST(ToolArgumentsTest, CommandLineHasTwoBlanksBeforeTheSwitch)
{
    EXPECT_EQ("ClipmendC.exe \"a\" \"b.avi\" -k 1    /A", pg::ToolCommandLine("\"a\" \"b.avi\" -k 1  "));
    const std::string longArguments(3000, 'q');
    EXPECT_EQ("ClipmendC.exe " + longArguments + "  /A", pg::ToolCommandLine(longArguments));
}

TEST(ToolOutputTest, LoneLineFeedsGetCarriageReturns)
{
    EXPECT_EQ("x\r\ny\r\nz", pg::ConvertLoneLineFeeds("x\ny\r\nz"));
    EXPECT_EQ("\r\nstart", pg::ConvertLoneLineFeeds("\nstart"));
    EXPECT_EQ("\r\n\r\n\r\n", pg::ConvertLoneLineFeeds("\n\n\r\n"));
    EXPECT_EQ("a\r", pg::ConvertLoneLineFeeds("a\r"));
    EXPECT_EQ("", pg::ConvertLoneLineFeeds(""));
    const std::string once = pg::ConvertLoneLineFeeds("p\nq\r\n\nr");
    EXPECT_EQ(once, pg::ConvertLoneLineFeeds(once));
}

TEST(ToolOutputTest, FullChunksAreConvertedWhole)
{
    const std::string plain(pg::TOOL_CHUNK_SIZE, 'b');
    EXPECT_EQ(plain, pg::ConvertLoneLineFeeds(plain));
    const std::string feeds(pg::TOOL_CHUNK_SIZE, '\n');
    const std::string converted = pg::ConvertLoneLineFeeds(feeds);
    ASSERT_EQ(2 * pg::TOOL_CHUNK_SIZE, converted.size());
    EXPECT_EQ(std::string::npos, converted.find("\n\n"));
    std::string endingInMarker(pg::TOOL_CHUNK_SIZE - std::string(TOOL_END_MARKER).size(), 'o');
    endingInMarker += TOOL_END_MARKER;
    EXPECT_TRUE(EndsWork({pg::ConvertLoneLineFeeds(endingInMarker)}));
}

TEST(ToolOutputTest, MarkerCountsAnywhereButAsTheFirstBytesOfTheOutput)
{
    const std::string marker = TOOL_END_MARKER;
    EXPECT_FALSE(EndsWork({marker}));
    EXPECT_FALSE(EndsWork({marker + "\r\nmore"}));
    EXPECT_FALSE(EndsWork({marker.substr(0, 3), marker.substr(3) + "\r\n"}));
    EXPECT_TRUE(EndsWork({"\r\n" + marker}));
    EXPECT_TRUE(EndsWork({"done " + marker + "\r\n"}));
    EXPECT_TRUE(EndsWork({marker + " " + marker}));
    EXPECT_TRUE(EndsWork({"progress\r\n", marker + "\r\n"}));
    EXPECT_FALSE(EndsWork({"end " + marker.substr(0, 5), "\r\n", marker.substr(5)}));
    EXPECT_FALSE(EndsWork({"", ""}));
}

TEST(ToolOutputTest, MarkerCutByTheReadsIsFoundWhereverTheCutFalls)
{
    const std::string marker = TOOL_END_MARKER;
    const std::string line = "done " + marker + "\r\n";
    for (std::size_t cut = 0; cut <= line.size(); ++cut)
        EXPECT_TRUE(EndsWork({line.substr(0, cut), line.substr(cut)})) << cut;
    // One byte at a time, after output longer than the marker.
    std::vector<std::string> bytes{std::string(100, 'x')};
    for (const char c : marker)
        bytes.emplace_back(1, c);
    EXPECT_TRUE(EndsWork(bytes));
}

} // namespace
