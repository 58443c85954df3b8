#include "tvsXPlatform.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

namespace {

// Days between 30 December 1899 (date-time zero) and 1 January 1970.
constexpr double UnixEpochDateTime = 25569.0;
constexpr double SecondsPerDay = 86400.0;

const UChar* AsUChar(const char16_t* text)
{
    return reinterpret_cast<const UChar*>(text);
}
UChar* AsUChar(char16_t* text)
{
    return reinterpret_cast<UChar*>(text);
}

int32_t CheckedLength(size_t length)
{
    // ICU counts in 32 bits; a longer text is beyond anything a script makes.
    return length > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(length);
}

struct TCollatorCloser {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};
using TCollatorPtr = std::unique_ptr<UCollator, TCollatorCloser>;

// The locale whose collation the comparisons use. Under the C/POSIX locale
// ICU picks a tailoring that orders by code point, case first, which would
// make case-insensitive comparison compare case; the root collation is
// what a user without a configured locale expects.
const char* CollationLocale()
{
    const char* name = uloc_getDefault();
    return std::strcmp(name, "en_US_POSIX") == 0 ? "" : name;
}

// One collator per strength for the default locale, created on first use.
// Comparing through a const collator is safe from several threads.
const UCollator* DefaultCollator(bool ignoreCase)
{
    static const TCollatorPtr caseSensitive = [] {
        UErrorCode status = U_ZERO_ERROR;
        TCollatorPtr collator(ucol_open(CollationLocale(), &status));
        if (collator)
            ucol_setStrength(collator.get(), UCOL_TERTIARY);
        return collator;
    }();
    static const TCollatorPtr caseInsensitive = [] {
        UErrorCode status = U_ZERO_ERROR;
        TCollatorPtr collator(ucol_open(CollationLocale(), &status));
        if (collator)
            ucol_setStrength(collator.get(), UCOL_SECONDARY);
        return collator;
    }();
    return ignoreCase ? caseInsensitive.get() : caseSensitive.get();
}

int Compare(std::u16string_view a, std::u16string_view b, bool ignoreCase)
{
    const UCollator* collator = DefaultCollator(ignoreCase);
    if (!collator) {
        // No collation data: fall back to code-unit order rather than fail.
        const int c = a.compare(b);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    switch (ucol_strcoll(collator, AsUChar(a.data()), CheckedLength(a.size()), AsUChar(b.data()),
                         CheckedLength(b.size()))) {
    case UCOL_LESS:
        return -1;
    case UCOL_GREATER:
        return 1;
    default:
        return 0;
    }
}

using TCaseMapper = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

std::u16string MapCase(std::u16string_view text, TCaseMapper mapper)
{
    std::u16string result(text.size(), u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            mapper(AsUChar(result.data()), CheckedLength(result.size()), AsUChar(text.data()),
                   CheckedLength(text.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            result.assign(static_cast<size_t>(length), u'\0');
            continue;
        }
        if (U_FAILURE(status))
            return std::u16string(text);
        result.resize(static_cast<size_t>(length));
        return result;
    }
    return std::u16string(text);
}

} // namespace

std::int64_t GetSystemMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

double UnixTimeToDateTime(double unixSeconds)
{
    return unixSeconds / SecondsPerDay + UnixEpochDateTime;
}

double DateTimeToUnixTime(double dateTime)
{
    return (dateTime - UnixEpochDateTime) * SecondsPerDay;
}

double UTCDateTime()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return UnixTimeToDateTime(static_cast<double>(ms) / 1000.0);
}

double LocalDateTime()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    return UnixTimeToDateTime(static_cast<double>(ms) / 1000.0
                              + static_cast<double>(local.tm_gmtoff));
}

std::u16string UTF8ToUTF16(std::string_view text)
{
    if (text.empty())
        return {};
    std::u16string result(text.size(), u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8WithSub(AsUChar(result.data()), CheckedLength(result.size()), &length, text.data(),
                         CheckedLength(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    result.resize(static_cast<size_t>(length));
    return result;
}

std::string UTF16ToUTF8(std::u16string_view text)
{
    if (text.empty())
        return {};
    std::string result(text.size() * 3, '\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8WithSub(result.data(), CheckedLength(result.size()), &length, AsUChar(text.data()),
                       CheckedLength(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    result.resize(static_cast<size_t>(length));
    return result;
}

char16_t SimpleFoldCase(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    const UChar32 folded = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    return folded <= 0xFFFF ? static_cast<char16_t>(folded) : c;
}

int UnicodeCompareStr(std::u16string_view a, std::u16string_view b)
{
    return Compare(a, b, false);
}

int UnicodeCompareText(std::u16string_view a, std::u16string_view b)
{
    return Compare(a, b, true);
}

bool UnicodeSameText(std::u16string_view a, std::u16string_view b)
{
    return Compare(a, b, true) == 0;
}

std::u16string UnicodeUpperCase(std::u16string_view text)
{
    return MapCase(text, &u_strToUpper);
}

std::u16string UnicodeLowerCase(std::u16string_view text)
{
    return MapCase(text, &u_strToLower);
}
