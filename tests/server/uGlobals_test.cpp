#include "uGlobals.h"

#include <gtest/gtest.h>

TEST(uGlobals, SplitString)
{
    const struct {
        std::u16string delimiter;
        std::u16string text;
        int limit;
        std::vector<std::u16string> expected;
    } cases[] = {
        {u"&", u"a&&b", 0, {u"a", u"", u"b"}},
        {u"&", u"&a", 0, {u"", u"a"}},
        {u"&", u"a&", 0, {u"a"}}, // no empty last element
        {u"&", u"&", 0, {u""}},
        {u"&", u"a&b&c", 2, {u"a", u"b&c"}},
        {u"&", u"a&b&c", 1, {u"a&b&c"}},
        {u"&", u"a&b", -1, {}},
        {u"&", u"", 0, {}},
        {u"", u"a&b", 0, {u"a&b"}},
        {u"&&", u"a&&b&&&c", 0, {u"a", u"b", u"&c"}},
        {u"|", u"1.2|http://x|notes", 3, {u"1.2", u"http://x", u"notes"}},
        {u"&", std::u16string(u"a&b\0&c", 6), 0, {u"a", u"b"}}, // U+0000 ends the text
        {u"&", std::u16string(u"\0a", 2), 0, {u""}},
        {u"ab", u"xa", 0, {u"xa"}}, // a partial delimiter at the end is text
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text) + " limit " + std::to_string(c.limit));
        EXPECT_EQ(SplitString(c.delimiter, c.text, c.limit), c.expected);
    }
}

TEST(uGlobals, URLDecode)
{
    const struct {
        std::u16string text;
        std::u16string expected;
    } cases[] = {
        {u"a+b", u"a b"},
        {u"%41%42", u"AB"},
        {u"%4a%4A", u"JJ"},
        {u"%", u"%"},
        {u"%4", u"%4"},
        {u"x%2", u"x%2"},
        {u"%zz", u"zz"}, // not an escape: the "%" is dropped
        {u"%%41", u"A"}, // ... and what follows is read again
        {u"%2+", u"2 "},
        {u"%2B", u"+"},           // an encoded "+" stays a plus
        {u"J%C3%A9", u"J\u00E9"}, // UTF-8 bytes become one character
        {u"%E2%82%AC", u"\u20AC"},
        {u"%F0%9F%98%80", u"\U0001F600"},
        {u"%E9t%E9", u"\u00E9t\u00E9"},        // a byte outside UTF-8 keeps its code
        {u"%C3", u"\u00C3"},                   // a sequence cut short
        {u"%C3+%A9", u"\u00C3 \u00A9"},        // a break between the bytes
        {u"%C0%AF", u"\u00C0\u00AF"},          // overlong forms are not UTF-8
        {u"%ED%A0%80", u"\u00ED\u00A0\u0080"}, // nor are surrogates
        {std::u16string(u"a%00b", 5), std::u16string(u"a\0b", 3)},
        {u"\u00E9%41", u"\u00E9A"}, // characters already decoded pass through
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(URLDecode(c.text), c.expected);
    }
}

TEST(uGlobals, BytesAndText)
{
    const struct {
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"plain", u"plain"},
        {"J\xC3\xA9", u"J\u00E9"},
        {"\xE9t\xE9", u"\u00E9t\u00E9"}, // Latin-1 where not UTF-8
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(UTF8OrLatin1ToText(c.bytes), c.text);
    }
    EXPECT_EQ(TextToUTF8Bytes(u"J\u00E9\U0001F600"), "J\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(TextToUTF8Bytes(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD"); // lone surrogate
    EXPECT_EQ(LowerCaseASCII(std::u16string(u"AbC\u00C9")), u"abc\u00C9");
    EXPECT_EQ(LowerCaseASCII(std::string("ÀB.HTML")), "Àb.html");
}
