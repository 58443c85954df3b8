#include "tvsVariant.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "tvsExceptions.h"

namespace {

constexpr char16_t CastErrorMessage[] = u"Could not convert variant of type (%s) into type (%s)";
constexpr char16_t StringTooLongMessage[] = u"String too long";
constexpr char16_t TrueText[] = u"True";
constexpr char16_t FalseText[] = u"False";

// Fills each "%s" of `pattern` with the next argument.
std::u16string FillPattern(std::u16string_view pattern,
                           std::initializer_list<std::u16string_view> args)
{
    std::u16string result;
    auto arg = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] == u's'
            && arg != args.end()) {
            result += *arg++;
            ++i;
        } else
            result += pattern[i];
    }
    return result;
}

[[noreturn]] void RaiseCastError(TVarType from, TVarType to)
{
    throw EVariantTypeCastError(
        FillPattern(CastErrorMessage, {VarTypeName(from), VarTypeName(to)}));
}

std::u16string AsciiToU16(std::string_view text)
{
    return std::u16string(text.begin(), text.end());
}

bool IsAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

int HexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

char16_t AsciiUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

bool AsciiSameText(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    return true;
}

// 'true' or 'false' in any letter case.
bool TryBooleanText(std::u16string_view text, bool& value)
{
    if (AsciiSameText(text, u"true")) {
        value = true;
        return true;
    }
    if (AsciiSameText(text, u"false")) {
        value = false;
        return true;
    }
    return false;
}

// A number operand of variant arithmetic: Integer unless something made it Float.
struct TNumber {
    bool IsFloat = false;
    std::int64_t Int = 0;
    double Float = 0;
    double AsFloat() const { return IsFloat ? Float : static_cast<double>(Int); }
};

// Text read as a number: the integer grammar keeps it an Integer, the
// float grammar makes it a Float.
bool TryTextToNumber(std::u16string_view text, TNumber& number)
{
    if (TryStrToInt64(text, number.Int)) {
        number.IsFloat = false;
        return true;
    }
    if (TryStrToFloat(text, number.Float)) {
        number.IsFloat = true;
        return true;
    }
    return false;
}

// Unassigned is 0, Booleans are -1/0, Strings are read; Null is handled
// by the callers before this.
TNumber ToNumber(const Variant& v)
{
    TNumber number;
    switch (v.Type()) {
    case varEmpty:
        return number;
    case varInt64:
        number.Int = v.VInt64();
        return number;
    case varDouble:
        number.IsFloat = true;
        number.Float = v.VDouble();
        return number;
    case varBoolean:
        number.Int = v.VBoolean() ? -1 : 0;
        return number;
    case varUString:
        if (TryTextToNumber(v.VString(), number))
            return number;
        RaiseCastError(v.Type(), varDouble);
    default:
        RaiseCastError(v.Type(), varDouble);
    }
}

bool IsStringLike(const Variant& v)
{
    return v.IsString() || v.IsEmpty();
}

template <class IntOp, class FloatOp>
Variant Arithmetic(const Variant& a, const Variant& b, IntOp intOp, FloatOp floatOp)
{
    if (a.IsNull() || b.IsNull())
        return Variant::Null();
    const TNumber x = ToNumber(a);
    const TNumber y = ToNumber(b);
    if (!x.IsFloat && !y.IsFloat)
        return Variant(intOp(x.Int, y.Int));
    return Variant(floatOp(x.AsFloat(), y.AsFloat()));
}

// Booleans (and text reading 'true'/'false', and Unassigned as False) take
// part in a logical operation when at least one operand is a real Boolean.
bool TryLogicalOperand(const Variant& v, bool& value)
{
    switch (v.Type()) {
    case varBoolean:
        value = v.VBoolean();
        return true;
    case varEmpty:
        value = false;
        return true;
    case varUString:
        return TryBooleanText(v.VString(), value);
    default:
        return false;
    }
}

template <class BoolOp, class IntOp>
Variant Logical(const Variant& a, const Variant& b, BoolOp boolOp, IntOp intOp)
{
    if (a.IsNull() || b.IsNull())
        return Variant::Null();
    bool x;
    bool y;
    if ((a.IsBoolean() || b.IsBoolean()) && TryLogicalOperand(a, x) && TryLogicalOperand(b, y))
        return Variant(boolOp(x, y));
    return Variant(intOp(a.ToInteger(), b.ToInteger()));
}

TVariantRelationship CompareOrdered(auto a, auto b)
{
    if (a < b)
        return TVariantRelationship::vrLessThan;
    if (a > b)
        return TVariantRelationship::vrGreaterThan;
    if (a == b)
        return TVariantRelationship::vrEqual;
    return TVariantRelationship::vrNotEqual; // NaN
}

TVariantRelationship CompareNumbers(const TNumber& x, const TNumber& y)
{
    if (!x.IsFloat && !y.IsFloat)
        return CompareOrdered(x.Int, y.Int);
    // long double holds every 64-bit integer exactly on this platform, so
    // a large Integer compares exactly against a Float.
    const long double lx =
        x.IsFloat ? static_cast<long double>(x.Float) : static_cast<long double>(x.Int);
    const long double ly =
        y.IsFloat ? static_cast<long double>(y.Float) : static_cast<long double>(y.Int);
    return CompareOrdered(lx, ly);
}

TVariantRelationship CompareText(std::u16string_view a, std::u16string_view b)
{
    const int c = a.compare(b);
    return CompareOrdered(c, 0);
}

} // namespace

// ---------------------------------------------------------------------------
// UnicodeString
// ---------------------------------------------------------------------------

UnicodeString::TRec* UnicodeString::AllocRec(size_t length)
{
    if (length >= static_cast<size_t>(INT32_MAX) / sizeof(char16_t))
        throw EOutOfMemory(StringTooLongMessage);
    void* memory = std::malloc(offsetof(TRec, Chars) + (length + 1) * sizeof(char16_t));
    if (!memory)
        throw std::bad_alloc();
    auto* rec = static_cast<TRec*>(memory);
    new (&rec->RefCount) std::atomic<int32_t>(1);
    rec->Length = static_cast<int32_t>(length);
    rec->Chars[length] = 0;
    return rec;
}

void UnicodeString::ReleaseRec(TRec* rec) noexcept
{
    if (rec && rec->RefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        std::free(rec);
}

UnicodeString::UnicodeString(std::u16string_view text)
{
    if (text.empty())
        return;
    FRec = AllocRec(text.size());
    std::memcpy(FRec->Chars, text.data(), text.size() * sizeof(char16_t));
}

UnicodeString UnicodeString::OfLength(size_t length)
{
    UnicodeString result;
    if (length == 0)
        return result;
    result.FRec = AllocRec(length);
    std::memset(result.FRec->Chars, 0, length * sizeof(char16_t));
    return result;
}

char16_t* UnicodeString::Data()
{
    if (!FRec)
        return const_cast<char16_t*>(EmptyText);
    if (FRec->RefCount.load(std::memory_order_acquire) != 1)
        UnicodeString(View()).Swap(*this);
    return FRec->Chars;
}

void UnicodeString::SetLength(size_t length)
{
    if (length == Length())
        return;
    if (length == 0) {
        Clear();
        return;
    }
    UnicodeString result = OfLength(length);
    std::memcpy(result.FRec->Chars, Text(), std::min(length, Length()) * sizeof(char16_t));
    Swap(result);
}

UnicodeString& UnicodeString::Append(std::u16string_view text)
{
    if (text.empty())
        return *this;
    if (!FRec) {
        UnicodeString(text).Swap(*this);
        return *this;
    }
    const size_t oldLength = Length();
    const size_t newLength = oldLength + text.size();
    const bool aliases = text.data() >= FRec->Chars && text.data() <= FRec->Chars + oldLength;
    if (FRec->RefCount.load(std::memory_order_acquire) == 1 && !aliases) {
        // The only owner grows in place: repeated appends stay cheap.
        if (newLength >= static_cast<size_t>(INT32_MAX) / sizeof(char16_t))
            throw EOutOfMemory(StringTooLongMessage);
        void* memory =
            std::realloc(FRec, offsetof(TRec, Chars) + (newLength + 1) * sizeof(char16_t));
        if (!memory)
            throw std::bad_alloc();
        FRec = static_cast<TRec*>(memory);
        std::memcpy(FRec->Chars + oldLength, text.data(), text.size() * sizeof(char16_t));
        FRec->Length = static_cast<int32_t>(newLength);
        FRec->Chars[newLength] = 0;
        return *this;
    }
    Concat(View(), text).Swap(*this);
    return *this;
}

UnicodeString Concat(std::u16string_view a, std::u16string_view b)
{
    if (a.empty())
        return UnicodeString(b);
    if (b.empty())
        return UnicodeString(a);
    UnicodeString result = UnicodeString::OfLength(a.size() + b.size());
    char16_t* data = result.Data();
    std::memcpy(data, a.data(), a.size() * sizeof(char16_t));
    std::memcpy(data + a.size(), b.data(), b.size() * sizeof(char16_t));
    return result;
}

UnicodeString operator+(std::u16string_view a, const UnicodeString& b)
{
    return a.empty() ? b : Concat(a, b.View());
}

UnicodeString operator+(const UnicodeString& a, std::u16string_view b)
{
    return b.empty() ? a : Concat(a.View(), b);
}

UnicodeString operator+(const UnicodeString& a, const UnicodeString& b)
{
    if (a.IsEmpty())
        return b;
    if (b.IsEmpty())
        return a;
    return Concat(a.View(), b.View());
}

// ---------------------------------------------------------------------------
// Kind names
// ---------------------------------------------------------------------------

std::u16string VarTypeName(TVarType type)
{
    std::u16string prefix;
    if (type & varArray)
        prefix += u"Array ";
    if (type & varByRef)
        prefix += u"ByRef ";
    switch (type & varTypeMask) {
    // clang-format off
    case varEmpty:    return prefix + u"Empty";
    case varNull:     return prefix + u"Null";
    case varSmallint: return prefix + u"Smallint";
    case varInteger:  return prefix + u"Integer";
    case varSingle:   return prefix + u"Single";
    case varDouble:   return prefix + u"Double";
    case varCurrency: return prefix + u"Currency";
    case varDate:     return prefix + u"Date";
    case varOleStr:   return prefix + u"OleStr";
    case varDispatch: return prefix + u"Dispatch";
    case varError:    return prefix + u"Error";
    case varBoolean:  return prefix + u"Boolean";
    case varVariant:  return prefix + u"Variant";
    case varUnknown:  return prefix + u"Unknown";
    case varShortInt: return prefix + u"ShortInt";
    case varByte:     return prefix + u"Byte";
    case varWord:     return prefix + u"Word";
    case varLongWord: return prefix + u"LongWord";
    case varInt64:    return prefix + u"Int64";
    case varStrArg:   return prefix + u"StrArg";
    case varAny:      return prefix + u"Any";
    case varUString:  return prefix + u"String";
    // clang-format on
    default:
        return prefix + u"$" + AsciiToU16([&] {
                   char buffer[8];
                   std::snprintf(buffer, sizeof buffer, "%04X",
                                 static_cast<unsigned>(type & varTypeMask));
                   return std::string(buffer);
               }());
    }
}

// ---------------------------------------------------------------------------
// Variant conversions
// ---------------------------------------------------------------------------

std::int64_t Variant::ToIntegerSlow() const
{
    switch (FType) {
    case varEmpty:
        return 0;
    case varInt64:
        return FInt;
    case varDouble: {
        std::int64_t result;
        if (TryFloatToInt64(FFloat, result))
            return result;
        break;
    }
    case varBoolean:
        return FBool ? -1 : 0;
    case varUString: {
        std::int64_t result;
        double f;
        if (TryStrToInt64(FStr, result))
            return result;
        if (TryStrToFloat(FStr, f) && TryFloatToInt64(f, result))
            return result;
        break;
    }
    default:
        break;
    }
    RaiseCastError(FType, varInt64);
}

double Variant::ToFloatSlow() const
{
    switch (FType) {
    case varEmpty:
        return 0.0;
    case varInt64:
        return static_cast<double>(FInt);
    case varDouble:
        return FFloat;
    case varBoolean:
        return FBool ? -1.0 : 0.0;
    case varUString: {
        TNumber number;
        if (TryTextToNumber(FStr, number))
            return number.AsFloat();
        break;
    }
    default:
        break;
    }
    RaiseCastError(FType, varDouble);
}

bool Variant::ToBooleanSlow() const
{
    switch (FType) {
    case varEmpty:
        return false;
    case varInt64:
        return FInt != 0;
    case varDouble:
        return FFloat != 0.0;
    case varBoolean:
        return FBool;
    case varUString: {
        bool result;
        if (TryBooleanText(FStr, result))
            return result;
        TNumber number;
        if (TryTextToNumber(FStr, number))
            return number.IsFloat ? number.Float != 0.0 : number.Int != 0;
        break;
    }
    default:
        break;
    }
    RaiseCastError(FType, varBoolean);
}

UnicodeString Variant::ToStringSlow() const
{
    switch (FType) {
    case varEmpty:
        return {};
    case varInt64:
        return IntToStr(FInt);
    case varDouble:
        return FloatToStr(FFloat);
    case varBoolean:
        return FBool ? UnicodeString(TrueText) : UnicodeString(FalseText);
    case varUString:
        return FStr;
    default:
        RaiseCastError(FType, varUString);
    }
}

TRefCountedObject* Variant::ToObjectSlow() const
{
    if (FType == varEmpty)
        return nullptr;
    if (FType == varUnknown)
        return FObj;
    RaiseCastError(FType, varUnknown);
}

UnicodeString VarToStr(const Variant& v)
{
    return v.IsNull() ? UnicodeString() : v.ToString();
}

Variant VarAsType(const Variant& v, TVarType type)
{
    switch (type & varTypeMask) {
    case varEmpty:
        return Variant();
    case varNull:
        return Variant::Null();
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
        return Variant(v.ToInteger());
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
        return Variant(v.ToFloat());
    case varBoolean:
        return Variant(v.ToBoolean());
    case varOleStr:
    case varUString:
    case 0x0100: // the 8-bit string kind: scripts only have one string type
        return Variant(v.ToString());
    case varUnknown:
    case varDispatch: {
        TRefCountedObject* object = v.ToObject();
        return Variant(object);
    }
    case varVariant:
        return v;
    default:
        RaiseCastError(v.Type(), type);
    }
}

// ---------------------------------------------------------------------------
// Variant operators
// ---------------------------------------------------------------------------

Variant VarAdd(const Variant& a, const Variant& b)
{
    if (a.IsNull() || b.IsNull())
        return Variant::Null();
    if (IsStringLike(a) && IsStringLike(b) && (a.IsString() || b.IsString()))
        return Variant(a.ToString() + b.ToString());
    return Arithmetic(a, b, IntAdd, FloatAdd);
}

Variant VarSub(const Variant& a, const Variant& b)
{
    return Arithmetic(a, b, IntSub, FloatSub);
}

Variant VarMul(const Variant& a, const Variant& b)
{
    return Arithmetic(a, b, IntMul, FloatMul);
}

Variant VarDivide(const Variant& a, const Variant& b)
{
    if (a.IsNull() || b.IsNull())
        return Variant::Null();
    return Variant(FloatDivide(ToNumber(a).AsFloat(), ToNumber(b).AsFloat()));
}

Variant VarIntDiv(const Variant& a, const Variant& b)
{
    if (a.IsNull() || b.IsNull())
        return Variant::Null();
    // Right operand first, as the integer operator evaluates it.
    const std::int64_t divisor = b.ToInteger();
    return Variant(IntDiv(a.ToInteger(), divisor));
}

Variant VarMod(const Variant& a, const Variant& b)
{
    if (a.IsNull() || b.IsNull())
        return Variant::Null();
    const std::int64_t divisor = b.ToInteger();
    return Variant(IntMod(a.ToInteger(), divisor));
}

Variant VarAnd(const Variant& a, const Variant& b)
{
    return Logical(
        a, b, [](bool x, bool y) { return x && y; },
        [](std::int64_t x, std::int64_t y) { return x & y; });
}

Variant VarOr(const Variant& a, const Variant& b)
{
    return Logical(
        a, b, [](bool x, bool y) { return x || y; },
        [](std::int64_t x, std::int64_t y) { return x | y; });
}

Variant VarXor(const Variant& a, const Variant& b)
{
    return Logical(
        a, b, [](bool x, bool y) { return x != y; },
        [](std::int64_t x, std::int64_t y) { return x ^ y; });
}

Variant VarNeg(const Variant& v)
{
    if (v.IsNull())
        return Variant::Null();
    const TNumber x = ToNumber(v);
    if (x.IsFloat)
        return Variant(-x.Float);
    return Variant(IntNeg(x.Int));
}

Variant VarNot(const Variant& v)
{
    if (v.IsNull())
        return Variant::Null();
    bool b;
    if (v.IsBoolean() || (v.IsString() && TryBooleanText(v.VString(), b)))
        return Variant(!v.ToBoolean());
    return Variant(~v.ToInteger());
}

Variant VarConcat(const Variant& a, const Variant& b)
{
    if (a.IsNull() || b.IsNull())
        return Variant::Null();
    return Variant(a.ToString() + b.ToString());
}

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b)
{
    using enum TVariantRelationship;
    if (a.IsNull() || b.IsNull()) {
        if (a.IsNull() && b.IsNull())
            return vrEqual;
        return a.IsNull() ? vrLessThan : vrGreaterThan;
    }
    // References have identity but no order; Unassigned stands for nil.
    if (a.IsObject() || b.IsObject()) {
        const bool aRef = a.IsObject() || a.IsEmpty();
        const bool bRef = b.IsObject() || b.IsEmpty();
        if (aRef && bRef) {
            const TRefCountedObject* x = a.IsObject() ? a.VUnknown() : nullptr;
            const TRefCountedObject* y = b.IsObject() ? b.VUnknown() : nullptr;
            return x == y ? vrEqual : vrNotEqual;
        }
        return vrNotEqual;
    }
    if (IsStringLike(a) && IsStringLike(b))
        return CompareText(a.IsString() ? a.VString().View() : std::u16string_view(),
                           b.IsString() ? b.VString().View() : std::u16string_view());
    if (a.IsBoolean() && b.IsBoolean())
        return CompareOrdered(static_cast<int>(a.VBoolean()), static_cast<int>(b.VBoolean()));
    if (a.IsString() || b.IsString()) {
        const Variant& text = a.IsString() ? a : b;
        const Variant& other = a.IsString() ? b : a;
        const bool textFirst = a.IsString();
        bool flag;
        TVariantRelationship result;
        if (other.IsBoolean() && TryBooleanText(text.VString(), flag))
            result = CompareOrdered(static_cast<int>(flag), static_cast<int>(other.VBoolean()));
        else {
            TNumber number;
            if (TryTextToNumber(text.VString(), number))
                result = CompareNumbers(number, ToNumber(other));
            else
                result = CompareText(text.VString(), other.ToString());
        }
        if (textFirst || result == vrEqual || result == vrNotEqual)
            return result;
        return result == vrLessThan ? vrGreaterThan : vrLessThan;
    }
    return CompareNumbers(ToNumber(a), ToNumber(b));
}

// ---------------------------------------------------------------------------
// Checked arithmetic
// ---------------------------------------------------------------------------

void RaiseDivByZero()
{
    throw EDivByZero(DivByZeroMessage);
}

void RaiseFloatDivByZero()
{
    throw EZeroDivide(FloatDivByZeroMessage);
}

void RaiseInvalidFloatOp()
{
    throw EInvalidOp(InvalidFloatOpMessage);
}

void RaiseFloatOverflow()
{
    throw EOverflow(FloatOverflowMessage);
}

bool TryFloatToInt64(double value, std::int64_t& result) noexcept
{
    // nearbyint rounds half to even in the default rounding mode.
    const double rounded = std::nearbyint(value);
    // -2^63 is representable; 2^63 is the first value past the range.
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
        return false;
    result = static_cast<std::int64_t>(rounded);
    return true;
}

// ---------------------------------------------------------------------------
// Numbers and text
// ---------------------------------------------------------------------------

UnicodeString IntToStr(std::int64_t value)
{
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    char16_t text[24];
    const auto length = static_cast<size_t>(end - buffer);
    for (size_t i = 0; i < length; ++i)
        text[i] = static_cast<char16_t>(buffer[i]);
    return UnicodeString(std::u16string_view(text, length));
}

UnicodeString FloatToStr(double value)
{
    if (std::isnan(value))
        return u"NAN";
    if (std::isinf(value))
        return value < 0 ? u"-INF" : u"INF";
    if (value == 0.0)
        return u"0";
    // 15 significant digits, correctly rounded: "d.dddddddddddddde+XXX".
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    const char* p = buffer;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    std::string digits;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.')
            digits += *p;
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const int digitCount = static_cast<int>(digits.size());

    std::string text = negative ? "-" : "";
    if (exponent >= 15 || exponent < -4) {
        text += digits[0];
        if (digitCount > 1) {
            text += '.';
            text.append(digits, 1);
        }
        text += 'E';
        text += std::to_string(exponent);
    } else if (exponent >= 0) {
        const int intDigits = exponent + 1;
        if (digitCount <= intDigits) {
            text += digits;
            text.append(static_cast<size_t>(intDigits - digitCount), '0');
        } else {
            text.append(digits, 0, static_cast<size_t>(intDigits));
            text += '.';
            text.append(digits, static_cast<size_t>(intDigits));
        }
    } else {
        text += "0.";
        text.append(static_cast<size_t>(-exponent - 1), '0');
        text += digits;
    }
    return UnicodeString(AsciiToU16(text));
}

bool TryStrToInt64(std::u16string_view text, std::int64_t& value) noexcept
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && text[i] == u'$') {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return false;
    std::uint64_t magnitude = 0;
    if (hex) {
        for (; i < n; ++i) {
            const int digit = HexDigitValue(text[i]);
            if (digit < 0 || magnitude > (UINT64_MAX >> 4))
                return false;
            magnitude = (magnitude << 4) | static_cast<std::uint64_t>(digit);
        }
        // Hex spells the 64 bits themselves: $FFFFFFFFFFFFFFFF is -1.
        value = static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
        return true;
    }
    const std::uint64_t limit = negative ? 9223372036854775808ull : 9223372036854775807ull;
    for (; i < n; ++i) {
        if (!IsAsciiDigit(text[i]))
            return false;
        const auto digit = static_cast<std::uint64_t>(text[i] - u'0');
        if (magnitude > (limit - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    value = static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
    return true;
}

bool TryStrToFloat(std::u16string_view text, double& value) noexcept
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    const std::u16string_view rest = text.substr(i);
    if (AsciiSameText(rest, u"INF") || AsciiSameText(rest, u"INFINITY")) {
        value = negative ? -HUGE_VAL : HUGE_VAL;
        return true;
    }
    if (AsciiSameText(rest, u"NAN")) {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }

    // Validate the grammar and copy it to ASCII for from_chars.
    std::string ascii;
    ascii.reserve(n - i);
    int intDigits = 0;        // significant digits before the point
    int leadingFracZeros = 0; // zeros after the point before the first significant digit
    bool seenSignificant = false;
    int digitCount = 0;
    for (; i < n && IsAsciiDigit(text[i]); ++i, ++digitCount) {
        ascii += static_cast<char>(text[i]);
        if (text[i] != u'0')
            seenSignificant = true;
        if (seenSignificant)
            ++intDigits;
    }
    if (i < n && text[i] == u'.') {
        ascii += '.';
        for (++i; i < n && IsAsciiDigit(text[i]); ++i, ++digitCount) {
            ascii += static_cast<char>(text[i]);
            if (text[i] != u'0')
                seenSignificant = true;
            else if (!seenSignificant)
                ++leadingFracZeros;
        }
    }
    if (digitCount == 0)
        return false;
    long exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ascii += 'e';
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ascii += static_cast<char>(text[i]);
            ++i;
        }
        if (i >= n || !IsAsciiDigit(text[i]))
            return false;
        for (; i < n && IsAsciiDigit(text[i]); ++i) {
            ascii += static_cast<char>(text[i]);
            exponent = std::min(exponent * 10 + (text[i] - u'0'), 100000L);
        }
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != n)
        return false;

    double result = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), result);
    if (error == std::errc::result_out_of_range) {
        // Too small to represent reads as 0; too large fails.
        const long magnitude = intDigits > 0 ? intDigits + exponent : exponent - leadingFracZeros;
        if (!seenSignificant || magnitude <= 0)
            result = 0.0;
        else
            return false;
    } else if (error != std::errc() || end != ascii.data() + ascii.size())
        return false;
    value = negative ? -result : result;
    return true;
}

std::int64_t StrToInt64(std::u16string_view text)
{
    std::int64_t value;
    if (!TryStrToInt64(text, value))
        throw EConvertError(FillPattern(InvalidIntegerMessage, {text}));
    return value;
}

double StrToFloat(std::u16string_view text)
{
    double value;
    if (!TryStrToFloat(text, value))
        throw EConvertError(FillPattern(InvalidFloatMessage, {text}));
    return value;
}

UnicodeString CharToString(char16_t c)
{
    static const std::array<UnicodeString, 256> Latin1 = [] {
        std::array<UnicodeString, 256> strings;
        for (size_t i = 0; i < strings.size(); ++i) {
            const auto code = static_cast<char16_t>(i);
            strings[i] = UnicodeString(std::u16string_view(&code, 1));
        }
        return strings;
    }();
    if (c < Latin1.size())
        return Latin1[c];
    return UnicodeString(std::u16string_view(&c, 1));
}
