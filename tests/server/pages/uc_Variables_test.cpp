#include "uc_Variables.h"

#include <gtest/gtest.h>

#include "PageServerFixture.h"
#include "uDSPEngine.h"

namespace {

// Prints what a page sees of the parameters, fields separated by "|".
constexpr char EchoPage[] = "<?dsp=VarGET('a')?>|<?dsp=VarGET('A')?>|<?dsp=VarPOST('a')?>|"
                            "<?dsp=VarPOST('B')?>|<?dsp=VarGET('name')?>|<?dsp=VarGET('')?>";

} // namespace

TEST(uc_Variables, OutsideRequestGivesEmptyText)
{
    RegisterRequestVariableFunctions(); // a second registration changes nothing
    EXPECT_EQ(RequestGetParam(u"a"), u"");
    EXPECT_EQ(RequestPostParam(u"a"), u"");

    // The same from a script: a page run outside any request.
    char pattern[] = "/tmp/tervalo-var-test-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    {
        std::ofstream out(dir / "p.dsp", std::ios::binary);
        out << "[<?dsp=VarGET('a')?>][<?dsp=VarPOST('a')?>]";
    }
    TDSPEngine engine;
    engine.LoadPage((dir / "p.dsp").string());
    engine.Compile();
    EXPECT_TRUE(engine.CompileErrors().empty());
    engine.Execute(0);
    EXPECT_EQ(engine.GetResult(), u"[][]\r\n");
    std::filesystem::remove_all(dir);
}

using uc_VariablesServer = TPageServerTest;

TEST_F(uc_VariablesServer, PageReadsItsRequestParameters)
{
    WritePage("echo.dsp", EchoPage);
    Start();
    const struct {
        const char* name;
        std::string query; // with its "?"
        std::string form;  // sent as a form POST when not empty
        std::string expected;
    } cases[] = {
        {"names ignore case", "?a=1", "", "1|1||||"},
        {"no parameters", "", "", "|||||"},
        {"query and form apart", "?a=1", "a=2&B=3", "1|1|2|3||"},
        {"form name upper-cased", "", "A=x&b=y", "||x|y||"},
        {"missing name", "?other=1", "", "|||||"},
        {"empty value", "?a=", "", "|||||"},
        // A form field typed as é arrives as é, not as two Latin-1 characters.
        {"utf-8 value", "?name=J%C3%A9", "", "||||J\xc3\xa9|"},
        {"non-latin value", "?name=%D0%96%E2%82%AC", "", "||||\xd0\x96\xe2\x82\xac|"},
        {"plus is space", "?name=a+b", "", "||||a b|"},
        {"element without =", "?flag", "", "|||||flag"},
        // Decoding comes before splitting: an encoded & separates.
        {"encoded ampersand", "?a=x%26y", "", "x|x||||y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const THttpAnswer answer =
            c.form.empty() ? Get(Port, "/echo.dsp" + c.query) : Post("/echo.dsp" + c.query, c.form);
        EXPECT_EQ(answer.Status, 200);
        EXPECT_EQ(answer.Body, c.expected + "\r\n");
    }
}

// Only form-encoded bodies are form parameters.
TEST_F(uc_VariablesServer, OtherBodiesAreNotFormParameters)
{
    WritePage("echo.dsp", EchoPage);
    Start();
    const THttpAnswer answer = Post("/echo.dsp", "a=2", "text/plain");
    EXPECT_EQ(answer.Status, 200);
    EXPECT_EQ(answer.Body, "|||||\r\n");
}
