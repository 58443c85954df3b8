#include "uSettings.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteAll(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A fresh folder per test, removed afterwards.
class SettingsFolder : public testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        FDir = fs::temp_directory_path()
               / ("tervalo_settings_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(FDir);
        fs::create_directories(FDir);
    }
    void TearDown() override { fs::remove_all(FDir); }

    std::string File(const std::string& name = "settings.xsf") const
    {
        return (FDir / name).string();
    }

    fs::path FDir;
};

using uSettings = SettingsFolder;

} // namespace

TEST_F(uSettings, SavedFileHasTheDocumentLayout)
{
    {
        TSettMngr sett(File());
        sett.Write("Server", "Port", 8080);
        sett.Write("Server", "Root", std::string("/srv/www/"));
        sett.Write("Updater", "NoAsk", std::string("0.05"));
        sett.Save();
    }
    const std::string text = ReadAll(File());
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << text;
    EXPECT_NE(text.find("<!--XML Settings File - "), std::string::npos) << text;
    // Sections and keys lower-cased, in the order they were first written.
    const size_t root = text.find("<xsf>");
    const size_t server = text.find("<server>");
    const size_t port = text.find("<port>8080</port>");
    const size_t docRoot = text.find("<root>/srv/www/</root>");
    const size_t updater = text.find("<updater>");
    const size_t noAsk = text.find("<noask>0.05</noask>");
    ASSERT_NE(root, std::string::npos) << text;
    ASSERT_NE(noAsk, std::string::npos) << text;
    EXPECT_LT(root, server);
    EXPECT_LT(server, port);
    EXPECT_LT(port, docRoot);
    EXPECT_LT(docRoot, updater);
    EXPECT_LT(updater, noAsk);
}

TEST_F(uSettings, NamesMatchInAnyLetterCase)
{
    TSettMngr sett(File());
    sett.Write("Server", "Port", 8080);
    const struct {
        const char* section;
        const char* key;
    } cases[] = {{"Server", "Port"}, {"server", "port"}, {"SERVER", "PORT"}, {"sErVeR", "pOrT"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(sett.Read(c.section, c.key, 80), 8080);
    }
    // Only A to Z are folded: a name with other letters stays distinct.
    sett.Write("Ünits", "Ä", std::string("x"));
    EXPECT_EQ(sett.Read("ünits", "ä", "none"), "none");
    EXPECT_EQ(sett.Read("Ünits", "Ä", "none"), "x");
}

TEST_F(uSettings, ValuesSurviveSaveAndReload)
{
    const std::string text = "Grüße <&> \"quoted\" 'single' 日本";
    {
        TSettMngr sett(File());
        sett.Write("A", "Text", text);
        sett.Write("A", "Int", -2147483647 - 1);
        sett.Write("A", "True", true);
        sett.Write("A", "False", false);
        sett.Write("A", "Float", 0.1);
        sett.Write("A", "Big", 1.5e300);
        sett.Save();
    }
    TSettMngr sett(File());
    EXPECT_FALSE(sett.Modified());
    EXPECT_EQ(sett.Read("A", "Text", ""), text);
    EXPECT_EQ(sett.Read("A", "Int", 0), -2147483647 - 1);
    EXPECT_TRUE(sett.Read("A", "True", false));
    EXPECT_FALSE(sett.Read("A", "False", true));
    EXPECT_EQ(sett.Read("A", "Float", 0.0), 0.1);
    EXPECT_EQ(sett.Read("A", "Big", 0.0), 1.5e300);
    // Booleans and floats are stored in their plain text forms.
    EXPECT_EQ(sett.Read("A", "True", ""), "1");
    EXPECT_EQ(sett.Read("A", "False", ""), "0");
    EXPECT_EQ(sett.Read("A", "Float", ""), "0.1");
}

TEST_F(uSettings, TextThatDoesNotConvertReadsAsTheDefault)
{
    TSettMngr sett(File());
    const struct {
        const char* stored;
        int asInt;       // read with default 7
        bool asBool;     // read with default true
        double asDouble; // read with default 2.5
    } cases[] = {
        {"abc", 7, true, 2.5},     {"true", 7, true, 2.5},
        {"0", 0, false, 0.0},      {"1", 1, true, 1.0},
        {"-12", -12, true, -12.0}, {"+12", 12, true, 12.0},
        {"+-12", 7, true, 2.5},    {"12abc", 7, true, 2.5},
        {" 12", 7, true, 2.5},     {"2147483648", 7, true, 2147483648.0},
        {"1.5", 7, true, 1.5},     {"1,5", 7, true, 2.5},
        {"", 7, true, 2.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        sett.Write("S", "K", std::string(c.stored));
        EXPECT_EQ(sett.Read("S", "K", 7), c.asInt);
        EXPECT_EQ(sett.Read("S", "K", true), c.asBool);
        EXPECT_EQ(sett.Read("S", "K", 2.5), c.asDouble);
    }
}

TEST_F(uSettings, MissingSectionsKeysAndEmptyNamesReadAsTheDefault)
{
    TSettMngr sett(File());
    sett.Write("Server", "Port", std::string("8080"));
    const struct {
        const char* section;
        const char* key;
    } cases[] = {{"", "Port"}, {"Server", ""}, {"Other", "Port"}, {"Server", "Other"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(sett.Read(c.section, c.key, "def"), "def");
        EXPECT_EQ(sett.Read(c.section, c.key, 80), 80);
    }
}

TEST_F(uSettings, ModifiedIsSetByChangesOnly)
{
    const struct {
        const char* name;
        std::function<void(TSettMngr&)> action;
        bool modified;
    } cases[] = {
        {"nothing", [](TSettMngr&) {}, false},
        {"read", [](TSettMngr& s) { s.Read("S", "K", 1); }, false},
        {"write", [](TSettMngr& s) { s.Write("S", "K", 1); }, true},
        {"write without section", [](TSettMngr& s) { s.Write("", "K", 1); }, false},
        {"write without key", [](TSettMngr& s) { s.Write("S", "", 1); }, false},
        {"delete missing key", [](TSettMngr& s) { s.Delete("S", "K"); }, false},
        {"save", [](TSettMngr& s) { s.Save(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSettMngr sett(File());
        c.action(sett);
        EXPECT_EQ(sett.Modified(), c.modified);
    }
    EXPECT_FALSE(fs::exists(File())) << "a store never written must not create the file";
}

TEST_F(uSettings, RewritingTheStoredValueIsNoChange)
{
    {
        TSettMngr sett(File());
        sett.Write("Server", "Port", 8080);
        EXPECT_TRUE(sett.Modified());
        sett.Save();
        EXPECT_TRUE(sett.Modified()) << "saving does not clear the flag";
    }
    TSettMngr sett(File());
    sett.Write("server", "port", 8080);
    sett.Write("Server", "Port", std::string("8080"));
    EXPECT_FALSE(sett.Modified());
    sett.Write("Server", "Port", std::string("08080"));
    EXPECT_TRUE(sett.Modified()) << "values compare exactly, not as numbers";
}

TEST_F(uSettings, DeleteRemovesTheKeyButKeepsTheSection)
{
    {
        TSettMngr sett(File());
        sett.Write("Server", "Port", 8080);
        sett.Save();
    }
    TSettMngr sett(File());
    sett.Delete("SERVER", "PORT");
    EXPECT_TRUE(sett.Modified());
    EXPECT_EQ(sett.Read("Server", "Port", 80), 80);
    sett.Save();
    const std::string text = ReadAll(File());
    EXPECT_EQ(text.find("<port>"), std::string::npos) << text;
    EXPECT_NE(text.find("<server"), std::string::npos) << text;
}

TEST_F(uSettings, FileWithOnlyADeclarationLoadsAsAnEmptyStore)
{
    const struct {
        const char* name;
        const char* content;
    } cases[] = {
        {"declaration", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"},
        {"declaration and comment", "<?xml version=\"1.0\"?><!-- nothing -->"},
        {"empty file", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(File(), c.content);
        {
            TSettMngr sett(File());
            EXPECT_EQ(sett.Read("Server", "Port", 80), 80);
            sett.Write("Server", "Port", 81);
            sett.Save();
        }
        EXPECT_FALSE(fs::exists(File() + ".bad"));
        const std::string text = ReadAll(File());
        EXPECT_NE(text.find("<xsf>"), std::string::npos) << text;
        EXPECT_NE(text.find("<port>81</port>"), std::string::npos) << text;
        TSettMngr again(File());
        EXPECT_EQ(again.Read("Server", "Port", 80), 81);
    }
}

TEST_F(uSettings, FileTextIsUTF8WhenValidElseLatin1)
{
    const struct {
        const char* name;
        std::string bytes;
        std::string expected; // UTF-8
    } cases[] = {
        {"UTF-8",
         "<xsf><s><k>Gr\xC3\xBC\xC3\x9F"
         "e</k></s></xsf>",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {"UTF-8 with BOM", "\xEF\xBB\xBF<xsf><s><k>\xC3\xBC</k></s></xsf>", "\xC3\xBC"},
        {"Latin-1",
         "<?xml version=\"1.0\"?><xsf><s><k>Gr\xFC\xDF"
         "e</k></s></xsf>",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(File(), c.bytes);
        TSettMngr sett(File());
        EXPECT_EQ(sett.Read("S", "K", ""), c.expected);
    }
}

TEST_F(uSettings, BrokenFileIsKeptAsideAndTheStoreStartsEmpty)
{
    const std::string broken = "<?xml version=\"1.0\"?><xsf><server><port>8080</port></xsf>";
    WriteAll(File(), broken);
    testing::internal::CaptureStderr();
    {
        TSettMngr sett(File());
        EXPECT_EQ(sett.Read("Server", "Port", 80), 80);
        sett.Write("Server", "Port", 9090);
        sett.Save();
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(File() + ".bad"), std::string::npos) << err;
    EXPECT_EQ(ReadAll(File() + ".bad"), broken);
    TSettMngr sett(File());
    EXPECT_EQ(sett.Read("Server", "Port", 80), 9090);
}

TEST_F(uSettings, SaveCreatesMissingFoldersAndFailsSilently)
{
    const std::string nested = (FDir / "a" / "b" / "settings.xsf").string();
    {
        TSettMngr sett(nested);
        sett.Write("S", "K", 1);
        sett.Save();
    }
    EXPECT_TRUE(fs::exists(nested));

    // A file where a folder should be: the save cannot succeed.
    WriteAll(FDir / "blocker", "x");
    TSettMngr sett((FDir / "blocker" / "settings.xsf").string());
    sett.Write("S", "K", 1);
    EXPECT_NO_THROW(sett.Save());
    EXPECT_EQ(sett.Read("S", "K", 0), 1) << "the settings stay in memory";
}

TEST_F(uSettings, MRUListKeepsOrderAndStopsAtItsMaximum)
{
    TMRUList list;
    list.MaxCount = 3;
    list.Items = {"first", "second", "third", "fourth", "fifth"};
    {
        TSettMngr sett(File());
        sett.WriteMRU("Files", "Recent", list);
        EXPECT_TRUE(sett.Modified());
        sett.Save();
    }
    const std::string text = ReadAll(File());
    EXPECT_NE(text.find("<item1>first</item1>"), std::string::npos) << text;
    EXPECT_NE(text.find("<item3>third</item3>"), std::string::npos) << text;
    EXPECT_EQ(text.find("<item4>"), std::string::npos) << text;

    TSettMngr sett(File());
    TMRUList read;
    read.MaxCount = 10;
    read.Items = {"stale"};
    sett.ReadMRU("files", "recent", read);
    EXPECT_EQ(read.Items, (std::vector<std::string>{"first", "second", "third"}));

    // A shorter maximum reads only the first slots; a missing key leaves the list alone.
    TMRUList shorter;
    shorter.MaxCount = 2;
    sett.ReadMRU("Files", "Recent", shorter);
    EXPECT_EQ(shorter.Items, (std::vector<std::string>{"first", "second"}));
    TMRUList untouched;
    untouched.Items = {"kept"};
    sett.ReadMRU("Files", "Other", untouched);
    EXPECT_EQ(untouched.Items, (std::vector<std::string>{"kept"}));
}

TEST_F(uSettings, FormGeometryRoundTrip)
{
    TSettMngr sett(File());
    const TFormGeometry stored{10, 20, 650, 350, TFormGeometry::fsMaximized};
    sett.WriteForm("Windows", "Main", stored);
    EXPECT_TRUE(sett.Modified());
    TFormGeometry read;
    sett.ReadForm("Windows", "Main", read);
    EXPECT_EQ(read.Left, 10);
    EXPECT_EQ(read.Top, 20);
    EXPECT_EQ(read.Width, 650);
    EXPECT_EQ(read.Height, 350);
    EXPECT_EQ(read.State, TFormGeometry::fsMaximized);

    // A minimised window comes back normal, so the program does not seem to
    // fail to open.
    sett.WriteForm("Windows", "Main", {10, 20, 650, 350, TFormGeometry::fsMinimized});
    sett.ReadForm("Windows", "Main", read);
    EXPECT_EQ(read.State, TFormGeometry::fsNormal);

    // Missing children keep the window's current values.
    sett.Delete("Windows", "Main");
    sett.Write("Windows", "Main", std::string());
    TFormGeometry current{1, 2, 3, 4, TFormGeometry::fsNormal};
    sett.ReadForm("Windows", "Main", current);
    EXPECT_EQ(current.Width, 3);
}

TEST_F(uSettings, WriteFormChangesNothingWhenTheGeometryIsStored)
{
    {
        TSettMngr sett(File());
        sett.WriteForm("Windows", "Main", {10, 20, 650, 350, 0});
        sett.Save();
    }
    TSettMngr sett(File());
    sett.WriteForm("Windows", "Main", {10, 20, 650, 350, 0});
    EXPECT_FALSE(sett.Modified());
    sett.WriteForm("Windows", "Main", {11, 20, 650, 350, 0});
    EXPECT_TRUE(sett.Modified());
}

// ---- TThreadSettMngr ----

TEST_F(uSettings, SharedExecLockedReleasesTheLockWhenTheProcedureFails)
{
    TThreadSettMngr sett(File());
    EXPECT_THROW(sett.ExecLocked([](TSettMngr& s) {
        s.Write("S", "K", 1);
        throw std::runtime_error("failed");
    }),
                 std::runtime_error);
    // Another thread can take the lock again.
    int read = 0;
    std::thread other([&] { read = sett.Read("S", "K", 0); });
    other.join();
    EXPECT_EQ(read, 1);
}

TEST_F(uSettings, SharedReadWaitsForExecLocked)
{
    TThreadSettMngr sett(File());
    std::atomic<bool> readDone{false};
    std::string seen;
    std::thread reader;
    sett.ExecLocked([&](TSettMngr& s) {
        s.Write("S", "K", std::string("half"));
        reader = std::thread([&] {
            seen = sett.Read("S", "K", "");
            readDone = true;
        });
        // Give the reader every chance to get in; it must not.
        for (int i = 0; i < 50 && !readDone; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_FALSE(readDone);
        s.Write("S", "K", std::string("whole"));
    });
    reader.join();
    EXPECT_EQ(seen, "whole");
}

TEST_F(uSettings, SharedLockIsReentrant)
{
    TThreadSettMngr sett(File());
    TSettMngr& outer = sett.Lock();
    sett.ExecLocked([&](TSettMngr& inner) {
        EXPECT_EQ(&inner, &outer);
        inner.Write("S", "K", 5);
        EXPECT_EQ(sett.Read("S", "K", 0), 5);
    });
    sett.Unlock();
    EXPECT_TRUE(sett.Modified());
    EXPECT_EQ(sett.Path(), File());
}

TEST_F(uSettings, SharedDestroyWaitsForEveryBackgroundSave)
{
    // More saves than a single wait on many handles could take at once.
    {
        TThreadSettMngr sett(File());
        for (int i = 0; i < 100; ++i) {
            sett.Write("Server", "Port", 8000 + i);
            sett.Save();
        }
    }
    EXPECT_FALSE(fs::exists(File() + ".tmp"));
    TSettMngr sett(File());
    EXPECT_EQ(sett.Read("Server", "Port", 0), 8099);
}

TEST_F(uSettings, SharedDestroyDoesNotSave)
{
    {
        TThreadSettMngr sett(File());
        sett.Write("Server", "Port", 8080);
    }
    EXPECT_FALSE(fs::exists(File()));
}
