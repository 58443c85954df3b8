// The string, conversion and formatting functions every script can call:
// plain functions over strings and numbers, the Format engine, and their
// registration as magic functions of the internal unit.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "tvsUtils.h"
#include "tvsVariant.h"

// Scripts count positions from 1. Positions, counts and code points are
// 32-bit values in scripts: the functions below take the 64-bit script
// integer and keep its low 32 bits, exactly as a script call does.

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

inline constexpr char16_t InvalidCodepointMsg[] = u"Invalid codepoint: %d";
inline constexpr char16_t InvalidIntegerTextMsg[] = u"'%s' is not a valid integer value";
inline constexpr char16_t InvalidFormatArgMsg[] =
    u"Format '%s' invalid or incompatible with argument";
inline constexpr char16_t ConstantOrOpenArrayExpectedMsg[] =
    u"Constant expression or open array expected";

// Raised by Chr for a value that is no Unicode code point.
TVS_DECLARE_EXCEPTION(EChrConvertError, EConvertError);

// The low 32 bits of a script integer, as a signed value.
inline int32_t LowInt32(int64_t value) noexcept
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

// ---------------------------------------------------------------------------
// Conversions
// ---------------------------------------------------------------------------

// One code unit below 65536, a surrogate pair up to $10FFFF; anything else
// raises EChrConvertError.
UnicodeString Chr(int64_t code);
// Raise EConvertError "'text' is not a valid integer value". Decimal and
// "$"/"0x" hexadecimal are accepted, with leading blanks and a sign.
int64_t StrToInt(std::u16string_view text);
int64_t StrToIntDef(std::u16string_view text, int64_t def) noexcept;
// Null gives def; other values are read through their text.
int64_t VarToIntDef(const Variant& value, int64_t def);
// Upper-case hex of the 64-bit pattern, zero-padded to at least `digits`.
UnicodeString IntToHex(int64_t value, int64_t digits);
// Hexadecimal digits only: no "$", no "0x", no sign.
int64_t HexToInt(std::u16string_view hexa);
// Binary of the unsigned 64-bit pattern, zero-padded to at least `digits`;
// 0 has no digits of its own.
UnicodeString IntToBin(int64_t value, int64_t digits);
UnicodeString BoolToStr(bool value);
// precision 99: the general format; below 0: rounded to a multiple of
// 10^-precision; otherwise fixed with that many decimals (at most 18).
inline constexpr int64_t FloatToStrGeneral = 99;
UnicodeString FloatToStr(double value, int64_t precision);
double StrToFloatDef(std::u16string_view text, double def) noexcept;
double VarToFloatDef(const Variant& value, double def);

// Format directives: "%" [index ":"] ["-"] [width] ["." precision] type,
// where index, width and precision may be "*" (taken from the arguments).
// Types: d (decimal; precision = minimum digits), u (unsigned decimal),
// x (upper-case hex; precision = minimum digits), e (scientific; precision
// = significant digits, 15 by default), f (fixed; precision = decimals,
// 2 by default), g (general; precision = significant digits, 15 by
// default), n (as f with thousands separators), s (text of a string or
// Boolean; precision = maximum length), p (pointer), and "%%". Any other
// directive, or one whose argument is missing or of the wrong kind, raises
// EConvertError "Format '...' invalid or incompatible with argument".
UnicodeString Format(std::u16string_view fmt, std::span<const TVarRec> args);
UnicodeString Format(std::u16string_view fmt, std::span<const Variant> args);

// ---------------------------------------------------------------------------
// Extraction and search
// ---------------------------------------------------------------------------

// The character at x, empty outside 1..length.
UnicodeString CharAt(const UnicodeString& s, int64_t x);
// Up to len characters from index; index below 1 counts as 1.
UnicodeString Copy(const UnicodeString& str, int64_t index, int64_t len);
UnicodeString LeftStr(const UnicodeString& str, int64_t count);
UnicodeString RightStr(const UnicodeString& str, int64_t count);
UnicodeString SubStr(const UnicodeString& str, int64_t start);
// From start up to but not including end.
UnicodeString SubString(const UnicodeString& str, int64_t start, int64_t end);

// 0 when absent, or when subStr is empty.
int64_t Pos(std::u16string_view subStr, std::u16string_view str) noexcept;
int64_t PosEx(std::u16string_view subStr, std::u16string_view str, int64_t offset) noexcept;
int64_t RevPos(std::u16string_view subStr, std::u16string_view str) noexcept;

bool StrBeginsWith(std::u16string_view str, std::u16string_view beginStr) noexcept;
bool StrEndsWith(std::u16string_view str, std::u16string_view endStr) noexcept;
// After the first delimiter; empty when there is none.
UnicodeString StrAfter(const UnicodeString& str, std::u16string_view delimiter);
// Before the first delimiter; all of str when there is none.
UnicodeString StrBefore(const UnicodeString& str, std::u16string_view delimiter);

bool IsDelimiter(std::u16string_view delims, std::u16string_view str, int64_t index) noexcept;
int64_t LastDelimiter(std::u16string_view delims, std::u16string_view str) noexcept;
int64_t FindDelimiter(std::u16string_view delims, std::u16string_view str,
                      int64_t startIndex) noexcept;

// ---------------------------------------------------------------------------
// Transformations
// ---------------------------------------------------------------------------

// The var-parameter procedures change s in place.
void Delete(UnicodeString& s, int64_t index, int64_t len);
void Insert(std::u16string_view src, UnicodeString& s, int64_t index);
// Pads with spaces when growing.
void SetLength(UnicodeString& s, int64_t newLength);

// ASCII letters only.
UnicodeString LowerCase(const UnicodeString& str);
UnicodeString UpperCase(const UnicodeString& str);
// Full case mapping of the user's locale.
UnicodeString AnsiLowerCase(std::u16string_view str);
UnicodeString AnsiUpperCase(std::u16string_view str);

// Remove characters with codes up to 32.
UnicodeString TrimLeft(const UnicodeString& str);
UnicodeString TrimRight(const UnicodeString& str);
UnicodeString Trim(const UnicodeString& str);

// Encloses str in the first character of quoteChar ("'" when empty) and
// doubles that character inside.
UnicodeString QuotedStr(std::u16string_view str, std::u16string_view quoteChar = {});
// The first character of ch (a space when empty) count times.
UnicodeString StringOfChar(std::u16string_view ch, int64_t count);
UnicodeString StringOfString(std::u16string_view str, int64_t count);
// Code units in reverse order; surrogate pairs are not kept together.
UnicodeString ReverseString(std::u16string_view str);

// ---------------------------------------------------------------------------
// Comparisons: negative, 0 or positive
// ---------------------------------------------------------------------------

// By code unit.
int CompareStr(std::u16string_view str1, std::u16string_view str2) noexcept;
// By code unit after lower-casing the ASCII letters.
int CompareText(std::u16string_view str1, std::u16string_view str2) noexcept;
bool SameText(std::u16string_view str1, std::u16string_view str2) noexcept;
// Case-insensitive by simple case folding; a prefix sorts first.
int AnsiCompareText(std::u16string_view str1, std::u16string_view str2) noexcept;
// Collation of the user's locale.
int AnsiCompareStr(std::u16string_view str1, std::u16string_view str2);

// ---------------------------------------------------------------------------
// Registration
// ---------------------------------------------------------------------------

// Adds the string functions to the internal unit. Safe to call more than
// once: only the first call registers.
void RegisterStringFunctions();
