#include "app/MainLayout.h"
#include "framework/Language.h"
#include "framework/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(LanguageTest, OnlyGermanyGetsGermanTexts)
{
    EXPECT_EQ(0, pg::LanguageOffsetForLocale(1031));
    EXPECT_EQ(300, pg::LanguageOffsetForLocale(1033));
    EXPECT_EQ(300, pg::LanguageOffsetForLocale(2055)); // Switzerland
    EXPECT_EQ(300, pg::LanguageOffsetForLocale(3079)); // Austria
}

TEST(MainLayoutTest, ColumnWidthsFollowTheSeventyPercentRule)
{
    const pg::ColumnWidths widths = pg::ListColumnWidths(437, 16);
    EXPECT_EQ(305, widths.wide);
    EXPECT_EQ(116, widths.narrow);
}

TEST(MainLayoutTest, ColumnWidthTruncatesTowardZero)
{
    EXPECT_EQ(6, pg::ListColumnWidths(9, 0).wide); // 6.3
    EXPECT_EQ(3, pg::ListColumnWidths(9, 0).narrow);
}

TEST(MainLayoutTest, TempDirectoryGetsOneFinalBackslash)
{
    EXPECT_EQ("D:\\edonkey\\temp\\", pg::WithFinalBackslash("D:\\edonkey\\temp"));
    EXPECT_EQ("D:\\edonkey\\temp\\", pg::WithFinalBackslash("D:\\edonkey\\temp\\"));
    EXPECT_EQ("", pg::WithFinalBackslash(""));
}

TEST(TextTest, FormatSizesItsResult)
{
    const std::string longText(5000, 'x');
    EXPECT_EQ(longText + "-7", fw::Format("%s-%d", longText.c_str(), 7));
    EXPECT_EQ("", fw::Format("%s", ""));
}

TEST(TextTest, ParseInt32AcceptsSignedDecimalWithBlanks)
{
    std::int32_t value = 0;
    EXPECT_TRUE(fw::ParseInt32(" -42 ", value));
    EXPECT_EQ(-42, value);
    EXPECT_TRUE(fw::ParseInt32("+7", value));
    EXPECT_EQ(7, value);
    EXPECT_TRUE(fw::ParseInt32("2147483647", value));
    EXPECT_EQ(2147483647, value);
    EXPECT_TRUE(fw::ParseInt32("-2147483648", value));
    EXPECT_EQ(-2147483647 - 1, value);
}

TEST(TextTest, ParseInt32RejectsWhatIsNotOneNumber)
{
    std::int32_t value = 99;
    for (const char* text :
         {"", " ", "abc", "12a", "1 2", "-", "2147483648", "-2147483649", "99999999999999999999"})
        EXPECT_FALSE(fw::ParseInt32(text, value)) << text;
    EXPECT_EQ(99, value);
}

TEST(TextTest, FileFilterBarsBecomeZeroSeparators)
{
    const std::string filter = fw::FileFilterFromBars("Avi (*.avi)|*.avi|All (*.*)|*.*||");
    EXPECT_EQ(std::string("Avi (*.avi)\0*.avi\0All (*.*)\0*.*\0\0\0", 34), filter);
}

TEST(TextTest, RightAndCaseInsensitiveEquality)
{
    EXPECT_EQ(".AVI", fw::Right("film.AVI", 4));
    EXPECT_EQ("av", fw::Right("av", 4));
    EXPECT_TRUE(fw::EqualsNoCase(".AVI", ".avi"));
    EXPECT_FALSE(fw::EqualsNoCase(".avi", ".avi "));
}

} // namespace
