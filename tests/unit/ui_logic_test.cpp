#include "ui/AnchorLayout.h"
#include "ui/HyperlinkText.h"
#include "ui/VersionNumbers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using pg::Anchor;
using pg::Rect;

// The main window's anchors: grip first, the list, the right-hand column, then Refresh.
class MainAnchorsTest : public ::testing::Test
{
protected:
    const Rect window{100, 100, 700, 500};
    std::vector<Anchor> anchors;

    void SetUp() override
    {
        anchors.push_back(pg::MakeAnchor(pg::GRIP_CONTROL_ID, 2, 2, {581, 358, 594, 371}, true, window));
        anchors.push_back(pg::MakeAnchor(1008, 1, 1, {10, 40, 400, 330}, true, window));
        for (int i = 0; i < 20; ++i)
            anchors.push_back(
                pg::MakeAnchor(2000 + i, 2, 0, {420, 10 + 15 * i, 580, 22 + 15 * i}, true, window));
        anchors.push_back(pg::MakeAnchor(1009, 0, 2, {10, 340, 80, 360}, true, window));
    }

    const pg::AnchorMove* MoveOf(const std::vector<pg::AnchorMove>& moves, int id)
    {
        const auto it = std::find_if(moves.begin(), moves.end(), [id](const auto& m) { return m.id == id; });
        return it == moves.end() ? nullptr : &*it;
    }
};

TEST_F(MainAnchorsTest, WideningStretchesTheListAndMovesTheColumnOnly)
{
    const std::vector<Anchor> before = anchors;
    const auto moves = pg::LayoutAnchors(anchors, window, {100, 100, 750, 500});
    ASSERT_EQ(22u, moves.size()); // Refresh keeps its place and is left out
    EXPECT_EQ(nullptr, MoveOf(moves, 1009));
    EXPECT_EQ((Rect{10, 40, 450, 330}), MoveOf(moves, 1008)->rect);
    for (std::size_t i = 2; i < 22; ++i) {
        const Rect& old = before[i].rect;
        EXPECT_EQ((Rect{old.left + 50, old.top, old.right + 50, old.bottom}), anchors[i].rect);
        EXPECT_EQ(i, moves[i].index);
    }
}

TEST_F(MainAnchorsTest, GrowingTallerMovesOnlyListRefreshAndGrip)
{
    const auto moves = pg::LayoutAnchors(anchors, window, {100, 100, 700, 530});
    ASSERT_EQ(3u, moves.size());
    EXPECT_EQ((Rect{581, 388, 594, 401}), MoveOf(moves, pg::GRIP_CONTROL_ID)->rect);
    EXPECT_EQ((Rect{10, 40, 400, 360}), MoveOf(moves, 1008)->rect);
    EXPECT_EQ((Rect{10, 370, 80, 390}), MoveOf(moves, 1009)->rect);
}

TEST_F(MainAnchorsTest, SameSizeMovesNothingAndShrinkThenGrowRestores)
{
    const std::vector<Anchor> before = anchors;
    EXPECT_TRUE(pg::LayoutAnchors(anchors, window, {300, 200, 900, 600}).empty()); // moved, not resized
    pg::LayoutAnchors(anchors, window, {100, 100, 613, 377});
    pg::LayoutAnchors(anchors, {100, 100, 613, 377}, window);
    for (std::size_t i = 0; i < anchors.size(); ++i)
        EXPECT_EQ(before[i].rect, anchors[i].rect);
}

TEST(AnchorLayoutTest, GripStaysInTheClientCorner)
{
    const Rect client{0, 0, 594, 371};
    const Rect grip = pg::PlaceGrip(client, {0, 0, 13, 13});
    EXPECT_EQ((Rect{581, 358, 594, 371}), grip);
    const Anchor anchor = pg::MakeAnchor(pg::GRIP_CONTROL_ID, 2, 2, grip, true, {0, 0, 600, 400});
    const Rect moved = pg::AnchoredRect(anchor, {0, 0, 600, 400}, 677, 355);
    EXPECT_EQ(pg::PlaceGrip({0, 0, 671, 326}, grip), moved);
}

TEST(AnchorLayoutTest, ProportionalModeTruncatesEachTime)
{
    const Rect window{0, 0, 400, 300};
    std::vector<Anchor> anchors{pg::MakeAnchor(5, 3, 3, {100, 75, 180, 95}, false, window)};
    EXPECT_DOUBLE_EQ(100.0 / 300.0, anchors[0].xRatio);
    pg::LayoutAnchors(anchors, window, {0, 0, 600, 300});
    EXPECT_EQ((Rect{150, 75, 230, 95}), anchors[0].rect);
    pg::LayoutAnchors(anchors, {0, 0, 600, 300}, {0, 0, 500, 300});
    EXPECT_EQ((Rect{125, 75, 205, 95}), anchors[0].rect);
    pg::LayoutAnchors(anchors, {0, 0, 500, 300}, {0, 0, 400, 300});
    EXPECT_EQ(99, anchors[0].rect.left); // 99.99999999999999 truncated
    EXPECT_EQ(179, anchors[0].rect.right);
    pg::LayoutAnchors(anchors, {0, 0, 400, 300}, {0, 0, 400, 450});
    EXPECT_EQ(112, anchors[0].rect.top); // 450 * 75 / 300 = 112.5
    EXPECT_EQ(20, anchors[0].rect.Height());
}

TEST(AnchorLayoutTest, UnknownModesAndDegenerateRatiosKeepTheRect)
{
    const Rect window{0, 0, 400, 300};
    const Rect control{400, 300, 420, 310}; // at the far edge: the ratio has no finite value
    for (int mode : {-1, 4, 99, 3}) {
        const Anchor anchor = pg::MakeAnchor(7, mode, mode, control, false, window);
        EXPECT_EQ(control, pg::AnchoredRect(anchor, window, 650, 333)) << mode;
    }
}

TEST(AnchorLayoutTest, SizeLimitsHoldTheOpeningSize)
{
    pg::TrackLimits system;
    system.maxSize = {1024, 768};
    system.minTrackSize = {112, 27};
    system.maxTrackSize = {1036, 780};
    pg::TrackLimits limits = system;
    pg::ApplySizeLimits(limits, {false, 600, 400, 0, 0});
    EXPECT_EQ(system.minTrackSize, limits.minTrackSize);
    EXPECT_EQ(system.maxTrackSize, limits.maxTrackSize);

    pg::ApplySizeLimits(limits, {true, 600, 400, 0, 1});
    EXPECT_EQ((pg::Point32{600, 400}), limits.minTrackSize);
    EXPECT_EQ((pg::Point32{600, 768}), limits.maxSize);
    EXPECT_EQ((pg::Point32{600, 780}), limits.maxTrackSize);

    limits = system;
    pg::ApplySizeLimits(limits, {true, 600, 400, 2, 2});
    EXPECT_EQ(system.maxTrackSize, limits.maxTrackSize);
    EXPECT_EQ((pg::Point32{600, 400}), limits.minTrackSize);
}

TEST(HyperlinkTest, CommandTextCutsAtThePlaceholder)
{
    EXPECT_EQ("\"C:\\Web\\browse.exe\" -nohome  mailto:a@b.example",
              pg::HyperlinkCommandText("\"C:\\Web\\browse.exe\" -nohome \"%1\" -new", "mailto:a@b.example"));
    EXPECT_EQ("browse.exe  x", pg::HyperlinkCommandText("browse.exe %1 -new", "x"));
    EXPECT_EQ("browse.exe %1  x", pg::HyperlinkCommandText("browse.exe %1 \"%1\"", "x")); // quoted first
    EXPECT_EQ("browse.exe -url x y", pg::HyperlinkCommandText("browse.exe -url", "x y"));
    const std::string longCommand(1500, 'c');
    const std::string longTarget(2000, 't');
    EXPECT_EQ(longCommand + " " + longTarget, pg::HyperlinkCommandText(longCommand + "%1", longTarget));
}

TEST(HyperlinkTest, FitFollowsTheAlignment)
{
    const Rect control{20, 10, 121, 30};
    EXPECT_EQ((Rect{45, 10, 96, 23}), pg::FitLinkRect(control, pg::LINK_STYLE_CENTER, 50, 13));
    EXPECT_EQ((Rect{45, 10, 96, 23}), pg::FitLinkRect(control, 0x3, 50, 13)); // centre wins
    EXPECT_EQ((Rect{71, 10, 121, 23}), pg::FitLinkRect(control, pg::LINK_STYLE_RIGHT, 50, 13));
    EXPECT_EQ((Rect{20, 10, 70, 23}), pg::FitLinkRect(control, 0, 50, 13));
    EXPECT_EQ((Rect{20, 13, 70, 27}), pg::FitLinkRect(control, pg::LINK_STYLE_CENTERIMAGE, 50, 13));
    // A larger text grows the rectangle; the halves truncate toward zero.
    EXPECT_EQ((Rect{18, 8, 123, 32}), pg::FitLinkRect(control, 0x201, 106, 25));
}

TEST(HyperlinkTest, ErrorTextsAndTheSuccessLimit)
{
    EXPECT_EQ("Unable to open hyperlink:\n\nA sharing violation occurred. ", pg::OpenFailureText(26));
    EXPECT_EQ("Unable to open hyperlink:\n\nUnknown Error (1) occurred.", pg::OpenFailureText(1));
    EXPECT_EQ("Unable to open hyperlink:\n\nUnknown Error (-1) occurred.", pg::OpenFailureText(-1));
    EXPECT_EQ("Unable to open hyperlink:\n\nThe specified dynamic-link library was not found.",
              pg::OpenFailureText(32));
    EXPECT_EQ("Unable to open hyperlink:\n\nUnknown Error (33) occurred.", pg::OpenFailureText(33));
    for (int code : {0, 2, 3, 5, 8, 11, 27, 28, 29, 30, 31})
        EXPECT_EQ(std::string::npos, pg::OpenFailureText(code).find("Unknown")) << code;
    EXPECT_FALSE(pg::OpenSucceeded(32));
    EXPECT_TRUE(pg::OpenSucceeded(33));
    EXPECT_FALSE(pg::OpenSucceeded(-5));
}

TEST(HyperlinkTest, HoverBeatsVisitedBeatsUnvisited)
{
    EXPECT_EQ(0x00EE0000u, pg::LinkTextColour(false, false));
    EXPECT_EQ(0x008B1A55u, pg::LinkTextColour(false, true));
    EXPECT_EQ(0x00005CFFu, pg::LinkTextColour(true, true));
    EXPECT_EQ(0x00005CFFu, pg::LinkTextColour(true, false));
}

TEST(VersionNumbersTest, CommasFirstThenFullStops)
{
    struct Case
    {
        const char* text;
        int expected[4];
        bool all;
    };
    const Case cases[] = {{"1, 0, 0, 5", {1, 0, 0, 5}, true},
                          {"1.0.0.5", {1, 0, 0, 5}, true},
                          {"2, 3", {2, 3, 0, 0}, false},
                          {"1.2, 3", {1, 3, 0, 0}, false},
                          {"7", {7, 0, 0, 0}, false},
                          {" -4,+12,x,9", {-4, 12, 0, 9}, true},
                          {"99999999999.1", {2147483647, 1, 0, 0}, false}};
    for (const Case& c : cases) {
        int n[4] = {0, 0, 0, 0};
        EXPECT_EQ(c.all, pg::ParseVersionNumbers(c.text, n[0], n[1], n[2], n[3])) << c.text;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(c.expected[i], n[i]) << c.text << " number " << i;
    }
    int a = 9, b = 9, c = 9, d = 9;
    pg::ParseVersionNumbers("3", a, b, c, d);
    EXPECT_EQ(3, a);
    EXPECT_EQ(9, b); // numbers whose turn does not come keep their value
}

} // namespace
