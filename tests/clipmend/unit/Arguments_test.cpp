#include "Arguments.h"
#include "Progress.h"

#include <gtest/gtest.h>

namespace {

using namespace pg::clipmend;

TEST(ArgumentsTest, TakesTheCommandLineAsTheProgramBuildsIt)
{
    Arguments a;
    std::string error;
    ASSERT_TRUE(ParseArguments(
        {"D:\\tmp\\12.part", "D:\\film.avi", "-k", "1", "-n", "50", "-h", "640", "-v", "352", "/A"}, a,
        error))
        << error;
    EXPECT_EQ("D:\\tmp\\12.part", a.input);
    EXPECT_EQ("D:\\film.avi", a.output);
    EXPECT_EQ(1, a.startFrame);
    EXPECT_EQ(50, a.frameCount);
    EXPECT_EQ(640, a.width);
    EXPECT_EQ(352, a.height);
    EXPECT_TRUE(a.unattended);
}

TEST(ArgumentsTest, CountAndSizeAreOptional)
{
    Arguments a;
    std::string error;
    ASSERT_TRUE(ParseArguments({"in.avi", "out.avi", "-k", "25", "/A"}, a, error)) << error;
    EXPECT_EQ(25, a.startFrame);
    EXPECT_EQ(0, a.frameCount);
    EXPECT_EQ(0, a.width);
    ASSERT_TRUE(ParseArguments({"/tmp/in.avi", "/tmp/out.avi", "-k", "+3"}, a, error)) << error;
    EXPECT_EQ("/tmp/in.avi", a.input);
    EXPECT_EQ(3, a.startFrame);
    EXPECT_FALSE(a.unattended);
}

TEST(ArgumentsTest, MalformedCommandLinesAreRejectedWithAReason)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"in", "out"}, "the start frame (-k) is missing"},
        {{"in", "-k", "1"}, "expected an input and an output file name"},
        {{"in", "out", "more", "-k", "1"}, "expected an input and an output file name"},
        {{"in", "out", "-k"}, "start frame must be a whole number from 1 to 2147483647"},
        {{"in", "out", "-k", "0"}, "start frame must be a whole number from 1 to 2147483647"},
        {{"in", "out", "-k", "-5"}, "start frame must be a whole number from 1 to 2147483647"},
        {{"in", "out", "-k", "12x"}, "start frame must be a whole number from 1 to 2147483647"},
        {{"in", "out", "-k", "2147483648"}, "start frame must be a whole number from 1 to 2147483647"},
        {{"in", "out", "-k", "1", "-k", "2"}, "start frame given twice"},
        {{"in", "out", "-k", "1", "-n", "0"}, "frame count must be a whole number from 1 to 2147483647"},
        {{"in", "out", "-k", "1", "-h", "640"}, "width (-h) and height (-v) go together"},
        {{"in", "out", "-k", "1", "-h", "40000", "-v", "10"}, "width must be a whole number from 1 to 32767"},
        {{"in", "out", "-k", "1", "/B"}, "unknown option /B"},
        {{"in", "out", "-k", "1", "-x"}, "unknown option -x"},
    };
    for (const auto& [args, reason] : cases) {
        Arguments a;
        std::string error;
        EXPECT_FALSE(ParseArguments(args, a, error)) << reason;
        EXPECT_EQ(reason, error);
    }
}

TEST(ProgressTest, AtMostOneLinePerPercent)
{
    using namespace std::chrono_literals;
    ProgressMeter meter("Frame");
    std::string line;
    int lines = 0;
    ProgressMeter::Clock::time_point now{};
    for (std::uint64_t done = 1; done <= 1000; ++done) {
        now += 1s;
        lines += meter.Update(done, 1000, now, line);
    }
    EXPECT_EQ(101, lines); // 0% to 100%
    EXPECT_EQ("Frame 1000 / 1000 (100%)", line);
    ProgressMeter few("Frame");
    EXPECT_TRUE(few.Update(1, 3, now, line));
    EXPECT_EQ("Frame 1 / 3 (33%)", line);
    EXPECT_FALSE(few.Update(1, 3, now + 1s, line));
}

TEST(ProgressTest, LinesComeNoFasterThanTheIntervalButTheLastAlwaysComes)
{
    using namespace std::chrono_literals;
    ProgressMeter meter("Frame");
    std::string line;
    const ProgressMeter::Clock::time_point start{};
    EXPECT_TRUE(meter.Update(1, 100, start, line));
    EXPECT_FALSE(meter.Update(50, 100, start + 99ms, line));
    EXPECT_TRUE(meter.Update(51, 100, start + 100ms, line));
    EXPECT_EQ("Frame 51 / 100 (51%)", line);
    EXPECT_FALSE(meter.Update(99, 100, start + 101ms, line));
    EXPECT_TRUE(meter.Update(100, 100, start + 102ms, line));
    EXPECT_EQ("Frame 100 / 100 (100%)", line);
}

TEST(ProgressTest, PercentOfHugeCountsDoesNotOverflow)
{
    const std::uint64_t total = 1ull << 62;
    EXPECT_EQ(50, Percent(total / 2, total));
    EXPECT_EQ(100, Percent(5, 0));
    EXPECT_EQ(0, Percent(0, 7));
}

} // namespace
