#include "tvsStringFunctions.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tvsComp.h"
#include "tvsExceptions.h"
#include "tvsExprsTestTrees.h"
#include "tvsFunctions.h"

namespace {

constexpr int64_t Int64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t Int64Min = std::numeric_limits<int64_t>::min();
// A 64-bit script integer whose low 32 bits are `low`.
constexpr int64_t High32(int64_t low)
{
    return (int64_t{1} << 32) + low;
}

std::string Narrow(std::u16string_view text)
{
    std::string result;
    for (char16_t c : text) {
        if (c < 0x80)
            result += static_cast<char>(c);
        else
            result += "\\u" + std::to_string(static_cast<unsigned>(c));
    }
    return result;
}

// The text a function gives, or "<ClassName> message" of what it raised.
std::string Outcome(const std::function<UnicodeString()>& f)
{
    try {
        return Narrow(f().View());
    } catch (const Exception& e) {
        return "<" + Narrow(e.ClassName()) + "> " + Narrow(e.Message());
    }
}

std::string Outcome(const std::function<int64_t()>& f)
{
    try {
        return std::to_string(f());
    } catch (const Exception& e) {
        return "<" + Narrow(e.ClassName()) + "> " + Narrow(e.Message());
    }
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

// What a script printed, or its messages when it did not run cleanly.
std::string RunScript(std::u16string_view source)
{
    RegisterStringFunctions();
    const TtvsScriptRunOutcome outcome = CompileAndRunScript(source, 0);
    if (outcome.ExitStatus == 0)
        return Narrow(outcome.Output);
    std::string messages;
    for (const auto& m : outcome.Messages)
        messages += "{" + Narrow(m) + "}";
    return messages;
}

} // namespace

// The Format tests build the argument node by hand, as scripts cannot
// write array constants yet: a constant of a static array type, as the
// compiler makes for a list written in the call.
class tvsStringFunctions : public testing::Test {
protected:
    tvsStringFunctions()
    {
        RegisterStringFunctions();
        FSystem = CreateSystemSymbolTable();
        FUnit.reset(TInternalUnit::Instance().CreateUnitTable(*FSystem));
    }

    // Runs PrintLn(Format(fmt, args)) and answers the output or the errors.
    std::string RunFormat(const char16_t* fmt, TExpr args)
    {
        auto* symbol = dynamic_cast<TMagicFuncSymbol*>(FUnit->FindSymbol(u"Format"));
        if (symbol == nullptr)
            return "Format not registered";
        TExpr call = symbol->Function().MakeCallNode(B.Prog(), *symbol, B.Pos(1, 9));
        auto& node = dynamic_cast<TInternalFuncCallBase&>(*call);
        node.AddArg(B.Str(fmt));
        node.AddArg(std::move(args));
        const ItvsProgramExecution exec = B.Run(B.PrintLn(1, std::move(call)));
        const std::u16string errors = Errors(exec);
        return Narrow(errors.empty() ? Output(exec) : errors);
    }

    TExpr ArrayOf(TTypeSymbol* element, const TData& values)
    {
        FArrays.push_back(std::make_unique<TStaticArraySymbol>(
            u"", element, &B.T.Integer, 0, static_cast<int64_t>(values.size()) - 1));
        // A constant holds at least one slot, even for an empty list.
        TData data = values;
        data.resize(std::max<size_t>(data.size(), 1));
        return std::make_unique<TConstExpr>(FArrays.back().get(), data, 0);
    }

    TRefPtr<TSystemSymbolTable> FSystem;
    std::unique_ptr<TSymbolTable> FUnit;
    std::vector<std::unique_ptr<TStaticArraySymbol>> FArrays;
    // Last, so that the program and its nodes go before the symbols they use.
    TTreeBuilder B;
};

// ---------------------------------------------------------------------------
// Conversions

TEST_F(tvsStringFunctions, ChrMakesOneOrTwoUnitsAndRefusesOtherValues)
{
    const struct {
        int64_t code;
        std::u16string expected;
        std::string error;
    } cases[] = {
        {65, u"A", ""},
        {0, std::u16string(1, u'\0'), ""},
        {0xFFFF, u"\uFFFF", ""},
        {0x10000, u"\U00010000", ""},
        {0x1F600, u"\U0001F600", ""},
        {0x10FFFF, u"\U0010FFFF", ""},
        {-1, u"", "<EChrConvertError> Invalid codepoint: -1"},
        {0x110000, u"", "<EChrConvertError> Invalid codepoint: 1114112"},
        // Only the low 32 bits of the script integer count.
        {High32(66), u"B", ""},
        {Int64Min, std::u16string(1, u'\0'), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const std::string outcome = Outcome([&] { return Chr(c.code); });
        EXPECT_EQ(outcome, c.error.empty() ? Narrow(c.expected) : c.error);
    }
    EXPECT_EQ(Chr(0x1F600).Length(), 2u);
}

TEST_F(tvsStringFunctions, StrToIntParsesOrRaisesWithTheText)
{
    const struct {
        std::u16string text;
        std::string expected;
    } cases[] = {
        {u"42", "42"},
        {u"-17", "-17"},
        {u"  7", "7"},
        {u"$FF", "255"},
        {u"0x10", "16"},
        {u"9223372036854775807", "9223372036854775807"},
        {u"-9223372036854775808", "-9223372036854775808"},
        {u"9223372036854775808",
         "<EConvertError> '9223372036854775808' is not a valid integer value"},
        {u"", "<EConvertError> '' is not a valid integer value"},
        {u"12a", "<EConvertError> '12a' is not a valid integer value"},
        {u"1.5", "<EConvertError> '1.5' is not a valid integer value"},
        {u"7 ", "<EConvertError> '7 ' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        EXPECT_EQ(Outcome([&] { return StrToInt(c.text); }), c.expected);
    }
}

TEST_F(tvsStringFunctions, DefaultFormsReturnTheDefaultInsteadOfRaising)
{
    EXPECT_EQ(StrToIntDef(u"12", 5), 12);
    EXPECT_EQ(StrToIntDef(u"x", 5), 5);
    EXPECT_EQ(StrToIntDef(u"", -1), -1);
    EXPECT_EQ(StrToFloatDef(u"1.5", 2), 1.5);
    EXPECT_EQ(StrToFloatDef(u"1,5", 2), 2);

    const struct {
        Variant value;
        int64_t asInt;
        double asFloat;
    } cases[] = {
        {Variant(u"12"), 12, 12},   {Variant(int64_t{12}), 12, 12},  {Variant(2.5), 99, 2.5},
        {Variant(u"2.5"), 99, 2.5}, {Variant(u"abc"), 99, 99},       {Variant(true), 99, 99},
        {Variant::Null(), 99, 99},  {Variant::Unassigned(), 99, 99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(VarToStr(c.value).View()));
        EXPECT_EQ(VarToIntDef(c.value, 99), c.asInt);
        EXPECT_EQ(VarToFloatDef(c.value, 99), c.asFloat);
    }
}

TEST_F(tvsStringFunctions, HexAndBinaryDigits)
{
    const struct {
        std::function<UnicodeString()> f;
        std::string expected;
    } cases[] = {
        {[] { return IntToHex(255, 4); }, "00FF"},
        {[] { return IntToHex(255, 1); }, "FF"},
        {[] { return IntToHex(0, 0); }, "0"},
        {[] { return IntToHex(-1, 4); }, "FFFFFFFFFFFFFFFF"},
        {[] { return IntToHex(Int64Min, 0); }, "8000000000000000"},
        {[] { return IntToHex(1, -5); }, "1"},
        {[] { return IntToBin(5, 8); }, "00000101"},
        {[] { return IntToBin(0, 0); }, ""},
        {[] { return IntToBin(0, 1); }, "0"},
        {[] { return IntToBin(6, 0); }, "110"},
        {[] { return IntToBin(-1, 0); }, std::string(64, '1')},
        {[] { return IntToBin(Int64Min, 3); }, "1" + std::string(63, '0')},
        {[] { return IntToBin(1, High32(3)); }, "001"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Outcome(cases[i].f), cases[i].expected);
    }
}

TEST_F(tvsStringFunctions, HexToIntTakesHexDigitsOnly)
{
    const struct {
        std::u16string text;
        std::string expected;
    } cases[] = {
        {u"ff", "255"},
        {u"FF", "255"},
        {u"7FFFFFFFFFFFFFFF", "9223372036854775807"},
        {u"FFFFFFFFFFFFFFFF", "-1"},
        {u"10000000000000000",
         "<EConvertError> '10000000000000000' is not a valid integer value"},
        {u"0x10", "<EConvertError> '0x10' is not a valid integer value"},
        {u"$10", "<EConvertError> '$10' is not a valid integer value"},
        {u"-1", "<EConvertError> '-1' is not a valid integer value"},
        {u" 1", "<EConvertError> ' 1' is not a valid integer value"},
        {u"g", "<EConvertError> 'g' is not a valid integer value"},
        {u"", "<EConvertError> '' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        EXPECT_EQ(Outcome([&] { return HexToInt(c.text); }), c.expected);
    }
}

TEST_F(tvsStringFunctions, BoolToStrNamesTheValue)
{
    EXPECT_EQ(BoolToStr(true), u"True");
    EXPECT_EQ(BoolToStr(false), u"False");
}

TEST_F(tvsStringFunctions, FloatToStrByPrecision)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        int64_t precision;
        std::string expected;
    } cases[] = {
        // The general format.
        {0.1, 99, "0.1"},
        {1234.5678, 99, "1234.5678"},
        {1e15, 99, "1E15"},
        // Fixed decimals.
        {1234.5678, 2, "1234.57"},
        {1234.5678, 0, "1235"},
        {2.5, 0, "2"},
        {-0.001, 2, "0.00"},
        {-1.005, 1, "-1.0"},
        {1.5, 40, "1.500000000000000000"},
        {inf, 2, "INF"},
        // Rounding to tens, hundreds...
        {1250, -2, "1200"},
        {1260, -2, "1300"},
        {1234.5, -1, "1230"},
        {-1260, -2, "-1300"},
        {inf, -2, "INF"},
        // The precision is a 32-bit value too.
        {1234.5678, High32(1), "1234.6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " p=" + std::to_string(c.precision));
        EXPECT_EQ(Narrow(FloatToStr(c.value, c.precision).View()), c.expected);
    }
}

// ---------------------------------------------------------------------------
// Format

TEST_F(tvsStringFunctions, FormatDirectives)
{
    const double pi = 3.14159265358979;
    const struct {
        std::u16string fmt;
        std::vector<Variant> args;
        std::string expected;
    } cases[] = {
        {u"%d items", {3}, "3 items"},
        {u"no directives", {}, "no directives"},
        {u"100%%", {}, "100%"},
        {u"%d", {Int64Min}, "-9223372036854775808"},
        {u"%.3d|%5d|%-5d|", {-5, 42, 42}, "-005|   42|42   |"},
        {u"%u", {-1}, "18446744073709551615"},
        {u"%x %X %.4x", {255, -1, 10}, "FF FFFFFFFFFFFFFFFF 000A"},
        {u"%s and %S", {u"a", u"b"}, "a and b"},
        {u"[%5s][%-5s][%.2s]", {u"ab", u"ab", u"abcdef"}, "[   ab][ab   ][ab]"},
        {u"%s/%s", {true, false}, "True/False"},
        {u"%f", {pi}, "3.14"},
        {u"%.4f", {pi}, "3.1416"},
        {u"%.0f", {2.5}, "2"},
        {u"%8.3f|", {-pi}, "  -3.142|"},
        {u"%e", {1234.5}, "1.23450000000000E+003"},
        {u"%.3e", {-0.000123}, "-1.23E-004"},
        {u"%g|%g|%g", {0.1, 1e20, 1.5e-7}, "0.1|1E20|1.5E-7"},
        {u"%.3g", {pi}, "3.14"},
        {u"%n", {1234567.891}, "1,234,567.89"},
        {u"%.0n|%n", {-1234.0, 999.0}, "-1,234|999.00"},
        {u"%p", {Variant(nullptr)}, "0000000000000000"},
        // Argument index, and "*" for width and precision.
        {u"%1:s %0:s %s", {u"a", u"b"}, "b a b"},
        {u"%*d|%.*f", {4, 7, 1, 2.25}, "   7|2.2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.fmt));
        EXPECT_EQ(Outcome([&] { return Format(c.fmt, std::span<const Variant>(c.args)); }),
                  c.expected);
    }
}

TEST_F(tvsStringFunctions, FormatRefusesMismatchesWithTheFormatText)
{
    const struct {
        std::u16string fmt;
        std::vector<Variant> args;
    } cases[] = {
        {u"%d", {u"x"}},
        {u"%d", {1.5}},
        {u"%f", {1}},
        {u"%s", {1}},
        {u"%d %d", {1}},
        {u"%", {1}},
        {u"%5", {1}},
        {u"%q", {1}},
        {u"%2:d", {1, 2}},
        {u"%*d", {u"x", 1}},
        {u"%99999999999d", {1}},
        {u"%p", {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.fmt));
        EXPECT_EQ(Outcome([&] { return Format(c.fmt, std::span<const Variant>(c.args)); }),
                  "<EConvertError> Format '" + Narrow(c.fmt)
                      + "' invalid or incompatible with argument");
    }
}

// ---------------------------------------------------------------------------
// Extraction and search

TEST_F(tvsStringFunctions, ExtractionClampsPositionsAndCounts)
{
    const UnicodeString s = u"abcdef";
    const struct {
        std::function<UnicodeString()> f;
        std::string expected;
    } cases[] = {
        {[&] { return Copy(s, 2, 4); }, "bcde"},
        {[&] { return Copy(s, 0, 2); }, "ab"},
        {[&] { return Copy(s, -5, 2); }, "ab"},
        {[&] { return Copy(s, 5, 100); }, "ef"},
        {[&] { return Copy(s, 6, 1); }, "f"},
        {[&] { return Copy(s, 7, 1); }, ""},
        {[&] { return Copy(s, 2, 0); }, ""},
        {[&] { return Copy(s, 2, -1); }, ""},
        {[&] { return Copy(s, 2, Int64Max); }, ""}, // low 32 bits are -1
        {[&] { return Copy(s, High32(2), 2); }, "bc"},
        {[&] { return LeftStr(s, 3); }, "abc"},
        {[&] { return LeftStr(s, 10); }, "abcdef"},
        {[&] { return LeftStr(s, -1); }, ""},
        {[&] { return RightStr(u"abc", 5); }, "abc"},
        {[&] { return RightStr(s, 2); }, "ef"},
        {[&] { return RightStr(s, 0); }, ""},
        {[&] { return RightStr(s, -3); }, ""},
        {[&] { return RightStr(s, INT32_MAX); }, "abcdef"},
        {[&] { return SubStr(s, 3); }, "cdef"},
        {[&] { return SubStr(s, 0); }, "abcdef"},
        {[&] { return SubStr(s, 7); }, ""},
        {[&] { return SubString(s, 2, 4); }, "bc"},
        {[&] { return SubString(s, 0, 3); }, "ab"},
        {[&] { return SubString(s, 4, 2); }, ""},
        {[&] { return SubString(s, 3, 100); }, "cdef"},
        {[&] { return SubString(s, 2, INT32_MIN); }, ""},
        {[&] { return CharAt(u"abc", 0); }, ""},
        {[&] { return CharAt(u"abc", 1); }, "a"},
        {[&] { return CharAt(u"abc", 3); }, "c"},
        {[&] { return CharAt(u"abc", 4); }, ""},
        {[&] { return StrAfter(u"key=value", u"="); }, "value"},
        {[&] { return StrAfter(u"a=b=c", u"="); }, "b=c"},
        {[&] { return StrAfter(u"abc", u"="); }, ""},
        {[&] { return StrAfter(u"abc", u""); }, ""},
        {[&] { return StrAfter(u"key=", u"="); }, ""},
        {[&] { return StrBefore(u"key=value", u"="); }, "key"},
        {[&] { return StrBefore(u"abc", u"="); }, "abc"},
        {[&] { return StrBefore(u"abc", u""); }, "abc"},
        {[&] { return StrBefore(u"a::b", u"::"); }, "a"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Outcome(cases[i].f), cases[i].expected);
    }
}

TEST_F(tvsStringFunctions, WholeResultsShareTheArgumentsBuffer)
{
    const UnicodeString s = u"abcdef";
    EXPECT_TRUE(Copy(s, 1, 100).SameInstance(s));
    EXPECT_TRUE(RightStr(s, 10).SameInstance(s));
    EXPECT_TRUE(Trim(s).SameInstance(s));
    EXPECT_TRUE(LowerCase(s).SameInstance(s));
    EXPECT_TRUE(StrBefore(s, u"=").SameInstance(s));
}

TEST_F(tvsStringFunctions, SearchPositions)
{
    const struct {
        std::function<int64_t()> f;
        int64_t expected;
    } cases[] = {
        {[] { return Pos(u"b", u"abcb"); }, 2},
        {[] { return Pos(u"", u"abc"); }, 0},
        {[] { return Pos(u"x", u"abc"); }, 0},
        {[] { return Pos(u"abcd", u"abc"); }, 0},
        {[] { return Pos(u"a", u""); }, 0},
        {[] { return PosEx(u"b", u"abcb", 3); }, 4},
        {[] { return PosEx(u"b", u"abcb", 2); }, 2},
        {[] { return PosEx(u"b", u"abcb", 0); }, 0},
        {[] { return PosEx(u"b", u"abcb", 5); }, 0},
        {[] { return PosEx(u"b", u"abcb", High32(3)); }, 4},
        {[] { return RevPos(u"ab", u"abcab"); }, 4},
        {[] { return RevPos(u"ab", u"abcabx"); }, 4},
        {[] { return RevPos(u"", u"abc"); }, 0},
        {[] { return RevPos(u"a", u""); }, 0},
        {[] { return RevPos(u"abcd", u"abc"); }, 0},
        {[] { return RevPos(u"AB", u"abcab"); }, 0},
        {[] { return RevPos(u"abc", u"abc"); }, 1},
        {[] { return LastDelimiter(u".\\/", u"a/b.c/d"); }, 6},
        {[] { return LastDelimiter(u".", u"abc"); }, 0},
        {[] { return LastDelimiter(u"", u"abc"); }, 0},
        {[] { return FindDelimiter(u",;", u"a,b;c", 1); }, 2},
        {[] { return FindDelimiter(u",;", u"a,b;c", 3); }, 4},
        {[] { return FindDelimiter(u",;", u"a,b;c", 0); }, 2},
        {[] { return FindDelimiter(u",;", u"a,b;c", 5); }, 0},
        {[] { return FindDelimiter(u",;", u"a,b;c", 99); }, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cases[i].f(), cases[i].expected);
    }
}

TEST_F(tvsStringFunctions, PrefixSuffixAndDelimiterTests)
{
    const struct {
        bool actual;
        bool expected;
    } cases[] = {
        {StrBeginsWith(u"abc", u""), true},     {StrBeginsWith(u"abc", u"ab"), true},
        {StrBeginsWith(u"abc", u"abc"), true},  {StrBeginsWith(u"abc", u"b"), false},
        {StrBeginsWith(u"a", u"abc"), false},   {StrEndsWith(u"abc", u""), true},
        {StrEndsWith(u"abc", u"bc"), true},     {StrEndsWith(u"a", u"abc"), false},
        {StrEndsWith(u"abc", u"ab"), false},    {IsDelimiter(u",;", u"a,b", 2), true},
        {IsDelimiter(u",;", u"a,b", 1), false}, {IsDelimiter(u",;", u"a,b", 0), false},
        {IsDelimiter(u",;", u"a,b", 4), false}, {IsDelimiter(u"", u"a,b", 2), false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cases[i].actual, cases[i].expected);
    }
}

// ---------------------------------------------------------------------------
// Transformations

TEST_F(tvsStringFunctions, DeleteInsertAndSetLengthChangeTheVariable)
{
    const struct {
        std::function<void(UnicodeString&)> change;
        std::string expected;
    } cases[] = {
        {[](UnicodeString& s) { Delete(s, 2, 2); }, "adef"},
        {[](UnicodeString& s) { Delete(s, 5, 10); }, "abcd"},
        {[](UnicodeString& s) { Delete(s, 1, 6); }, ""},
        {[](UnicodeString& s) { Delete(s, 0, 2); }, "abcdef"},
        {[](UnicodeString& s) { Delete(s, 7, 1); }, "abcdef"},
        {[](UnicodeString& s) { Delete(s, 2, 0); }, "abcdef"},
        {[](UnicodeString& s) { Delete(s, 2, -1); }, "abcdef"},
        {[](UnicodeString& s) { Insert(u"XY", s, 3); }, "abXYcdef"},
        {[](UnicodeString& s) { Insert(u"XY", s, 1); }, "XYabcdef"},
        {[](UnicodeString& s) { Insert(u"XY", s, -3); }, "XYabcdef"},
        {[](UnicodeString& s) { Insert(u"XY", s, 7); }, "abcdefXY"},
        {[](UnicodeString& s) { Insert(u"XY", s, 100); }, "abcdefXY"},
        {[](UnicodeString& s) { Insert(u"", s, 3); }, "abcdef"},
        {[](UnicodeString& s) { SetLength(s, 3); }, "abc"},
        {[](UnicodeString& s) { SetLength(s, 8); }, "abcdef  "},
        {[](UnicodeString& s) { SetLength(s, 0); }, ""},
        {[](UnicodeString& s) { SetLength(s, -2); }, ""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        UnicodeString s = u"abcdef";
        const UnicodeString other = s; // a second owner must keep its text
        cases[i].change(s);
        EXPECT_EQ(Narrow(s.View()), cases[i].expected);
        EXPECT_EQ(other, u"abcdef");
    }
    UnicodeString empty;
    SetLength(empty, 5);
    EXPECT_EQ(empty, u"     ");
    Insert(u"x", empty = UnicodeString(), 1);
    EXPECT_EQ(empty, u"x");
}

TEST_F(tvsStringFunctions, CaseMapping)
{
    const UnicodeString mixed = u"Ab\u00e9\u00c9z-Z";
    EXPECT_EQ(LowerCase(mixed), u"ab\u00e9\u00c9z-z");
    EXPECT_EQ(UpperCase(mixed), u"AB\u00e9\u00c9Z-Z");
    EXPECT_EQ(AnsiLowerCase(mixed), u"ab\u00e9\u00e9z-z");
    EXPECT_EQ(AnsiUpperCase(mixed), u"AB\u00c9\u00c9Z-Z");
    // Full mapping may change the length.
    EXPECT_EQ(AnsiUpperCase(u"stra\u00dfe"), u"STRASSE");
    const UnicodeString s = u"abc";
    const UnicodeString upper = UpperCase(s);
    EXPECT_EQ(s, u"abc");
    EXPECT_EQ(upper, u"ABC");
}

TEST_F(tvsStringFunctions, TrimRemovesBlanksAndControlCharacters)
{
    const UnicodeString s = u" \t\r\n a b \x01\x20";
    EXPECT_EQ(TrimLeft(s), u"a b \x01\x20");
    EXPECT_EQ(TrimRight(s), u" \t\r\n a b");
    EXPECT_EQ(Trim(s), u"a b");
    EXPECT_EQ(Trim(u"   "), u"");
    EXPECT_EQ(TrimLeft(u""), u"");
    // 0xA0 (no-break space) is above 32 and stays.
    EXPECT_EQ(Trim(u"\u00a0x\u00a0"), u"\u00a0x\u00a0");
}

TEST_F(tvsStringFunctions, QuotedStrDoublesTheQuote)
{
    EXPECT_EQ(QuotedStr(u"a'b"), u"'a''b'");
    EXPECT_EQ(QuotedStr(u"a'b").Length(), 6u);
    EXPECT_EQ(QuotedStr(u"x", u"\""), u"\"x\"");
    EXPECT_EQ(QuotedStr(u"a\"b'", u"\"!"), u"\"a\"\"b'\"");
    EXPECT_EQ(QuotedStr(u""), u"''");
}

TEST_F(tvsStringFunctions, RepetitionAndReversal)
{
    EXPECT_EQ(StringOfChar(u"xy", 3), u"xxx");
    EXPECT_EQ(StringOfChar(u"", 2), u"  ");
    EXPECT_EQ(StringOfChar(u"x", 0), u"");
    EXPECT_EQ(StringOfChar(u"x", -1), u"");
    EXPECT_EQ(StringOfString(u"ab", 3), u"ababab");
    EXPECT_EQ(StringOfString(u"ab", 1), u"ab");
    EXPECT_EQ(StringOfString(u"", 3), u"");
    EXPECT_EQ(StringOfString(u"ab", 0), u"");
    EXPECT_EQ(StringOfString(u"ab", -2), u"");
    EXPECT_EQ(StringOfString(u"abc", 1000).Length(), 3000u);
    EXPECT_EQ(StringOfString(u"abc", 1000).View().substr(2997), u"abc");
    // A result beyond the longest string is refused, not wrapped or crashed.
    EXPECT_THROW(StringOfString(u"abcd", INT32_MAX), EOutOfMemory);
    EXPECT_EQ(ReverseString(u"abc"), u"cba");
    EXPECT_EQ(ReverseString(u""), u"");
    EXPECT_EQ(ReverseString(u"a\U0001F600"), u"\xDE00\xD83D"
                                             u"a");
}

// ---------------------------------------------------------------------------
// Comparisons

TEST_F(tvsStringFunctions, Comparisons)
{
    const struct {
        std::u16string a, b;
        int compareStr, compareText, ansiCompareText;
    } cases[] = {
        {u"abc", u"abc", 0, 0, 0},
        {u"abc", u"abd", -1, -1, -1},
        {u"abc", u"ABC", 1, 0, 0},
        {u"ab", u"abc", -1, -1, -1},
        {u"", u"a", -1, -1, -1},
        {u"", u"", 0, 0, 0},
        // Lower-casing puts "_" (0x5F) before the letters.
        {u"_", u"A", 1, -1, 1},
        // Only ASCII letters fold in CompareText.
        {u"\u00e9", u"\u00c9", 1, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.a) + " vs " + Narrow(c.b));
        EXPECT_EQ(Sign(CompareStr(c.a, c.b)), c.compareStr);
        EXPECT_EQ(Sign(CompareStr(c.b, c.a)), -c.compareStr);
        EXPECT_EQ(Sign(CompareText(c.a, c.b)), c.compareText);
        EXPECT_EQ(SameText(c.a, c.b), c.compareText == 0);
        EXPECT_EQ(Sign(AnsiCompareText(c.a, c.b)), c.ansiCompareText);
    }
    EXPECT_EQ(AnsiCompareStr(u"abc", u"abc"), 0);
    EXPECT_LT(AnsiCompareStr(u"a", u"b"), 0);
    // Collation puts accented letters next to their base letter.
    EXPECT_LT(AnsiCompareStr(u"\u00e9", u"f"), 0);
}

// ---------------------------------------------------------------------------
// Scripts calling the registered functions

TEST_F(tvsStringFunctions, ScriptsCallTheRegisteredFunctions)
{
    const struct {
        std::u16string source;
        std::string expected;
    } cases[] = {
        {u"Print(IntToStr(-42));", "-42"},
        {u"var i := 65; Print(Chr(i) + Chr(i + 1));", "AB"},
        {u"var s := 'abcdef'; Print(Copy(s, 2, 4) + '|' + MidStr(s, 5, 9));", "bcde|ef"},
        {u"Print(FloatToStr(1234.5678, 2) + ' ' + FloatToStr(0.5));", "1234.57 0.5"},
        {u"Print(QuotedStr('x', '\"') + QuotedStr('a''b'));", "\"x\"'a''b'"},
        {u"Print(FindDelimiter(',', 'a,b,c') + FindDelimiter(',', 'a,b,c', 3));", "6"},
        {u"Print(StrToIntDef('x', 7) + VarToIntDef('12', 0));", "19"},
        {u"Print(SameText('abc', 'ABC'));", "True"},
        {u"var s := 'abcdef'; Delete(s, 2, 3); Print(s);", "aef"},
        {u"var s := 'ad'; Insert('bc', s, 2); Print(s);", "abcd"},
        {u"var s := 'ab'; SetLength(s, 4); Print('[' + s + ']');", "[ab  ]"},
        {u"var s := 'ab'; var t := s; Delete(t, 1, 1); Print(s + t);", "abb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.source));
        EXPECT_EQ(RunScript(c.source), c.expected);
    }
}

TEST_F(tvsStringFunctions, ScriptErrorsCarryTheHostMessageAtTheCall)
{
    const struct {
        std::u16string source;
        std::string expected;
    } cases[] = {
        {u"var s := 'x1';\nPrint(StrToInt(s));",
         "{Runtime Error: 'x1' is not a valid integer value [line: 2, column: 7]}"},
        {u"var i := -1;\nPrint(Chr(i));",
         "{Runtime Error: Invalid codepoint: -1 [line: 2, column: 7]}"},
        // Constant arguments fold at compile time, so the error is a compile error.
        {u"Print(StrToInt('x'));",
         "{Compile Error: Evaluation of \"StrToInt\" failed: EConvertError 'x' is not a valid "
         "integer value [line: 1, column: 7]}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.source));
        EXPECT_EQ(RunScript(c.source), c.expected);
    }
}

TEST_F(tvsStringFunctions, FormatReadsTheElementsOfAnArrayConstant)
{
    EXPECT_EQ(RunFormat(u"%d items", ArrayOf(&B.T.Integer, {Variant(3)})), "3 items\r\n");
    EXPECT_EQ(RunFormat(u"%s=%.1f %s",
                        ArrayOf(&B.T.Variant, {Variant(u"x"), Variant(2.25), Variant(true)})),
              "x=2.2 True\r\n");
    EXPECT_EQ(RunFormat(u"none", ArrayOf(&B.T.Variant, {})), "none\r\n");
}

TEST_F(tvsStringFunctions, FormatRefusesAnythingButAnArray)
{
    EXPECT_EQ(RunFormat(u"%d", B.Int(3)),
              "Runtime Error: Constant expression or open array expected [line: 1, column: 9]\r\n");
    EXPECT_EQ(RunFormat(u"%d", ArrayOf(&B.T.Variant, {Variant(u"x")})),
              "Runtime Error: Format '%d' invalid or incompatible with argument [line: 1, column: "
              "9]\r\n");
}
