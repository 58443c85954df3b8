#include "uGlobals.h"

#include <algorithm>
#include <cstdint>

namespace {

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

void AppendCodePoint(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
        return;
    }
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
}

// Length of the valid UTF-8 sequence starting at bytes[i], or 0 when the
// byte there does not start one. Overlong forms, surrogates and code points
// above U+10FFFF are not valid: accepting them would let two different byte
// strings decode to the same text.
size_t ValidSequenceLength(const unsigned char* bytes, size_t count, size_t i, char32_t& cp)
{
    const unsigned char b0 = bytes[i];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (count - i < len)
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const unsigned char b = bytes[i + k];
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

void AppendUTF8OrLatin1(std::u16string& out, const unsigned char* bytes, size_t count)
{
    size_t i = 0;
    while (i < count) {
        char32_t cp = 0;
        const size_t len = ValidSequenceLength(bytes, count, i, cp);
        if (len == 0) {
            out += static_cast<char16_t>(bytes[i]);
            ++i;
        } else {
            AppendCodePoint(out, cp);
            i += len;
        }
    }
}

} // namespace

std::vector<std::u16string> SplitString(const std::u16string& delimiter, const std::u16string& text,
                                        int limit)
{
    std::vector<std::u16string> result;
    if (text.empty() || limit < 0)
        return result;
    if (delimiter.empty()) {
        result.push_back(text);
        return result;
    }
    // The text ends at its first U+0000: a decoded %00 must not smuggle
    // further parameters past the point where C-style readers stop.
    const size_t end = std::min(text.find(u'\0'), text.size());
    size_t pos = 0;
    do {
        const size_t found = text.find(delimiter, pos);
        const bool last = found == std::u16string::npos || found + delimiter.size() > end
                          || (limit > 0 && result.size() == static_cast<size_t>(limit) - 1);
        if (last) {
            result.push_back(text.substr(pos, end - pos));
            pos = end;
        } else {
            result.push_back(text.substr(pos, found - pos));
            pos = std::min(found + delimiter.size(), end);
        }
    } while (pos < end);
    return result;
}

std::u16string URLDecode(const std::u16string& text)
{
    std::u16string out;
    out.reserve(text.size());
    // Bytes from consecutive %XX escapes are collected first, because one
    // character of UTF-8 arrives as several escapes.
    std::string bytes;
    auto flush = [&] {
        AppendUTF8OrLatin1(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        bytes.clear();
    };
    size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == u'%') {
            if (text.size() - i < 3) {
                flush();
                out += c;
                ++i;
                continue;
            }
            const int hi = HexDigitValue(text[i + 1]);
            const int lo = HexDigitValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                bytes += static_cast<char>(hi * 16 + lo);
                i += 3;
            } else {
                // Not an escape: the "%" is dropped and what follows is read
                // again as ordinary input.
                ++i;
            }
            continue;
        }
        flush();
        out += c == u'+' ? u' ' : c;
        ++i;
    }
    flush();
    return out;
}

std::u16string UTF8OrLatin1ToText(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    AppendUTF8OrLatin1(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return out;
}

std::string TextToUTF8Bytes(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::u16string LowerCaseASCII(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

std::string LowerCaseASCII(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}
