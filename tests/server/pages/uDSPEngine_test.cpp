#include "uDSPEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "tvsExceptions.h"
#include "tvsFileSystem.h"

namespace fs = std::filesystem;

namespace {

// Pages are files: each test writes its own into a scratch folder.
class TPageFolder {
public:
    TPageFolder()
    {
        char pattern[] = "/tmp/tervalo-dsp-test-XXXXXX";
        FDir = mkdtemp(pattern);
    }
    ~TPageFolder()
    {
        std::error_code ec;
        fs::remove_all(FDir, ec);
    }
    TPageFolder(const TPageFolder&) = delete;
    TPageFolder& operator=(const TPageFolder&) = delete;

    std::string Write(const std::string& name, const std::string& bytes)
    {
        const fs::path path = FDir / name;
        std::ofstream out(path, std::ios::binary);
        out << bytes;
        return path.string();
    }

private:
    fs::path FDir;
};

// Loads, compiles and runs a page as the server does and answers its text.
std::u16string RunPage(const std::string& path, int32_t timeoutMs = 0)
{
    TDSPEngine engine;
    engine.LoadPage(path);
    engine.Compile();
    engine.Execute(timeoutMs);
    return engine.GetResult();
}

} // namespace

TEST(uDSPEngine, PageTextBecomesOutput)
{
    const struct {
        const char* name;
        std::string page;
        std::u16string expected;
    } cases[] = {
        // Literal HTML comes back with CR LF line ends and a final CR LF.
        {"pure html", "<p>a</p>\n<p>b</p>", u"<p>a</p>\r\n<p>b</p>\r\n"},
        {"lone CR", "a\rb\r\n", u"a\r\nb\r\n"},
        {"empty page", "", u""},
        // Every line of the page, the last one too, ends with CR LF, and the
        // line break after a final code block is literal text like any other.
        {"only code", "<?dsp Print('abc'); ?>", u"abc\r\n"},
        {"eval block", "<b><?dsp=6*7?></b>\n", u"<b>42</b>\r\n"},
        {"quotes and tabs", "it's\t<?dsp=1?>'\n", u"it's\t1'\r\n"},
        {"code between", "<ul>\n<?dsp var i: Integer; for i := 1 to 3 do begin Print('<li>'); "
                         "Print(i); end; ?>\n</ul>\n",
         u"<ul>\r\n<li>1<li>2<li>3\r\n</ul>\r\n"},
        // Only "<?dsp" opens a block: other processing instructions are text.
        {"other pattern", "<?pas Print(1); ?>", u"<?pas Print(1); ?>\r\n"},
        // Without a byte-order mark, bytes that are not UTF-8 are Latin-1.
        {"latin-1 page", "caf\xe9", u"caf\u00e9\r\n"},
        {"utf-8 page", "caf\xc3\xa9 \xe2\x82\xac", u"caf\u00e9 \u20ac\r\n"},
        {"utf-8 bom", "\xef\xbb\xbf\xd0\x96", u"\u0416\r\n"},
        {"utf-16 le bom", std::string("\xff\xfe\x16\x04", 4), u"\u0416\r\n"},
        {"non-latin printed", "<?dsp Print('\xe2\x82\xac'); ?>", u"\u20ac\r\n"},
    };
    TPageFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RunPage(folder.Write("page.dsp", c.page)), c.expected);
    }
}

// A run-time error ends the run, not the request: what was printed stays.
TEST(uDSPEngine, RuntimeErrorKeepsEarlierText)
{
    TPageFolder folder;
    TDSPEngine engine;
    engine.LoadPage(folder.Write("err.dsp", "before\n<?dsp var z := 0; Print(1 div z); ?>after"));
    engine.Compile();
    EXPECT_TRUE(engine.Execute(0));
    EXPECT_EQ(engine.GetResult(), u"before\r\n");
    EXPECT_FALSE(engine.RuntimeMessages().empty());
}

TEST(uDSPEngine, CompileErrorsRefuseToRun)
{
    TPageFolder folder;
    TDSPEngine engine;
    engine.LoadPage(folder.Write("bad.dsp", "<p>\n<?dsp Undeclared(1); ?>\n"));
    EXPECT_TRUE(engine.Compile());
    const std::vector<std::u16string> errors = engine.CompileErrors();
    ASSERT_FALSE(errors.empty());
    // The page's own line numbers, so the author can find the fault.
    EXPECT_NE(errors.front().find(u"line: 2"), std::u16string::npos) << TextToUTF8(errors.front());
    try {
        engine.Execute(0);
        FAIL() << "a page with compile errors ran";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"Script compiled with errors. Can't execute!");
    }
    EXPECT_EQ(engine.GetResult(), u"");
}

TEST(uDSPEngine, MissingPageRaisesFileError)
{
    TDSPEngine engine;
    try {
        engine.LoadPage("/tmp/tervalo-no-such-folder/none.dsp");
        FAIL() << "a missing page loaded";
    } catch (const Exception& e) {
        EXPECT_NE(e.Message().find(u"none.dsp"), std::u16string::npos);
    }
}

TEST(uDSPEngine, TimeoutStopsEndlessPageAndKeepsText)
{
    TPageFolder folder;
    TDSPEngine engine;
    engine.LoadPage(folder.Write("loop.dsp", "start\n<?dsp while True do ; ?>never"));
    engine.Compile();
    engine.Execute(50);
    EXPECT_EQ(engine.GetResult(), u"start\r\n");
    const std::vector<std::u16string> messages = engine.RuntimeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages.front().find(u"Script was stopped."), std::u16string::npos);
}

// A time-out of 0 is no limit: a page that takes a while still finishes.
TEST(uDSPEngine, ZeroTimeoutRunsToTheEnd)
{
    TPageFolder folder;
    const std::string path = folder.Write(
        "long.dsp", "<?dsp var i, n: Integer; for i := 1 to 2000000 do n := n + 1; Print(n); ?>");
    EXPECT_EQ(RunPage(path, 0), u"2000000\r\n");
}

// The server stopping asks every running page to end, whenever the request
// arrives in the page's life.
TEST(uDSPEngine, StopEndsRunFromAnotherThread)
{
    TPageFolder folder;
    const std::string path = folder.Write("loop.dsp", "x<?dsp while True do ; ?>");

    TDSPEngine early;
    early.LoadPage(path);
    early.Compile();
    early.Stop(); // before the run begins: not even the first statement runs
    early.Execute(0);
    EXPECT_EQ(early.GetResult(), u"");

    TDSPEngine running;
    running.LoadPage(path);
    running.Compile();
    std::atomic<bool> done{false};
    std::thread stopper([&] {
        // Stops repeatedly until the run has ended, as the server does.
        for (int i = 0; i < 2000 && !done; ++i) {
            running.Stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    running.Execute(0);
    done = true;
    stopper.join();
    // The stop may land before or after the first statement.
    const std::u16string result = running.GetResult();
    EXPECT_TRUE(result.empty() || result == u"x") << TextToUTF8(result);
}
