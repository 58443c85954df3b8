#include "tvsFileSystem.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

std::string Bytes(const char* text, size_t size)
{
    return std::string(text, size);
}

// A fresh folder per test, removed afterwards.
class tvsFileSystemFiles : public testing::Test {
protected:
    void SetUp() override
    {
        FDir = std::filesystem::temp_directory_path()
               / ("tvsFileSystem_test-" + std::to_string(::getpid()) + "-"
                  + testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(FDir);
        std::filesystem::create_directories(FDir);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(FDir, ignored);
    }
    std::filesystem::path Write(const std::string& name, const std::string& bytes)
    {
        const std::filesystem::path path = FDir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::filesystem::path FDir;
};

} // namespace

TEST(tvsFileSystem, DecodeTextPicksTheEncoding)
{
    // clang-format off
    const struct {
        const char* name;
        std::string bytes;
        std::u16string expected;
    } cases[] = {
        {"empty", "", u""},
        {"ascii", "abc", u"abc"},
        {"utf-8", "\xC3\xA9t\xC3\xA9", u"\u00e9t\u00e9"},
        {"utf-8 four bytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"utf-8 bom", "\xEF\xBB\xBF\xC3\xA9", u"\u00e9"},
        {"utf-8 bom only", "\xEF\xBB\xBF", u""},
        {"latin-1", "\xE9t\xE9", u"\u00e9t\u00e9"},
        {"latin-1 lone continuation", "a\x80", u"a\u0080"},
        {"latin-1 overlong slash", "\xC0\xAF", u"\u00c0\u00af"},
        {"latin-1 encoded surrogate", "\xED\xA0\x80", u"\u00ed\u00a0\u0080"},
        {"latin-1 above U+10FFFF", "\xF4\x90\x80\x80", u"\u00f4\u0090\u0080\u0080"},
        {"latin-1 cut sequence", "a\xC3", u"a\u00c3"},
        {"latin-1 half bom", "\xEF\xBB", u"\u00ef\u00bb"},
        {"nul kept", Bytes("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"utf-16 le", Bytes("\xFF\xFE" "a\0\xE9\0", 6), u"a\u00e9"},
        {"utf-16 le pair", Bytes("\xFF\xFE" "\x3D\xD8\x00\xDE", 6), u"\U0001F600"},
        {"utf-16 be", Bytes("\xFE\xFF" "\0a\0\xE9", 6), u"a\u00e9"},
        {"utf-16 be pair", Bytes("\xFE\xFF" "\xD8\x3D\xDE\x00", 6), u"\U0001F600"},
        {"utf-16 odd length", Bytes("\xFF\xFE" "a\0b", 5), u"a\ufffd"},
        {"utf-16 bom only", "\xFF\xFE", u""},
        // After a byte-order mark the text is UTF-8 even where it is broken.
        {"utf-8 bom bad byte", "\xEF\xBB\xBF" "a\xFF" "b", u"a\ufffdb"},
        {"utf-8 bom cut sequence", "\xEF\xBB\xBF\xE2\x82" "x", u"\ufffdx"},
        {"utf-8 bom cut at end", "\xEF\xBB\xBF" "a\xF0\x9F\x98", u"a\ufffd"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeText(c.bytes), c.expected);
    }
}

TEST(tvsFileSystem, JoinLinesWithCRLF)
{
    const struct {
        std::u16string text;
        std::u16string expected;
    } cases[] = {
        {u"", u""},
        {u"a", u"a\r\n"},
        {u"a\r\n", u"a\r\n"},
        {u"a\n", u"a\r\n"},
        {u"a\r", u"a\r\n"},
        {u"a\nb", u"a\r\nb\r\n"},
        {u"a\rb", u"a\r\nb\r\n"},
        {u"a\r\nb\r\n", u"a\r\nb\r\n"},
        {u"\n", u"\r\n"},
        {u"\n\r", u"\r\n\r\n"},     // LF CR is two breaks
        {u"a\r\r\n", u"a\r\n\r\n"}, // CR, then CR LF
        {u"a\n\n", u"a\r\n\r\n"},
        {u"\r\n\r\n", u"\r\n\r\n"},
        {u" \t ", u" \t \r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(JoinLinesWithCRLF(c.text), c.expected);
    }
}

TEST(tvsFileSystem, TextToUTF8)
{
    // clang-format off
    const struct {
        std::u16string text;
        std::string expected;
    } cases[] = {
        {u"", ""},
        {u"a\u00e9\u20ac\U0001F600", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {std::u16string(u"a\0b", 3), Bytes("a\0b", 3)},
        // Unpaired surrogates have no UTF-8 form.
        {std::u16string{u'a', char16_t(0xD83D)}, "a\xEF\xBF\xBD"},
        {std::u16string{char16_t(0xDE00), u'a'}, "\xEF\xBF\xBD" "a"},
        {std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)},
         "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(TextToUTF8(c.text), c.expected);
    }
}

TEST_F(tvsFileSystemFiles, LoadTextFileDecodesAndJoinsLines)
{
    // clang-format off
    const struct {
        const char* name;
        std::string bytes;
        std::u16string expected;
    } cases[] = {
        {"empty", "", u""},
        {"no final break", "<p>\nx", u"<p>\r\nx\r\n"},
        {"latin-1 with cr", "caf\xE9\r", u"caf\u00e9\r\n"},
        {"utf-8 bom", "\xEF\xBB\xBF\xE2\x82\xAC\n\n", u"\u20ac\r\n\r\n"},
        {"utf-16 le", Bytes("\xFF\xFE" "a\0\n\0b\0", 8), u"a\r\nb\r\n"},
        {"utf-16 be", Bytes("\xFE\xFF" "\0a\0\r\0\n", 8), u"a\r\n"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadTextFile(Write("file.txt", c.bytes)), c.expected);
    }

    // Bigger than one read, so the pieces must be put together in order.
    std::string big;
    for (int i = 0; i < 30000; ++i)
        big += "line " + std::to_string(i) + "\n";
    const std::u16string text = LoadTextFile(Write("big.txt", big));
    EXPECT_EQ(text.substr(0, 16), u"line 0\r\nline 1\r\n");
    EXPECT_EQ(text.size(), big.size() + 30000);
    EXPECT_EQ(text.substr(text.size() - 12), u"line 29999\r\n");
}

TEST_F(tvsFileSystemFiles, FileErrorsNameTheFileAndTheReason)
{
    const struct {
        std::filesystem::path path;
        std::u16string reason;
    } cases[] = {
        {FDir / "missing.dsp", u"No such file or directory"},
        {FDir / "missing" / "x.dsp", u"No such file or directory"},
        {FDir, u"Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        try {
            LoadTextFile(c.path);
            ADD_FAILURE() << "no exception";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.Message(),
                      u"Cannot open file \"" + c.path.u16string() + u"\". " + c.reason);
            EXPECT_EQ(std::u16string(e.ClassName()), u"EFOpenError");
        }
    }
}

TEST_F(tvsFileSystemFiles, NamedPipeWithoutWriterDoesNotHang)
{
    const std::filesystem::path pipe = FDir / "pipe.dsp";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [&] { return LoadTextFile(pipe); });
    if (reading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // Free the blocked reader so the test ends instead of hanging.
        const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        ADD_FAILURE() << "reading a pipe without writer blocked";
    }
    EXPECT_EQ(reading.get(), u"");
}

namespace {

// Names are taken relative to one folder, as a host that fences scripts in
// would do it.
class TRootedFileSystem final : public TtvsOSFileSystem {
public:
    explicit TRootedFileSystem(std::u16string root) : FRoot(std::move(root)) {}
    std::u16string ValidateFileName(const std::u16string& fileName) override
    {
        return FRoot + u"/" + fileName;
    }

private:
    std::u16string FRoot;
};

} // namespace

TEST_F(tvsFileSystemFiles, OSFileSystemFindsOnlyFiles)
{
    Write("page.dsp", "x");
    TtvsOSFileSystem fs;
    const std::u16string dir = FDir.u16string();
    EXPECT_TRUE(fs.FileExists(dir + u"/page.dsp"));
    EXPECT_FALSE(fs.FileExists(dir + u"/other.dsp"));
    EXPECT_FALSE(fs.FileExists(dir));
    EXPECT_FALSE(fs.FileExists(u""));
}

TEST_F(tvsFileSystemFiles, OSFileSystemOpenModes)
{
    TtvsOSFileSystem fs;
    const std::u16string dir = FDir.u16string();
    Write("old.txt", "old text");

    for (const int mode : {TtvsBaseFileSystem::fmCreate, TtvsBaseFileSystem::fmCreateNew}) {
        SCOPED_TRACE(mode);
        {
            auto stream = fs.OpenFileStream(dir + u"/old.txt", mode);
            *stream << "new";
        }
        EXPECT_EQ(LoadTextFile(FDir / "old.txt"), u"new\r\n"); // emptied, not overwritten
        Write("old.txt", "old text");
    }

    auto reading = fs.OpenFileStream(dir + u"/old.txt", TtvsBaseFileSystem::fmOpenRead);
    std::string first;
    *reading >> first;
    EXPECT_EQ(first, "old");

    const struct {
        std::u16string name;
        int mode;
        std::u16string message;
    } failures[] = {
        {dir + u"/missing.txt", 0,
         u"Cannot open file \"" + dir + u"/missing.txt\". No such file or directory"},
        {dir + u"/no/new.txt", 1,
         u"Cannot create file \"" + dir + u"/no/new.txt\". No such file or directory"},
        {dir, 0, u"Cannot open file \"" + dir + u"\". Is a directory"},
    };
    for (const auto& c : failures) {
        SCOPED_TRACE(testing::PrintToString(c.name));
        try {
            fs.OpenFileStream(c.name, c.mode);
            ADD_FAILURE() << "no exception";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }

    try {
        fs.OpenFileStream(dir + u"/old.txt", 3);
        ADD_FAILURE() << "no exception";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message().rfind(u"Assertion failure", 0), 0u);
    }
}

TEST_F(tvsFileSystemFiles, LoadTextFileGoesThroughTheFileSystem)
{
    Write("page.dsp", "\xEF\xBB\xBFon\ntwo");
    TRootedFileSystem fs(FDir.u16string());
    EXPECT_EQ(LoadTextFile(fs, u"page.dsp"), u"on\r\ntwo\r\n");
    EXPECT_THROW(LoadTextFile(fs, u"missing.dsp"), EFOpenError);
}
