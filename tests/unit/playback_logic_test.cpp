#include "playback/PlayDecision.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using pg::PlayAction;

// A metadata lookup that answers with a fixed first-gap start and records what it was asked.
class PlayInputTest : public ::testing::Test
{
protected:
    std::int32_t gapStart = 9728000;
    std::vector<std::string> asked;

    pg::PlayOutcome Decide(const std::string& inFile, const std::string& mediaName)
    {
        return pg::DecidePlayInput(inFile, mediaName, [this](const std::string& path) {
            asked.push_back(path);
            return gapStart;
        });
    }
};

TEST_F(PlayInputTest, OtherFilesGoToThePlayerUnquoted)
{
    const pg::PlayOutcome outcome = Decide("D:\\video\\film.avi", "film.avi");
    EXPECT_EQ(PlayAction::Player, outcome.action);
    EXPECT_EQ("/play /close D:\\video\\film.avi", outcome.text);
    EXPECT_EQ("/play /close D:\\my videos\\a b.mpeg", Decide("D:\\my videos\\a b.mpeg", "x.txt").text);
    EXPECT_EQ("/play /close D:\\x.par", Decide("D:\\x.par", "x").text);
    EXPECT_TRUE(asked.empty()); // no metadata is read for a file that is not a download
}

TEST_F(PlayInputTest, EmptyFieldsDoNothing)
{
    EXPECT_EQ(PlayAction::Nothing, Decide("", "film.avi").action);
    EXPECT_EQ(PlayAction::Nothing, Decide("D:\\tmp\\12.part", "").action);
    EXPECT_EQ(PlayAction::Nothing, Decide("D:\\video\\film.avi", "").action);
    EXPECT_TRUE(asked.empty());
}

TEST_F(PlayInputTest, DownloadsWithDataFromTheStartPlayInTheMovieWindow)
{
    for (const char* media : {"a.avi", "song.MP3", "b.Mpg", "c.mid", "d.WAV"}) {
        const pg::PlayOutcome outcome = Decide("D:\\my tmp\\12.PART", media);
        EXPECT_EQ(PlayAction::MovieWindow, outcome.action) << media;
        EXPECT_EQ("D:\\my tmp\\12.PART", outcome.text);
    }
    ASSERT_EQ(5u, asked.size());
    EXPECT_EQ("D:\\my tmp\\12.PART", asked[0]);
}

TEST_F(PlayInputTest, DownloadsAreRefusedWithoutDataOrMediaExtension)
{
    EXPECT_EQ(PlayAction::Refuse, Decide("D:\\tmp\\12.part", "film.mpeg").action);
    EXPECT_EQ(PlayAction::Refuse, Decide("D:\\tmp\\12.part", "D:\\tmp\\12.part").action);
    EXPECT_EQ(PlayAction::Refuse, Decide("D:\\tmp\\12.part", "avi").action);
    gapStart = 0;
    EXPECT_EQ(PlayAction::Refuse, Decide("D:\\tmp\\12.part", "film.avi").action);
    gapStart = -1;
    EXPECT_EQ(PlayAction::MovieWindow, Decide("D:\\tmp\\12.part", "film.avi").action);
}

TEST(PlayOutputTest, OutputPathIsThePlayerParameterAsItStands)
{
    EXPECT_EQ("D:\\my films\\out 1.avi", pg::PlayOutputParameters("D:\\my films\\out 1.avi"));
    EXPECT_EQ("D:\\100%.avi", pg::PlayOutputParameters("D:\\100%.avi"));
}

} // namespace
