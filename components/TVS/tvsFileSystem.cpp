#include "tvsFileSystem.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr char16_t OpenErrorFormat[] = u"Cannot open file \"%s\". %s";
constexpr char16_t ReadErrorFormat[] = u"Cannot read file \"%s\". %s";
constexpr char16_t CreateErrorFormat[] = u"Cannot create file \"%s\". %s";
constexpr char16_t AssertionFailureText[] = u"Assertion failure";

constexpr char16_t ReplacementChar = 0xFFFD;

void AppendCodePoint(std::u16string& out, uint32_t cp)
{
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// One UTF-8 sequence starting at bytes[i]. When it is broken, len covers the
// longest start of a valid sequence (at least one byte), so one bad sequence
// gives one replacement character, as browsers do.
struct TUTF8Step {
    uint32_t cp;
    size_t len;
    bool ok;
};

TUTF8Step DecodeUTF8At(std::string_view bytes, size_t i)
{
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80)
        return {b0, 1, true};
    size_t need = 0;
    uint32_t cp = 0;
    // The bounds of the second byte exclude overlong forms, surrogates and
    // code points above U+10FFFF, which strict UTF-8 forbids.
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0Fu;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07u;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return {0, 1, false};
    }
    size_t len = 1;
    for (size_t k = 0; k < need; ++k) {
        if (i + len >= bytes.size())
            return {0, len, false};
        const auto b = static_cast<unsigned char>(bytes[i + len]);
        if (b < lo || b > hi)
            return {0, len, false};
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3Fu);
        ++len;
    }
    return {cp, len, true};
}

std::optional<std::u16string> DecodeStrictUTF8(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const TUTF8Step step = DecodeUTF8At(bytes, i);
        if (!step.ok)
            return std::nullopt;
        AppendCodePoint(out, step.cp);
        i += step.len;
    }
    return out;
}

std::u16string DecodeLenientUTF8(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const TUTF8Step step = DecodeUTF8At(bytes, i);
        if (step.ok)
            AppendCodePoint(out, step.cp);
        else
            out += ReplacementChar;
        i += step.len;
    }
    return out;
}

std::u16string DecodeLatin1(std::string_view bytes)
{
    std::u16string out;
    out.resize(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<unsigned char>(bytes[i]);
    return out;
}

std::u16string DecodeUTF8OrLatin1(std::string_view bytes)
{
    if (auto text = DecodeStrictUTF8(bytes))
        return std::move(*text);
    return DecodeLatin1(bytes);
}

// Surrogates are copied as they come: UTF-16 text in memory may hold them
// unpaired, and the script sees exactly what the file holds.
std::u16string DecodeUTF16(std::string_view bytes, bool bigEndian)
{
    std::u16string out;
    out.reserve(bytes.size() / 2 + 1);
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        out += bigEndian ? static_cast<char16_t>((first << 8) | second)
                         : static_cast<char16_t>((second << 8) | first);
    }
    // A lone last byte is half a character: show that something was there.
    if (i < bytes.size())
        out += ReplacementChar;
    return out;
}

bool StartsWith(std::string_view bytes, std::string_view prefix)
{
    return bytes.substr(0, prefix.size()) == prefix;
}

// Only two %s are ever filled in here, so a formatter is not worth it.
std::u16string FileErrorText(std::u16string_view format, const std::filesystem::path& fileName,
                             int error)
{
    const std::u16string name = DecodeUTF8OrLatin1(fileName.native());
    const std::u16string reason = DecodeUTF8OrLatin1(std::generic_category().message(error));
    std::u16string text;
    bool nameDone = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's') {
            text += nameDone ? reason : name;
            nameDone = true;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

// Closes the descriptor on every path out of ReadFileBytes.
class TFileHandle final {
public:
    explicit TFileHandle(int fd) : FFd(fd) {}
    ~TFileHandle()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

std::filesystem::path PathOf(const std::u16string& fileName)
{
    return std::filesystem::path(TextToUTF8(fileName));
}

} // namespace

std::string ReadFileBytes(const std::filesystem::path& fileName)
{
    // Opened without blocking: a named pipe without a writer would otherwise
    // hang the caller in open() for good.
    TFileHandle file(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0)
        throw EFOpenError(FileErrorText(OpenErrorFormat, fileName, errno));
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        throw EFOpenError(FileErrorText(OpenErrorFormat, fileName, errno));
    // A folder opens fine on this system but is no text: say so up front.
    if (S_ISDIR(info.st_mode))
        throw EFOpenError(FileErrorText(OpenErrorFormat, fileName, EISDIR));
    // Back to blocking reads, so a pipe that has a writer is read to its end.
    const int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);

    std::string bytes;
    if (S_ISREG(info.st_mode) && info.st_size > 0)
        bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw EReadError(FileErrorText(ReadErrorFormat, fileName, errno));
        }
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}

std::u16string DecodeText(std::string_view bytes)
{
    if (StartsWith(bytes, "\xEF\xBB\xBF"))
        return DecodeLenientUTF8(bytes.substr(3));
    if (StartsWith(bytes, "\xFF\xFE"))
        return DecodeUTF16(bytes.substr(2), false);
    if (StartsWith(bytes, "\xFE\xFF"))
        return DecodeUTF16(bytes.substr(2), true);
    return DecodeUTF8OrLatin1(bytes);
}

std::u16string JoinLinesWithCRLF(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = i;
        while (i < text.size() && text[i] != u'\r' && text[i] != u'\n')
            ++i;
        out.append(text.substr(start, i - start));
        out += u"\r\n";
        if (i == text.size())
            break;
        // CR LF is one break; LF CR is two.
        i += (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
    }
    return out;
}

std::u16string LoadTextFile(const std::filesystem::path& fileName)
{
    return JoinLinesWithCRLF(DecodeText(ReadFileBytes(fileName)));
}

std::string TextToUTF8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    auto put = [&out](uint32_t value) { out += static_cast<char>(value); };
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = ReplacementChar;
        }
        if (cp < 0x80) {
            put(cp);
        } else if (cp < 0x800) {
            put(0xC0 | (cp >> 6));
            put(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            put(0xE0 | (cp >> 12));
            put(0x80 | ((cp >> 6) & 0x3F));
            put(0x80 | (cp & 0x3F));
        } else {
            put(0xF0 | (cp >> 18));
            put(0x80 | ((cp >> 12) & 0x3F));
            put(0x80 | ((cp >> 6) & 0x3F));
            put(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

bool TtvsOSFileSystem::FileExists(const std::u16string& fileName)
{
    std::error_code ignored;
    return std::filesystem::is_regular_file(PathOf(ValidateFileName(fileName)), ignored);
}

std::unique_ptr<std::fstream> TtvsOSFileSystem::OpenFileStream(const std::u16string& fileName,
                                                               int mode)
{
    std::ios::openmode how = std::ios::binary;
    const char16_t* errorFormat = OpenErrorFormat;
    switch (mode) {
    case fmOpenRead:
        how |= std::ios::in;
        break;
    case fmCreate:
    case fmCreateNew:
        // Opening for writing empties the file, which is all both modes ask.
        how |= std::ios::in | std::ios::out | std::ios::trunc;
        errorFormat = CreateErrorFormat;
        break;
    default:
        throw EAssertionFailed(std::u16string(AssertionFailureText) + u" (tvsFileSystem.cpp, line "
                               + DecodeLatin1(std::to_string(__LINE__)) + u")");
    }
    const std::filesystem::path path = PathOf(ValidateFileName(fileName));
    // The stream library opens a folder for reading without complaint.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        throw EFOpenError(FileErrorText(errorFormat, path, EISDIR));
    errno = 0;
    auto stream = std::make_unique<std::fstream>(path, how);
    if (!stream->is_open())
        throw EFOpenError(FileErrorText(errorFormat, path, errno != 0 ? errno : EIO));
    return stream;
}

std::u16string TtvsOSFileSystem::ValidateFileName(const std::u16string& fileName)
{
    return fileName;
}

std::u16string LoadTextFile(TtvsBaseFileSystem& fileSystem, const std::u16string& fileName)
{
    const std::unique_ptr<std::fstream> stream =
        fileSystem.OpenFileStream(fileName, TtvsBaseFileSystem::fmOpenRead);
    std::string bytes{std::istreambuf_iterator<char>(*stream), std::istreambuf_iterator<char>()};
    if (stream->bad())
        throw EReadError(FileErrorText(ReadErrorFormat, PathOf(fileName), EIO));
    return JoinLinesWithCRLF(DecodeText(bytes));
}
