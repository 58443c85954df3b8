#include "uPageRequest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "PageServerFixture.h"

namespace {

constexpr char CompiledWithErrors[] = "Script compiled with errors. Can't execute!";

} // namespace

using uPageRequest = TPageServerTest;

TEST_F(uPageRequest, OutputIsSentAsUtf8Html)
{
    // Literal text and printed text beyond Latin-1, on a page saved as UTF-8.
    WritePage("hi.dsp", "<p>\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82</p>\n"
                        "<?dsp Print('\xe2\x82\xac' + '\xc3\xa9'); ?>");
    Start();
    const THttpAnswer answer = Get(Port, "/hi.dsp");
    EXPECT_EQ(answer.Status, 200);
    EXPECT_EQ(answer.Header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(answer.Body, "<p>\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82</p>\r\n"
                           "\xe2\x82\xac\xc3\xa9\r\n");
    // The length counts bytes, not characters.
    EXPECT_EQ(answer.Header("Content-Length"), std::to_string(answer.Body.size()));

    const THttpAnswer head = Get(Port, "/hi.dsp", "HEAD");
    EXPECT_EQ(head.Status, 200);
    EXPECT_EQ(head.Header("Content-Length"), std::to_string(answer.Body.size()));
    EXPECT_EQ(head.Body, "");
}

TEST_F(uPageRequest, IndexPageAnswersForItsFolder)
{
    WritePage("index.dsp", "<?dsp=1+1?>");
    Start();
    const THttpAnswer answer = Get(Port, "/");
    EXPECT_EQ(answer.Status, 200);
    EXPECT_EQ(answer.Body, "2\r\n");
}

// The author sees only the fixed 500 text in the browser; the event log
// names the page and each error with its line and column.
TEST_F(uPageRequest, CompileErrorAnswers500AndIsLogged)
{
    WritePage("bad.dsp", "<html>\n<body>\n<?dsp Print(Undeclared); ?>\n</body>\n");
    Start();
    const THttpAnswer answer = Get(Port, "/bad.dsp");
    EXPECT_EQ(answer.Status, 500);
    EXPECT_EQ(answer.Body, CompiledWithErrors);

    const std::string prefix = "Compile error in " + PagePath("bad.dsp") + ": ";
    int found = 0;
    for (const std::string& line : LogLines()) {
        if (line.find(prefix) == std::string::npos)
            continue;
        ++found;
        EXPECT_NE(line.find("line: 3"), std::string::npos) << line;
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    }
    EXPECT_GE(found, 1);
}

// Parameters are read before the page: a duplicate name fails even for a
// page that would not compile, and nothing is compiled or logged for it.
TEST_F(uPageRequest, DuplicateParameterAnswers500BeforeThePageIsRead)
{
    WritePage("bad.dsp", "<?dsp Print(Undeclared); ?>");
    WritePage("ok.dsp", "ok");
    Start();
    const struct {
        const char* name;
        std::string target;
        std::string form;
    } cases[] = {
        {"query", "/bad.dsp?a=1&a=2", ""},
        {"query differing in case", "/ok.dsp?a=1&A=2", ""},
        {"form", "/ok.dsp", "b=1&b=2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const THttpAnswer answer = c.form.empty() ? Get(Port, c.target) : Post(c.target, c.form);
        EXPECT_EQ(answer.Status, 500);
        EXPECT_EQ(answer.Body, "Duplicates not allowed");
    }
    for (const std::string& line : LogLines())
        EXPECT_EQ(line.find("Compile error"), std::string::npos) << line;
}

// Errors while the page runs end the run, not the request: the text
// printed so far is the answer.
TEST_F(uPageRequest, RunTimeErrorsSendTextPrintedSoFar)
{
    WritePage("div.dsp", "before\n<?dsp var z := 0; Print(1 div z); ?>after");
    WritePage("loop.dsp", "start\n<?dsp while True do ; ?>never");
    Server.SetTimeout(100);
    Start();
    const struct {
        const char* page;
        const char* expected;
    } cases[] = {
        {"/div.dsp", "before\r\n"},
        {"/loop.dsp", "start\r\n"}, // stopped by the time-out
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        const THttpAnswer answer = Get(Port, c.page);
        EXPECT_EQ(answer.Status, 200);
        EXPECT_EQ(answer.Body, c.expected);
    }
}

TEST_F(uPageRequest, WithoutHtmlTypeOutputIsOctetStream)
{
    const std::string mime = PagePath("mime.txt");
    {
        std::ofstream out(mime, std::ios::binary);
        out << ".txt=text/plain\n";
    }
    Server.LoadMimeTypes(mime);
    WritePage("p.dsp", "x");
    Start();
    const THttpAnswer answer = Get(Port, "/p.dsp");
    EXPECT_EQ(answer.Status, 200);
    EXPECT_EQ(answer.Header("Content-Type"), "application/octet-stream");
}

// Each page sees the parameters of its own request, however many run at
// once on different workers.
TEST_F(uPageRequest, ConcurrentPagesSeeTheirOwnParameters)
{
    WritePage("echo.dsp", "<?dsp var i: Integer; for i := 1 to 20000 do ; Print(VarGET('n')); ?>");
    Start();
    constexpr int Clients = 8;
    std::vector<std::future<THttpAnswer>> answers;
    for (int i = 0; i < Clients; ++i)
        answers.push_back(std::async(std::launch::async, [this, i] {
            return Get(Port, "/echo.dsp?n=" + std::to_string(i));
        }));
    for (int i = 0; i < Clients; ++i) {
        const THttpAnswer answer = answers[static_cast<size_t>(i)].get();
        EXPECT_EQ(answer.Status, 200);
        EXPECT_EQ(answer.Body, std::to_string(i) + "\r\n");
    }
}

// Stopping the server must not wait for a page that never ends by itself.
TEST_F(uPageRequest, StopEndsEndlessPages)
{
    WritePage("loop.dsp", "x<?dsp while True do ; ?>");
    Server.SetTimeout(0); // no time limit
    Start();
    auto client = std::async(std::launch::async, [this] { return Get(Port, "/loop.dsp"); });
    // Give the request time to reach the page; the test holds either way.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto stopping = std::async(std::launch::async, [this] { Server.Stop(); });
    if (stopping.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        ADD_FAILURE() << "the server did not stop a running page";
        std::abort(); // the stuck worker would hang the test run
    }
    client.wait();
}

// The example site's pages, as a new user meets them.
TEST_F(uPageRequest, ExamplePagesWork)
{
    const std::filesystem::path site =
        std::filesystem::path(__FILE__).parent_path() / "../../../examples/site";
    Server.SetDocumentRoot(std::filesystem::canonical(site).string() + "/");
    Start();

    // A form round trip: what was typed comes back, markup made harmless.
    const THttpAnswer echo = Post("/echo.dsp?comment=via+get",
                                  "name=Zo%C3%AB&comment=%3Cb%3Ebold%3C%2Fb%3E+%22%D0%96%22");
    EXPECT_EQ(echo.Status, 200);
    EXPECT_NE(echo.Body.find("<td>Zo\xc3\xab</td>"), std::string::npos) << echo.Body;
    EXPECT_NE(echo.Body.find("&lt;b&gt;bold&lt;/b&gt; &quot;\xd0\x96&quot;"), std::string::npos);
    EXPECT_EQ(echo.Body.find("<b>bold"), std::string::npos);
    EXPECT_NE(echo.Body.find("<td>via get</td>"), std::string::npos);

    const struct {
        std::string target;
        std::vector<std::string> expected;
    } cases[] = {
        {"/table.dsp?size=3", {"<td>9</td></tr>", "A 3 by 3 table"}},
        {"/table.dsp?size=many", {"A 10 by 10 table", "<td>100</td></tr>"}},
        {"/table.dsp?size=500", {"A 20 by 20 table"}},
        {"/strings.dsp?text=a%3Cb", {"<td>[a&lt;b]</td>", "<td>[A&lt;B]</td>", "<td>[b&lt;a]</td>"}},
        {"/strings.dsp", {"<td>[Hello, world]</td>", "<td>[ababab]</td>"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const THttpAnswer answer = Get(Port, c.target);
        EXPECT_EQ(answer.Status, 200) << answer.Body;
        for (const std::string& part : c.expected)
            EXPECT_NE(answer.Body.find(part), std::string::npos) << part;
    }
}
