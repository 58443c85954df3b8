#include "tvsStringFunctions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <system_error>

#include "tvsErrors.h"
#include "tvsExceptions.h"
#include "tvsXPlatform.h"

namespace {

using TView = std::u16string_view;

// Fixed notation beyond this many decimals only shows noise of the binary
// value, and an unbounded count would let a script ask for gigabytes.
constexpr int32_t MaxFixedDecimals = 18;
// Significant digits a double can carry, with a little slack.
constexpr int32_t MaxSignificantDigits = 18;
constexpr int32_t DefaultSignificantDigits = 15;
constexpr int32_t DefaultFixedDecimals = 2;

// Characters of str from the 0-based `start`, `count` long (both checked by
// the caller). The whole string is handed back without a copy.
UnicodeString Slice(const UnicodeString& str, size_t start, size_t count)
{
    if (start == 0 && count == str.Length())
        return str;
    return UnicodeString(str.View().substr(start, count));
}

UnicodeString FromAscii(std::string_view text)
{
    UnicodeString result = UnicodeString::OfLength(text.size());
    char16_t* data = result.Data();
    for (size_t i = 0; i < text.size(); ++i)
        data[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    return result;
}

void AppendAscii(std::u16string& out, std::string_view text)
{
    for (const char c : text)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

// Digits of an unsigned value, most significant first, `shift` bits per
// digit (1: binary, 4: hex), padded with zeros to at least minDigits. Zero
// has no digits of its own.
UnicodeString UnsignedDigits(uint64_t value, unsigned shift, int32_t minDigits)
{
    char16_t digits[64];
    size_t n = 0;
    const uint64_t mask = (uint64_t{1} << shift) - 1;
    while (value != 0) {
        const auto d = static_cast<unsigned>(value & mask);
        digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : u'A' + (d - 10));
        value >>= shift;
    }
    const size_t pad = minDigits > 0 && static_cast<size_t>(minDigits) > n
                           ? static_cast<size_t>(minDigits) - n
                           : 0;
    UnicodeString result = UnicodeString::OfLength(pad + n);
    char16_t* data = result.Data();
    std::fill(data, data + pad, u'0');
    for (size_t i = 0; i < n; ++i)
        data[pad + i] = digits[n - 1 - i];
    return result;
}

// "NAN", "INF" and "-INF", as the general float format writes them.
bool NonFiniteText(double value, std::string& out)
{
    if (std::isnan(value))
        out = "NAN";
    else if (std::isinf(value))
        out = value < 0 ? "-INF" : "INF";
    else
        return false;
    return true;
}

// Fixed notation with `decimals` digits after ".", the exact binary value
// correctly rounded; independent of the C locale the process runs under.
std::string FixedText(double value, int32_t decimals)
{
    std::string text;
    if (NonFiniteText(value, text))
        return text;
    // 309 integer digits at most, a sign, a point and the decimals.
    char buffer[400];
    const auto res =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    text.assign(buffer, res.ptr);
    // Rounding a small negative value to zero must not print "-0".
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

// The decimal digits of value rounded to `digits` significant ones, and the
// decimal exponent of the first digit.
struct TDecimalDigits {
    bool Negative = false;
    std::string Digits;
    int Exponent = 0;
};

TDecimalDigits DecimalDigits(double value, int32_t digits)
{
    TDecimalDigits result;
    char buffer[64];
    const auto res = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::scientific, digits - 1);
    std::string_view text(buffer, static_cast<size_t>(res.ptr - buffer));
    if (!text.empty() && text[0] == '-') {
        result.Negative = true;
        text.remove_prefix(1);
    }
    const size_t e = text.find('e');
    for (const char c : text.substr(0, e))
        if (c != '.')
            result.Digits.push_back(c);
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                    result.Exponent);
    return result;
}

// Scientific notation: "d.ddd" with `digits` significant digits, then "E",
// the exponent's sign and at least three exponent digits.
std::string ExponentText(double value, int32_t digits)
{
    std::string text;
    if (NonFiniteText(value, text))
        return text;
    const TDecimalDigits d = DecimalDigits(value, digits);
    if (d.Negative)
        text.push_back('-');
    text.push_back(d.Digits[0]);
    if (d.Digits.size() > 1) {
        text.push_back('.');
        text.append(d.Digits, 1);
    }
    text.push_back('E');
    text.push_back(d.Exponent < 0 ? '-' : '+');
    std::string exponent = std::to_string(std::abs(d.Exponent));
    if (exponent.size() < 3)
        exponent.insert(0, 3 - exponent.size(), '0');
    return text + exponent;
}

// The general format: the shortest of fixed and scientific at `digits`
// significant digits, trailing zeros dropped; scientific when the exponent
// reaches `digits` or falls below -4, written "1.5E20", "1E-5".
std::string GeneralText(double value, int32_t digits)
{
    std::string text;
    if (NonFiniteText(value, text))
        return text;
    if (value == 0.0)
        return "0";
    TDecimalDigits d = DecimalDigits(value, digits);
    while (d.Digits.size() > 1 && d.Digits.back() == '0')
        d.Digits.pop_back();
    if (d.Negative)
        text.push_back('-');
    const int count = static_cast<int>(d.Digits.size());
    if (d.Exponent >= digits || d.Exponent < -4) {
        text.push_back(d.Digits[0]);
        if (count > 1) {
            text.push_back('.');
            text.append(d.Digits, 1);
        }
        text.push_back('E');
        text += std::to_string(d.Exponent);
    } else if (d.Exponent < 0) {
        text += "0.";
        text.append(static_cast<size_t>(-d.Exponent - 1), '0');
        text += d.Digits;
    } else if (count <= d.Exponent + 1) {
        text += d.Digits;
        text.append(static_cast<size_t>(d.Exponent + 1 - count), '0');
    } else {
        const auto point = static_cast<size_t>(d.Exponent + 1);
        text.append(d.Digits, 0, point);
        text.push_back('.');
        text.append(d.Digits, point);
    }
    return text;
}

// Fixed notation with "," between groups of three integer digits.
std::string NumberText(double value, int32_t decimals)
{
    std::string text = FixedText(value, decimals);
    if (!std::isfinite(value))
        return text;
    const size_t start = text[0] == '-' ? 1 : 0;
    size_t end = text.find('.');
    if (end == std::string::npos)
        end = text.size();
    for (size_t i = end; i > start + 3; i -= 3)
        text.insert(i - 3, 1, ',');
    return text;
}

// ---------------------------------------------------------------------------
// The Format engine

class TFormatter final {
public:
    TFormatter(TView format, std::span<const TVarRec> args) : FFormat(format), FArgs(args) {}

    UnicodeString Run()
    {
        FOut.reserve(FFormat.size() + 16);
        size_t i = 0;
        while (i < FFormat.size()) {
            const size_t percent = FFormat.find(u'%', i);
            if (percent == TView::npos) {
                FOut.append(FFormat.substr(i));
                break;
            }
            FOut.append(FFormat.substr(i, percent - i));
            i = percent + 1;
            if (i < FFormat.size() && FFormat[i] == u'%') {
                FOut.push_back(u'%');
                ++i;
                continue;
            }
            i = Directive(i);
        }
        return UnicodeString(FOut);
    }

private:
    [[noreturn]] void Invalid() const
    {
        throw EConvertError(FormatText(InvalidFormatArgMsg, {FFormat}));
    }

    const TVarRec& NextArg()
    {
        if (FNext >= FArgs.size())
            Invalid();
        return FArgs[FNext++];
    }

    // A number written in the format, or "*" taken from the arguments; -1
    // when neither is there.
    int64_t ReadNumber(size_t& i)
    {
        if (i < FFormat.size() && FFormat[i] == u'*') {
            ++i;
            const TVarRec& arg = NextArg();
            if (arg.VType != TVarRecKind::vtInt64)
                Invalid();
            // A negative count from the arguments means "none", as when absent;
            // a huge one is refused rather than allocated.
            if (arg.VInt64 > MaxWidth)
                Invalid();
            return arg.VInt64 < 0 ? -1 : arg.VInt64;
        }
        int64_t value = -1;
        while (i < FFormat.size() && FFormat[i] >= u'0' && FFormat[i] <= u'9') {
            value = (value < 0 ? 0 : value) * 10 + (FFormat[i] - u'0');
            if (value > MaxWidth)
                Invalid();
            ++i;
        }
        return value;
    }

    size_t Directive(size_t i)
    {
        int64_t number = ReadNumber(i);
        if (i < FFormat.size() && FFormat[i] == u':') {
            if (number < 0 || static_cast<uint64_t>(number) >= FArgs.size())
                Invalid();
            FNext = static_cast<size_t>(number);
            ++i;
            number = -1;
        }
        bool left = false;
        if (number < 0 && i < FFormat.size() && FFormat[i] == u'-') {
            left = true;
            ++i;
        }
        const int64_t width = number >= 0 ? number : ReadNumber(i);
        int64_t prec = -1;
        if (i < FFormat.size() && FFormat[i] == u'.') {
            ++i;
            prec = ReadNumber(i);
        }
        if (i >= FFormat.size())
            Invalid();
        const char16_t type = FFormat[i++];
        const TVarRec& arg = NextArg();
        std::u16string text;
        switch (type | 0x20) { // directive letters in either case
        case u'd':
        case u'u':
        case u'x':
            IntegerDirective(arg, type | 0x20, prec, text);
            break;
        case u'e':
        case u'f':
        case u'g':
        case u'n':
            FloatDirective(arg, type | 0x20, prec, text);
            break;
        case u's':
            if (arg.VType == TVarRecKind::vtUnicodeString)
                text = arg.VUnicodeString.View();
            else if (arg.VType == TVarRecKind::vtBoolean)
                text = arg.VBoolean ? u"True" : u"False";
            else
                Invalid();
            if (prec >= 0 && static_cast<size_t>(prec) < text.size())
                text.resize(static_cast<size_t>(prec));
            break;
        case u'p':
            if (arg.VType != TVarRecKind::vtPointer)
                Invalid();
            text.assign(16, u'0'); // the only pointer scripts can pass is nil
            break;
        default:
            Invalid();
        }
        if (width > static_cast<int64_t>(text.size())) {
            const size_t pad = static_cast<size_t>(width) - text.size();
            if (left)
                text.append(pad, u' ');
            else
                text.insert(0, pad, u' ');
        }
        FOut += text;
        return i;
    }

    void IntegerDirective(const TVarRec& arg, int type, int64_t prec, std::u16string& text) const
    {
        if (arg.VType != TVarRecKind::vtInt64)
            Invalid();
        const int64_t v = arg.VInt64;
        const bool negative = type == u'd' && v < 0;
        // Negating through unsigned keeps INT64_MIN from trapping.
        const uint64_t magnitude =
            negative ? ~static_cast<uint64_t>(v) + 1 : static_cast<uint64_t>(v);
        if (type == u'x')
            text = UnsignedDigits(magnitude, 4, 1).View();
        else {
            char buffer[24];
            const auto res = std::to_chars(buffer, buffer + sizeof buffer, magnitude);
            AppendAscii(text, std::string_view(buffer, static_cast<size_t>(res.ptr - buffer)));
        }
        if (prec > static_cast<int64_t>(text.size()))
            text.insert(0, static_cast<size_t>(prec) - text.size(), u'0');
        if (negative)
            text.insert(0, 1, u'-');
    }

    void FloatDirective(const TVarRec& arg, int type, int64_t prec, std::u16string& text) const
    {
        if (arg.VType != TVarRecKind::vtExtended)
            Invalid();
        const double v = arg.VExtended;
        std::string digits;
        if (type == u'f' || type == u'n') {
            const auto decimals = static_cast<int32_t>(
                prec < 0 ? DefaultFixedDecimals : std::min<int64_t>(prec, MaxFixedDecimals));
            digits = type == u'f' ? FixedText(v, decimals) : NumberText(v, decimals);
        } else {
            const auto significant =
                static_cast<int32_t>(prec < 0 ? DefaultSignificantDigits
                                              : std::clamp<int64_t>(prec, 1, MaxSignificantDigits));
            digits = type == u'e' ? ExponentText(v, significant) : GeneralText(v, significant);
        }
        AppendAscii(text, digits);
    }

    // Widths and precisions beyond any sane text are format errors.
    static constexpr int64_t MaxWidth = 1'000'000;

    TView FFormat;
    std::span<const TVarRec> FArgs;
    size_t FNext = 0;
    std::u16string FOut;
};

bool IsTrimmed(char16_t c) noexcept
{
    return c <= u' ';
}

} // namespace

// ---------------------------------------------------------------------------
// Conversions
// ---------------------------------------------------------------------------

UnicodeString Chr(int64_t code)
{
    const int32_t c = LowInt32(code);
    if (c >= 0 && c < 0x10000) {
        const auto unit = static_cast<char16_t>(c);
        return UnicodeString(TView(&unit, 1));
    }
    if (c >= 0x10000 && c - 0x10000 <= 0xFFFFF) {
        const auto offset = static_cast<uint32_t>(c - 0x10000);
        const char16_t pair[2] = {static_cast<char16_t>(0xD800 + (offset >> 10)),
                                  static_cast<char16_t>(0xDC00 + (offset & 0x3FF))};
        return UnicodeString(TView(pair, 2));
    }
    throw EChrConvertError(FormatText(InvalidCodepointMsg, {c}));
}

int64_t StrToInt(std::u16string_view text)
{
    int64_t value = 0;
    if (!TryStrToInt64(text, value))
        throw EConvertError(FormatText(InvalidIntegerTextMsg, {text}));
    return value;
}

int64_t StrToIntDef(std::u16string_view text, int64_t def) noexcept
{
    int64_t value = 0;
    return TryStrToInt64(text, value) ? value : def;
}

int64_t VarToIntDef(const Variant& value, int64_t def)
{
    if (value.IsNull())
        return def;
    if (value.IsInteger())
        return value.VInt64();
    return StrToIntDef(value.ToString().View(), def);
}

UnicodeString IntToHex(int64_t value, int64_t digits)
{
    return UnsignedDigits(static_cast<uint64_t>(value), 4, std::max(LowInt32(digits), 1));
}

int64_t HexToInt(std::u16string_view hexa)
{
    // Only hex digits: the integer grammar would also take a sign, blanks
    // or a second "$"/"0x" prefix after the one we add.
    const bool allHex = !hexa.empty() && std::all_of(hexa.begin(), hexa.end(), [](char16_t c) {
        return (c >= u'0' && c <= u'9') || ((c | 0x20) >= u'a' && (c | 0x20) <= u'f');
    });
    int64_t value = 0;
    if (!allHex || !TryStrToInt64(Concat(u"$", hexa).View(), value))
        throw EConvertError(FormatText(InvalidIntegerTextMsg, {hexa}));
    return value;
}

UnicodeString IntToBin(int64_t value, int64_t digits)
{
    return UnsignedDigits(static_cast<uint64_t>(value), 1, LowInt32(digits));
}

UnicodeString BoolToStr(bool value)
{
    return value ? u"True" : u"False";
}

UnicodeString FloatToStr(double value, int64_t precision)
{
    const int32_t p = LowInt32(precision);
    if (p == FloatToStrGeneral)
        return FloatToStr(value);
    if (p >= 0)
        return FromAscii(FixedText(value, std::min(p, MaxFixedDecimals)));
    // Rounds to a multiple of 10^-p. The factor is a single-precision float
    // on purpose: 1250 * 0.01f lands just below 12.5, so it rounds to 12.
    const double factor = static_cast<float>(std::pow(10.0, p));
    const double scaled = std::nearbyint(value * factor);
    return FromAscii(FixedText(FloatDivide(scaled, factor), 0));
}

double StrToFloatDef(std::u16string_view text, double def) noexcept
{
    double value = 0;
    return TryStrToFloat(text, value) ? value : def;
}

double VarToFloatDef(const Variant& value, double def)
{
    if (value.IsNull())
        return def;
    if (value.IsFloat() || value.IsInteger())
        return value.ToFloat();
    return StrToFloatDef(value.ToString().View(), def);
}

UnicodeString Format(std::u16string_view fmt, std::span<const TVarRec> args)
{
    return TFormatter(fmt, args).Run();
}

UnicodeString Format(std::u16string_view fmt, std::span<const Variant> args)
{
    const TVarRecArrayContainer container(args);
    return Format(fmt, container.VarRecArray());
}

// ---------------------------------------------------------------------------
// Extraction and search
// ---------------------------------------------------------------------------

UnicodeString CharAt(const UnicodeString& s, int64_t x)
{
    const int32_t i = LowInt32(x);
    if (i < 1 || static_cast<size_t>(i) > s.Length())
        return {};
    return Slice(s, static_cast<size_t>(i - 1), 1);
}

UnicodeString Copy(const UnicodeString& str, int64_t index, int64_t len)
{
    const int32_t start = std::max(LowInt32(index), 1);
    const int32_t count = LowInt32(len);
    const size_t length = str.Length();
    if (count <= 0 || static_cast<size_t>(start) > length)
        return {};
    const size_t from = static_cast<size_t>(start) - 1;
    return Slice(str, from, std::min(static_cast<size_t>(count), length - from));
}

UnicodeString LeftStr(const UnicodeString& str, int64_t count)
{
    return Copy(str, 1, count);
}

UnicodeString RightStr(const UnicodeString& str, int64_t count)
{
    const int64_t n = LowInt32(count);
    const int64_t start = static_cast<int64_t>(str.Length()) - n + 1;
    // The start may leave the 32-bit range for a count near its limits;
    // clamp it where Copy gives the same answer.
    if (start > static_cast<int64_t>(str.Length()))
        return {};
    return Copy(str, std::max<int64_t>(start, 1), n);
}

UnicodeString SubStr(const UnicodeString& str, int64_t start)
{
    return Copy(str, start, INT32_MAX);
}

UnicodeString SubString(const UnicodeString& str, int64_t start, int64_t end)
{
    const int64_t from = std::max(LowInt32(start), 1);
    // end - start in 64 bits: a 32-bit difference could wrap to a huge count.
    const int64_t count = static_cast<int64_t>(LowInt32(end)) - from;
    if (count <= 0)
        return {};
    return Copy(str, from, count);
}

int64_t Pos(std::u16string_view subStr, std::u16string_view str) noexcept
{
    return PosEx(subStr, str, 1);
}

int64_t PosEx(std::u16string_view subStr, std::u16string_view str, int64_t offset) noexcept
{
    const int32_t from = LowInt32(offset);
    if (subStr.empty() || from < 1 || static_cast<size_t>(from) > str.size())
        return 0;
    const size_t found = str.find(subStr, static_cast<size_t>(from) - 1);
    return found == TView::npos ? 0 : static_cast<int64_t>(found) + 1;
}

int64_t RevPos(std::u16string_view subStr, std::u16string_view str) noexcept
{
    if (subStr.empty() || str.empty() || subStr.size() > str.size())
        return 0;
    const size_t found = str.rfind(subStr);
    return found == TView::npos ? 0 : static_cast<int64_t>(found) + 1;
}

bool StrBeginsWith(std::u16string_view str, std::u16string_view beginStr) noexcept
{
    return str.starts_with(beginStr);
}

bool StrEndsWith(std::u16string_view str, std::u16string_view endStr) noexcept
{
    return str.ends_with(endStr);
}

UnicodeString StrAfter(const UnicodeString& str, std::u16string_view delimiter)
{
    if (delimiter.empty())
        return {};
    const size_t found = str.View().find(delimiter);
    if (found == TView::npos)
        return {};
    const size_t from = found + delimiter.size();
    return Slice(str, from, str.Length() - from);
}

UnicodeString StrBefore(const UnicodeString& str, std::u16string_view delimiter)
{
    if (delimiter.empty())
        return str;
    const size_t found = str.View().find(delimiter);
    if (found == TView::npos)
        return str;
    return Slice(str, 0, found);
}

bool IsDelimiter(std::u16string_view delims, std::u16string_view str, int64_t index) noexcept
{
    const int32_t i = LowInt32(index);
    if (i < 1 || static_cast<size_t>(i) > str.size())
        return false;
    return delims.find(str[static_cast<size_t>(i) - 1]) != TView::npos;
}

int64_t LastDelimiter(std::u16string_view delims, std::u16string_view str) noexcept
{
    const size_t found = str.find_last_of(delims);
    return found == TView::npos ? 0 : static_cast<int64_t>(found) + 1;
}

int64_t FindDelimiter(std::u16string_view delims, std::u16string_view str,
                      int64_t startIndex) noexcept
{
    const int32_t from = std::max(LowInt32(startIndex), 1);
    const size_t found = str.find_first_of(delims, static_cast<size_t>(from) - 1);
    return found == TView::npos ? 0 : static_cast<int64_t>(found) + 1;
}

// ---------------------------------------------------------------------------
// Transformations
// ---------------------------------------------------------------------------

void Delete(UnicodeString& s, int64_t index, int64_t len)
{
    const int32_t start = LowInt32(index);
    const int32_t count = LowInt32(len);
    const size_t length = s.Length();
    if (start < 1 || static_cast<size_t>(start) > length || count <= 0)
        return;
    const size_t from = static_cast<size_t>(start) - 1;
    const size_t removed = std::min(static_cast<size_t>(count), length - from);
    UnicodeString result = UnicodeString::OfLength(length - removed);
    char16_t* data = result.Data();
    const char16_t* text = s.Text();
    std::copy(text, text + from, data);
    std::copy(text + from + removed, text + length, data + from);
    s.Swap(result);
}

void Insert(std::u16string_view src, UnicodeString& s, int64_t index)
{
    if (src.empty())
        return;
    const size_t length = s.Length();
    const int32_t i = LowInt32(index);
    const size_t at = i < 1 ? 0 : std::min(static_cast<size_t>(i) - 1, length);
    UnicodeString result = UnicodeString::OfLength(length + src.size());
    char16_t* data = result.Data();
    const char16_t* text = s.Text();
    std::copy(text, text + at, data);
    std::copy(src.begin(), src.end(), data + at);
    std::copy(text + at, text + length, data + at + src.size());
    s.Swap(result);
}

void SetLength(UnicodeString& s, int64_t newLength)
{
    const int32_t n = LowInt32(newLength);
    if (n <= 0) {
        s.Clear();
        return;
    }
    const size_t oldLength = s.Length();
    s.SetLength(static_cast<size_t>(n));
    if (static_cast<size_t>(n) > oldLength) {
        char16_t* data = s.Data();
        std::fill(data + oldLength, data + n, u' ');
    }
}

namespace {

// Maps the characters in [from, to] by adding delta; the input comes back
// unshared when nothing changes.
UnicodeString MapAsciiRange(const UnicodeString& str, char16_t from, char16_t to, int delta)
{
    const TView text = str.View();
    const auto first =
        std::find_if(text.begin(), text.end(), [=](char16_t c) { return c >= from && c <= to; });
    if (first == text.end())
        return str;
    UnicodeString result = str;
    char16_t* data = result.Data();
    for (size_t i = static_cast<size_t>(first - text.begin()); i < text.size(); ++i)
        if (data[i] >= from && data[i] <= to)
            data[i] = static_cast<char16_t>(data[i] + delta);
    return result;
}

char16_t AsciiLower(char16_t c) noexcept
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

} // namespace

UnicodeString LowerCase(const UnicodeString& str)
{
    return MapAsciiRange(str, u'A', u'Z', 32);
}

UnicodeString UpperCase(const UnicodeString& str)
{
    return MapAsciiRange(str, u'a', u'z', -32);
}

UnicodeString AnsiLowerCase(std::u16string_view str)
{
    return UnicodeString(UnicodeLowerCase(str));
}

UnicodeString AnsiUpperCase(std::u16string_view str)
{
    return UnicodeString(UnicodeUpperCase(str));
}

UnicodeString TrimLeft(const UnicodeString& str)
{
    const TView text = str.View();
    const auto first = std::find_if_not(text.begin(), text.end(), IsTrimmed);
    const auto from = static_cast<size_t>(first - text.begin());
    return Slice(str, from, text.size() - from);
}

UnicodeString TrimRight(const UnicodeString& str)
{
    const TView text = str.View();
    size_t end = text.size();
    while (end > 0 && IsTrimmed(text[end - 1]))
        --end;
    return Slice(str, 0, end);
}

UnicodeString Trim(const UnicodeString& str)
{
    const TView text = str.View();
    size_t from = 0;
    while (from < text.size() && IsTrimmed(text[from]))
        ++from;
    size_t end = text.size();
    while (end > from && IsTrimmed(text[end - 1]))
        --end;
    return Slice(str, from, end - from);
}

UnicodeString QuotedStr(std::u16string_view str, std::u16string_view quoteChar)
{
    const char16_t quote = quoteChar.empty() ? u'\'' : quoteChar[0];
    const auto inside = static_cast<size_t>(std::count(str.begin(), str.end(), quote));
    UnicodeString result = UnicodeString::OfLength(str.size() + inside + 2);
    char16_t* data = result.Data();
    size_t n = 0;
    data[n++] = quote;
    for (const char16_t c : str) {
        data[n++] = c;
        if (c == quote)
            data[n++] = quote;
    }
    data[n] = quote;
    return result;
}

UnicodeString StringOfChar(std::u16string_view ch, int64_t count)
{
    const int32_t n = LowInt32(count);
    if (n <= 0)
        return {};
    UnicodeString result = UnicodeString::OfLength(static_cast<size_t>(n));
    char16_t* data = result.Data();
    std::fill(data, data + n, ch.empty() ? u' ' : ch[0]);
    return result;
}

UnicodeString StringOfString(std::u16string_view str, int64_t count)
{
    const int32_t n = LowInt32(count);
    if (n <= 0 || str.empty())
        return {};
    // Both factors fit 31 bits, so the product cannot overflow size_t; a
    // result too long for a string is refused by the allocation.
    const size_t total = str.size() * static_cast<size_t>(n);
    UnicodeString result = UnicodeString::OfLength(total);
    char16_t* data = result.Data();
    std::copy(str.begin(), str.end(), data);
    // Doubling the filled part needs only log2(count) copies.
    for (size_t filled = str.size(); filled < total;) {
        const size_t chunk = std::min(filled, total - filled);
        std::memcpy(data + filled, data, chunk * sizeof(char16_t));
        filled += chunk;
    }
    return result;
}

UnicodeString ReverseString(std::u16string_view str)
{
    UnicodeString result = UnicodeString::OfLength(str.size());
    std::reverse_copy(str.begin(), str.end(), result.Data());
    return result;
}

// ---------------------------------------------------------------------------
// Comparisons
// ---------------------------------------------------------------------------

int CompareStr(std::u16string_view str1, std::u16string_view str2) noexcept
{
    const size_t common = std::min(str1.size(), str2.size());
    for (size_t i = 0; i < common; ++i)
        if (str1[i] != str2[i])
            return static_cast<int>(str1[i]) - static_cast<int>(str2[i]);
    // Lengths stay below 2^30, so the difference fits an int.
    return static_cast<int>(str1.size()) - static_cast<int>(str2.size());
}

int CompareText(std::u16string_view str1, std::u16string_view str2) noexcept
{
    const size_t common = std::min(str1.size(), str2.size());
    for (size_t i = 0; i < common; ++i) {
        const char16_t a = AsciiLower(str1[i]);
        const char16_t b = AsciiLower(str2[i]);
        if (a != b)
            return static_cast<int>(a) - static_cast<int>(b);
    }
    return static_cast<int>(str1.size()) - static_cast<int>(str2.size());
}

bool SameText(std::u16string_view str1, std::u16string_view str2) noexcept
{
    return str1.size() == str2.size() && CompareText(str1, str2) == 0;
}

int AnsiCompareText(std::u16string_view str1, std::u16string_view str2) noexcept
{
    return FastCompareText(str1, str2);
}

int AnsiCompareStr(std::u16string_view str1, std::u16string_view str2)
{
    return UnicodeCompareStr(str1, str2);
}
