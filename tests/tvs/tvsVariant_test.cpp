#include "tvsVariant.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tvsExceptions.h"

namespace {

constexpr int64_t Int64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t Int64Min = std::numeric_limits<int64_t>::min();
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

std::string Narrow(std::u16string_view text)
{
    std::string result;
    for (char16_t c : text)
        result += c < 0x80 ? static_cast<char>(c) : '?';
    return result;
}

bool SameFloat(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

// A value as "Kind:text", so that a table row states kind and value at once.
std::string Describe(const Variant& v)
{
    switch (v.Type()) {
    case varEmpty:
        return "Empty";
    case varNull:
        return "Null";
    case varInt64:
        return "Int64:" + std::to_string(v.VInt64());
    case varDouble:
        return "Double:" + Narrow(FloatToStr(v.VDouble()));
    case varBoolean:
        return v.VBoolean() ? "Boolean:True" : "Boolean:False";
    case varUString:
        return "String:" + Narrow(v.VString());
    case varUnknown:
        return v.VUnknown() ? "Unknown" : "Unknown:nil";
    default:
        return "?";
    }
}

// Runs `f` and describes its result, or the class of the error it raised.
std::string Outcome(const std::function<Variant()>& f)
{
    try {
        return Describe(f());
    } catch (const Exception& e) {
        return "error:" + Narrow(e.ClassName());
    }
}

// A script object stand-in that reports its destruction.
class TProbeObject final : public TRefCountedObject {
public:
    explicit TProbeObject(bool* destroyed) : FDestroyed(destroyed) {}
    ~TProbeObject() override { *FDestroyed = true; }

private:
    bool* FDestroyed;
};

const std::string CastError = "error:EVariantTypeCastError";

} // namespace

TEST(tvsVariant, KindCodes)
{
    bool destroyed = false;
    auto object = MakeRef<TProbeObject>(&destroyed);
    const struct {
        Variant value;
        TVarType expected;
    } cases[] = {
        {Variant(), 0},       {Variant::Null(), 1}, {Variant(1), 20},      {Variant(1.5), 5},
        {Variant(u"a"), 258}, {Variant(true), 11},  {Variant(object), 13}, {Variant(nullptr), 13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Describe(c.value));
        EXPECT_EQ(VarType(c.value), c.expected);
    }
    EXPECT_EQ(sizeof(Variant), 16u);
}

TEST(tvsVariant, Conversions)
{
    bool destroyed = false;
    auto object = MakeRef<TProbeObject>(&destroyed);
    // Expected results; an empty optional means the cast error.
    const struct {
        Variant value;
        std::optional<int64_t> asInteger;
        std::optional<double> asFloat;
        std::optional<bool> asBoolean;
        std::optional<std::u16string> asString;
    } cases[] = {
        {Variant(), 0, 0.0, false, u""},
        {Variant::Null(), {}, {}, {}, {}},
        {Variant(42), 42, 42.0, true, u"42"},
        {Variant(0), 0, 0.0, false, u"0"},
        {Variant(Int64Min), Int64Min, -9223372036854775808.0, true, u"-9223372036854775808"},
        // Floats round half to even and must fit the 64-bit range.
        {Variant(2.5), 2, 2.5, true, u"2.5"},
        {Variant(3.5), 4, 3.5, true, u"3.5"},
        {Variant(-2.5), -2, -2.5, true, u"-2.5"},
        {Variant(0.0), 0, 0.0, false, u"0"},
        {Variant(9223372036854775808.0), {}, 9223372036854775808.0, true, u"9.22337203685478E18"},
        {Variant(-9223372036854775808.0), Int64Min, -9223372036854775808.0, true,
         u"-9.22337203685478E18"},
        {Variant(NaN), {}, NaN, true, u"NAN"},
        {Variant(true), -1, -1.0, true, u"True"},
        {Variant(false), 0, 0.0, false, u"False"},
        // Strings: the integer grammar, then the float grammar.
        {Variant(u"12"), 12, 12.0, true, u"12"},
        {Variant(u"  12"), 12, 12.0, true, u"  12"},
        {Variant(u"12 "), {}, {}, {}, u"12 "},
        {Variant(u"$FF"), 255, 255.0, true, u"$FF"},
        {Variant(u"0x10"), 16, 16.0, true, u"0x10"},
        {Variant(u"2.5"), 2, 2.5, true, u"2.5"},
        {Variant(u"1e3"), 1000, 1000.0, true, u"1e3"},
        {Variant(u"1e30"), {}, 1e30, true, u"1e30"},
        {Variant(u"0"), 0, 0.0, false, u"0"},
        {Variant(u"0.0"), 0, 0.0, false, u"0.0"},
        {Variant(u"abc"), {}, {}, {}, u"abc"},
        {Variant(u""), {}, {}, {}, u""},
        {Variant(u"TRUE"), {}, {}, true, u"TRUE"},
        {Variant(u"false"), {}, {}, false, u"false"},
        {Variant(u"1,5"), {}, {}, {}, u"1,5"},
        // Objects convert to nothing scalar.
        {Variant(object), {}, {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Describe(c.value));
        if (c.asInteger)
            EXPECT_EQ(c.value.ToInteger(), *c.asInteger);
        else
            EXPECT_THROW(c.value.ToInteger(), EVariantTypeCastError);
        if (c.asFloat)
            EXPECT_TRUE(SameFloat(c.value.ToFloat(), *c.asFloat)) << c.value.ToFloat();
        else
            EXPECT_THROW(c.value.ToFloat(), EVariantTypeCastError);
        if (c.asBoolean)
            EXPECT_EQ(c.value.ToBoolean(), *c.asBoolean);
        else
            EXPECT_THROW(c.value.ToBoolean(), EVariantTypeCastError);
        if (c.asString)
            EXPECT_EQ(c.value.ToString().ToU16String(), *c.asString);
        else
            EXPECT_THROW(c.value.ToString(), EVariantTypeCastError);
    }
}

TEST(tvsVariant, CastErrorNamesBothKinds)
{
    try {
        Variant(u"abc").ToInteger();
        FAIL() << "no error";
    } catch (const EVariantTypeCastError& e) {
        EXPECT_EQ(e.Message(), u"Could not convert variant of type (String) into type (Int64)");
        EXPECT_EQ(std::u16string(e.ClassName()), u"EVariantTypeCastError");
    }
}

TEST(tvsVariant, ObjectConversion)
{
    bool destroyed = false;
    auto object = MakeRef<TProbeObject>(&destroyed);
    EXPECT_EQ(Variant(object).ToObject(), object.Get());
    EXPECT_EQ(Variant().ToObject(), nullptr);
    EXPECT_EQ(Variant(nullptr).ToObject(), nullptr);
    EXPECT_THROW(Variant(1).ToObject(), EVariantTypeCastError);
    EXPECT_THROW(Variant::Null().ToObject(), EVariantTypeCastError);
}

TEST(tvsVariant, VariantFunctions)
{
    EXPECT_EQ(VarToStr(Variant::Null()).ToU16String(), u"");
    EXPECT_EQ(VarToStr(Variant(12)).ToU16String(), u"12");
    EXPECT_EQ(Describe(VarAdd(VarAsType(Variant(u"12"), varInt64), Variant(1))), "Int64:13");

    const struct {
        Variant value;
        TVarType type;
        std::string expected;
    } cases[] = {
        {Variant(u"12"), varInt64, "Int64:12"},     {Variant(u"12"), varInteger, "Int64:12"},
        {Variant(u"1.5"), varDouble, "Double:1.5"}, {Variant(3), varString, "String:3"},
        {Variant(3), varBoolean, "Boolean:True"},   {Variant(u"x"), varEmpty, "Empty"},
        {Variant(u"x"), varNull, "Null"},           {Variant(u"x"), varInt64, CastError},
        {Variant::Null(), varInt64, CastError},     {Variant(1), varError, CastError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Describe(c.value) + " as " + std::to_string(c.type));
        EXPECT_EQ(Outcome([&] { return VarAsType(c.value, c.type); }), c.expected);
    }
}

TEST(tvsVariant, Operators)
{
    using TBinary = Variant (*)(const Variant&, const Variant&);
    const struct {
        const char* name;
        TBinary op;
        Variant a;
        Variant b;
        std::string expected;
    } cases[] = {
        {"add", VarAdd, Variant(2), Variant(3), "Int64:5"},
        {"add", VarAdd, Variant(Int64Max), Variant(1), "Int64:" + std::to_string(Int64Min)},
        {"add", VarAdd, Variant(2), Variant(1.5), "Double:3.5"},
        {"add", VarAdd, Variant(u"a"), Variant(u"b"), "String:ab"},
        {"add", VarAdd, Variant(u"1"), Variant(2), "Int64:3"},
        {"add", VarAdd, Variant(2), Variant(u"1"), "Int64:3"},
        {"add", VarAdd, Variant(u"1.5"), Variant(2), "Double:3.5"},
        {"add", VarAdd, Variant(u"x"), Variant(2), CastError},
        {"add", VarAdd, Variant(true), Variant(1), "Int64:0"},
        {"add", VarAdd, Variant(true), Variant(true), "Int64:-2"},
        {"add", VarAdd, Variant::Null(), Variant(1), "Null"},
        {"add", VarAdd, Variant(u"a"), Variant::Null(), "Null"},
        {"add", VarAdd, Variant(), Variant(5), "Int64:5"},
        {"add", VarAdd, Variant(), Variant(u"a"), "String:a"},
        {"add", VarAdd, Variant(u"a"), Variant(), "String:a"},
        {"add", VarAdd, Variant(), Variant(), "Int64:0"},
        {"add", VarAdd, Variant(1e308), Variant(1e308), "error:EOverflow"},
        {"sub", VarSub, Variant(u"5"), Variant(u"2"), "Int64:3"},
        {"sub", VarSub, Variant(Int64Min), Variant(1), "Int64:" + std::to_string(Int64Max)},
        {"sub", VarSub, Variant(1), Variant(0.5), "Double:0.5"},
        {"sub", VarSub, Variant(u"a"), Variant(u"b"), CastError},
        {"mul", VarMul, Variant(Int64Min), Variant(-1), "Int64:" + std::to_string(Int64Min)},
        {"mul", VarMul, Variant(3), Variant(false), "Int64:0"},
        {"mul", VarMul, Variant(1e308), Variant(10), "error:EOverflow"},
        {"mul", VarMul, Variant(Inf), Variant(2), "Double:INF"},
        {"divide", VarDivide, Variant(3), Variant(2), "Double:1.5"},
        {"divide", VarDivide, Variant(1), Variant(0), "error:EZeroDivide"},
        {"divide", VarDivide, Variant(0), Variant(0.0), "error:EInvalidOp"},
        {"divide", VarDivide, Variant::Null(), Variant(0), "Null"},
        {"div", VarIntDiv, Variant(7), Variant(-2), "Int64:-3"},
        {"div", VarIntDiv, Variant(1), Variant(0), "error:EDivByZero"},
        {"div", VarIntDiv, Variant(Int64Min), Variant(-1), "Int64:" + std::to_string(Int64Min)},
        {"div", VarIntDiv, Variant(u"9"), Variant(2.5), "Int64:4"},
        {"mod", VarMod, Variant(-7), Variant(2), "Int64:-1"},
        {"mod", VarMod, Variant(Int64Min), Variant(-1), "Int64:0"},
        {"mod", VarMod, Variant(1), Variant(), "error:EDivByZero"},
        {"and", VarAnd, Variant(true), Variant(false), "Boolean:False"},
        {"and", VarAnd, Variant(6), Variant(3), "Int64:2"},
        {"and", VarAnd, Variant(true), Variant(1), "Int64:1"},
        {"and", VarAnd, Variant(u"true"), Variant(true), "Boolean:True"},
        {"and", VarAnd, Variant::Null(), Variant(true), "Null"},
        {"or", VarOr, Variant(false), Variant(true), "Boolean:True"},
        {"or", VarOr, Variant(4), Variant(1), "Int64:5"},
        {"xor", VarXor, Variant(true), Variant(true), "Boolean:False"},
        {"xor", VarXor, Variant(6), Variant(3), "Int64:5"},
        {"concat", VarConcat, Variant(1), Variant(2.5), "String:12.5"},
        {"concat", VarConcat, Variant(true), Variant(), "String:True"},
        {"concat", VarConcat, Variant::Null(), Variant(u"a"), "Null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + Describe(c.a) + ", " + Describe(c.b));
        EXPECT_EQ(Outcome([&] { return c.op(c.a, c.b); }), c.expected);
    }
}

TEST(tvsVariant, UnaryOperators)
{
    using TUnary = Variant (*)(const Variant&);
    const struct {
        const char* name;
        TUnary op;
        Variant v;
        std::string expected;
    } cases[] = {
        {"neg", VarNeg, Variant(Int64Min), "Int64:" + std::to_string(Int64Min)},
        {"neg", VarNeg, Variant(2.5), "Double:-2.5"},
        {"neg", VarNeg, Variant(u"3"), "Int64:-3"},
        {"neg", VarNeg, Variant(true), "Int64:1"},
        {"neg", VarNeg, Variant::Null(), "Null"},
        {"neg", VarNeg, Variant(u"x"), CastError},
        {"not", VarNot, Variant(true), "Boolean:False"},
        {"not", VarNot, Variant(u"False"), "Boolean:True"},
        {"not", VarNot, Variant(0), "Int64:-1"},
        {"not", VarNot, Variant::Null(), "Null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + Describe(c.v));
        EXPECT_EQ(Outcome([&] { return c.op(c.v); }), c.expected);
    }
}

TEST(tvsVariant, Comparisons)
{
    using enum TVariantRelationship;
    bool destroyed = false;
    auto first = MakeRef<TProbeObject>(&destroyed);
    auto second = MakeRef<TProbeObject>(&destroyed);
    const struct {
        Variant a;
        Variant b;
        TVariantRelationship expected;
    } cases[] = {
        // Null equals only Null and is less than everything else.
        {Variant::Null(), Variant::Null(), vrEqual},
        {Variant::Null(), Variant(1), vrLessThan},
        {Variant(1), Variant::Null(), vrGreaterThan},
        {Variant::Null(), Variant(), vrLessThan},
        {Variant(), Variant::Null(), vrGreaterThan},
        {Variant::Null(), Variant(u""), vrLessThan},
        // Strings compare by code unit.
        {Variant(u"abc"), Variant(u"abd"), vrLessThan},
        {Variant(u"B"), Variant(u"a"), vrLessThan},
        {Variant(u"a"), Variant(u"a"), vrEqual},
        {Variant(u"a"), Variant(u"ab"), vrLessThan},
        // A String against a number compares numerically when it reads as one.
        {Variant(u"10"), Variant(9), vrGreaterThan},
        {Variant(9), Variant(u"10"), vrLessThan},
        {Variant(u"1.5"), Variant(1.5), vrEqual},
        {Variant(u"abc"), Variant(1), vrGreaterThan},
        {Variant(1), Variant(u"abc"), vrLessThan},
        // Numbers.
        {Variant(1), Variant(1.0), vrEqual},
        {Variant(Int64Max), Variant(9223372036854775808.0), vrLessThan},
        {Variant(Int64Max - 1), Variant(Int64Max), vrLessThan},
        {Variant(NaN), Variant(1), vrNotEqual},
        {Variant(NaN), Variant(NaN), vrNotEqual},
        {Variant(true), Variant(false), vrGreaterThan},
        {Variant(true), Variant(-1), vrEqual},
        {Variant(u"TRUE"), Variant(true), vrEqual},
        // Unassigned acts as 0 or ''.
        {Variant(), Variant(0), vrEqual},
        {Variant(), Variant(u""), vrEqual},
        {Variant(), Variant(), vrEqual},
        {Variant(), Variant(u"a"), vrLessThan},
        // References: identity only.
        {Variant(first), Variant(first), vrEqual},
        {Variant(first), Variant(second), vrNotEqual},
        {Variant(first), Variant(nullptr), vrNotEqual},
        {Variant(nullptr), Variant(), vrEqual},
        {Variant(first), Variant(1), vrNotEqual},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Describe(c.a) + " vs " + Describe(c.b));
        EXPECT_EQ(VarCompareValue(c.a, c.b), c.expected);
    }
}

TEST(tvsVariant, FloatToStrGeneralFormat)
{
    const struct {
        double value;
        std::u16string expected;
    } cases[] = {
        {1e15, u"1E15"},
        {1e-6, u"1E-6"},
        {123456789012345678.0, u"1.23456789012346E17"},
        {0.1, u"0.1"},
        {-0.0, u"0"},
        {0.0, u"0"},
        {100, u"100"},
        {1.5, u"1.5"},
        {-1.5, u"-1.5"},
        {123456789012345.0, u"123456789012345"},
        {999999999999999.9, u"1E15"}, // rounding to 15 digits carries into the exponent
        {0.0001, u"0.0001"},
        {0.00001, u"1E-5"},
        {1.0 / 3, u"0.333333333333333"},
        {2.0 / 3, u"0.666666666666667"},
        {0.1 + 0.2, u"0.3"},
        {12345.678, u"12345.678"},
        {1e100, u"1E100"},
        {-1.5e-10, u"-1.5E-10"},
        {5e-324, u"4.94065645841247E-324"},
        {std::numeric_limits<double>::max(), u"1.79769313486232E308"},
        {Inf, u"INF"},
        {-Inf, u"-INF"},
        {NaN, u"NAN"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.value));
        EXPECT_EQ(FloatToStr(c.value).ToU16String(), c.expected);
    }
}

TEST(tvsVariant, IntToStr)
{
    EXPECT_EQ(IntToStr(0).ToU16String(), u"0");
    EXPECT_EQ(IntToStr(-12).ToU16String(), u"-12");
    EXPECT_EQ(IntToStr(Int64Min).ToU16String(), u"-9223372036854775808");
    EXPECT_EQ(IntToStr(Int64Max).ToU16String(), u"9223372036854775807");
}

TEST(tvsVariant, IntegerParsing)
{
    const struct {
        std::u16string text;
        std::optional<int64_t> expected;
    } cases[] = {
        {u"0", 0},
        {u"-0", 0},
        {u"+5", 5},
        {u"   7", 7},
        {u"00012", 12},
        {u"\t7", {}},
        {u"7 ", {}},
        {u"12a", {}},
        {u"1.5", {}},
        {u"", {}},
        {u" ", {}},
        {u"-", {}},
        {u"$", {}},
        {u"0x", {}},
        {u"$ff", 255},
        {u"0XFF", 255},
        {u"0x1g", {}},
        {u"-$10", -16},
        {u"9223372036854775807", Int64Max},
        {u"9223372036854775808", {}},
        {u"-9223372036854775808", Int64Min},
        {u"-9223372036854775809", {}},
        {u"99999999999999999999999", {}},
        {u"$7FFFFFFFFFFFFFFF", Int64Max},
        {u"$8000000000000000", Int64Min},
        {u"$FFFFFFFFFFFFFFFF", -1},
        {u"$10000000000000000", {}},
        {u"\uFF11\uFF12", {}}, // full-width digits are not digits here
        {std::u16string(u"1\0", 2), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        int64_t value = 123;
        const bool ok = TryStrToInt64(c.text, value);
        EXPECT_EQ(ok, c.expected.has_value());
        if (c.expected && ok) {
            EXPECT_EQ(value, *c.expected);
        }
    }
}

TEST(tvsVariant, FloatParsing)
{
    const struct {
        std::u16string text;
        std::optional<double> expected;
    } cases[] = {
        {u"1.5", 1.5},
        {u"  1.5", 1.5},
        {u"-1.5", -1.5},
        {u"+.5", 0.5},
        {u"5.", 5.0},
        {u"0.1", 0.1},
        {u"1e3", 1000.0},
        {u"1E-3", 0.001},
        {u"1.5e+2", 150.0},
        {u"1.7976931348623157e308", std::numeric_limits<double>::max()},
        {u"1e-400", 0.0},
        {u"4.9e-324", 5e-324}, // the smallest subnormal still reads
        {u"0.1e-323", 0.0},
        {u"0e999999", 0.0},
        {u"0.000e99999999999999999999", 0.0},
        {u".", {}},
        {u"", {}},
        {u"-", {}},
        {u"1e", {}},
        {u"1e+", {}},
        {u"e3", {}},
        {u"1.5x", {}},
        {u"1.5 ", {}},
        {u"1,5", {}},
        {u"$10", {}},
        {u"1e400", {}},
        {u"1..5", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        double value = 123;
        const bool ok = TryStrToFloat(c.text, value);
        EXPECT_EQ(ok, c.expected.has_value());
        if (c.expected && ok) {
            EXPECT_EQ(value, *c.expected);
        }
    }
    double value = 0;
    ASSERT_TRUE(TryStrToFloat(u"-1e-400", value));
    EXPECT_TRUE(value == 0.0 && std::signbit(value));
    ASSERT_TRUE(TryStrToFloat(u"-inf", value));
    EXPECT_EQ(value, -Inf);
    ASSERT_TRUE(TryStrToFloat(u"NaN", value));
    EXPECT_TRUE(std::isnan(value));
}

TEST(tvsVariant, ConversionErrorMessages)
{
    try {
        StrToInt64(u"abc");
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), u"'abc' is not a valid integer value");
    }
    try {
        StrToFloat(u"1,5");
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), u"'1,5' is not a valid floating point value");
    }
    EXPECT_EQ(StrToInt64(u"$10"), 16);
    EXPECT_EQ(StrToFloat(u"2.5"), 2.5);
}

TEST(tvsVariant, IntegerHelpersGuardCpuTraps)
{
    EXPECT_EQ(IntDiv(Int64Min, -1), Int64Min);
    EXPECT_EQ(IntMod(Int64Min, -1), 0);
    EXPECT_EQ(IntDiv(-7, 2), -3);
    EXPECT_EQ(IntMod(-7, 2), -1);
    EXPECT_THROW(IntDiv(1, 0), EDivByZero);
    EXPECT_THROW(IntMod(1, 0), EDivByZero);
    EXPECT_EQ(IntShl(1, 64), 1);
    EXPECT_EQ(IntShl(1, 65), 2);
    EXPECT_EQ(IntShr(-8, 1), static_cast<int64_t>(0x7FFFFFFFFFFFFFFCull));
    EXPECT_EQ(IntAdd(Int64Max, 1), Int64Min);
    EXPECT_EQ(IntNeg(Int64Min), Int64Min);
    int64_t result = 0;
    EXPECT_FALSE(TryFloatToInt64(NaN, result));
    EXPECT_FALSE(TryFloatToInt64(Inf, result));
    EXPECT_TRUE(TryFloatToInt64(0.5, result));
    EXPECT_EQ(result, 0);
}

TEST(tvsVariant, DivisionByZeroMessage)
{
    try {
        IntDiv(1, 0);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"Division by zero");
        EXPECT_EQ(std::u16string(e.ClassName()), u"EDivByZero");
    }
}

TEST(tvsVariant, StringSharingAndCopyOnWrite)
{
    UnicodeString empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.RefCount(), 0); // nothing allocated
    EXPECT_EQ(empty.Text()[0], u'\0');
    EXPECT_TRUE(UnicodeString(u"").IsEmpty());

    UnicodeString a(u"hello");
    UnicodeString b = a;
    EXPECT_TRUE(a.SameInstance(b));
    EXPECT_EQ(a.RefCount(), 2);
    b.Data()[0] = u'j';
    EXPECT_EQ(a.ToU16String(), u"hello");
    EXPECT_EQ(b.ToU16String(), u"jello");
    EXPECT_FALSE(a.SameInstance(b));

    UnicodeString c = a;
    c += u" world";
    EXPECT_EQ(a.ToU16String(), u"hello");
    EXPECT_EQ(c.ToU16String(), u"hello world");
    c += c; // appending a string to itself
    EXPECT_EQ(c.ToU16String(), u"hello worldhello world");

    const std::u16string withZero(u"a\0b", 3);
    UnicodeString z(withZero);
    EXPECT_EQ(z.Length(), 3u);
    EXPECT_EQ(z.ToU16String(), withZero);

    UnicodeString s(u"abc");
    s.SetLength(5);
    EXPECT_EQ(s.ToU16String(), std::u16string(u"abc\0\0", 5));
    s.SetLength(1);
    EXPECT_EQ(s.ToU16String(), u"a");
}

TEST(tvsVariant, SlotsShareStringsAndReleaseObjects)
{
    UnicodeString text(u"shared");
    {
        Variant v(text);
        Variant w = v;
        EXPECT_TRUE(w.VString().SameInstance(text));
        EXPECT_EQ(text.RefCount(), 3);
        w.SetInteger(1);
        EXPECT_EQ(text.RefCount(), 2);
        Variant moved = std::move(v);
        EXPECT_TRUE(v.IsEmpty());
        EXPECT_EQ(text.RefCount(), 2);
    }
    EXPECT_EQ(text.RefCount(), 1);

    bool destroyed = false;
    {
        TData data(3);
        data[0] = Variant(new TProbeObject(&destroyed));
        data[1] = data[0];
        data[0].Clear();
        EXPECT_FALSE(destroyed);
        data[2] = Variant(u"x");
        std::swap(data[1], data[2]);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}
