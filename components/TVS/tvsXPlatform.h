// Platform services of the engine: clocks, UTF-8 <-> UTF-16 conversion, and
// locale-aware comparison and case mapping (ICU, the user's default locale).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Milliseconds of a monotonic clock: only differences mean anything.
std::int64_t GetSystemMilliseconds();

// The current date-time as days since 30 December 1899 (fraction = time of day).
double UTCDateTime();
double LocalDateTime();
// Conversion between Unix time (seconds since 1970-01-01 UTC) and date-time.
double UnixTimeToDateTime(double unixSeconds);
double DateTimeToUnixTime(double dateTime);

// Invalid sequences become U+FFFD; nothing is lost silently beyond that.
std::u16string UTF8ToUTF16(std::string_view text);
std::string UTF16ToUTF8(std::u16string_view text);

// Simple (one code unit to one code unit) case folding.
char16_t SimpleFoldCase(char16_t c);

// Locale-aware comparisons (collation of the user's default locale):
// negative, zero or positive.
int UnicodeCompareStr(std::u16string_view a, std::u16string_view b);
int UnicodeCompareText(std::u16string_view a, std::u16string_view b); // ignoring case
bool UnicodeSameText(std::u16string_view a, std::u16string_view b);
// Full case mapping of the default locale (the result may change length).
std::u16string UnicodeUpperCase(std::u16string_view text);
std::u16string UnicodeLowerCase(std::u16string_view text);
