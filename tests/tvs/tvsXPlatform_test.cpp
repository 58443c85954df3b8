#include "tvsXPlatform.h"

#include <string>

#include <gtest/gtest.h>

TEST(tvsXPlatform, Utf8RoundTrip)
{
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"", u""},
        {"abc", u"abc"},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"}, // a surrogate pair
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(UTF8ToUTF16(c.utf8), c.utf16);
        EXPECT_EQ(UTF16ToUTF8(c.utf16), c.utf8);
    }
}

TEST(tvsXPlatform, InvalidSequencesBecomeReplacementCharacters)
{
    EXPECT_EQ(UTF8ToUTF16("a\xFF"
                          "b"),
              u"a\uFFFD"
              u"b");
    EXPECT_EQ(UTF16ToUTF8(u"a\xD800"
                          u"b"),
              "a\xEF\xBF\xBD"
              "b"); // lone surrogate
}

TEST(tvsXPlatform, CaseMappingAndComparison)
{
    EXPECT_EQ(UnicodeUpperCase(u"stra\u00DFe"), u"STRASSE");
    EXPECT_EQ(UnicodeLowerCase(u"\u00C9T\u00C9"), u"\u00E9t\u00E9");
    EXPECT_TRUE(UnicodeSameText(u"\u00E9t\u00E9", u"\u00C9T\u00C9"));
    EXPECT_LT(UnicodeCompareText(u"apple", u"Banana"), 0);
    EXPECT_GT(UnicodeCompareStr(u"b", u"a"), 0);
    EXPECT_EQ(UnicodeCompareStr(u"a", u"a"), 0);
    EXPECT_EQ(SimpleFoldCase(u'A'), u'a');
    EXPECT_EQ(SimpleFoldCase(u'\u0416'), u'\u0436');
}

TEST(tvsXPlatform, Clocks)
{
    const auto first = GetSystemMilliseconds();
    EXPECT_GE(GetSystemMilliseconds(), first);
    EXPECT_EQ(UnixTimeToDateTime(0), 25569.0);
    EXPECT_EQ(DateTimeToUnixTime(25570.5), 86400.0 * 1.5);
    // Both clocks tell a date after 2020 (43831 = 1 January 2020).
    EXPECT_GT(UTCDateTime(), 43831.0);
    EXPECT_GT(LocalDateTime(), 43831.0);
}
