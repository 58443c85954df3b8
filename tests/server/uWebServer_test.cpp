#include "uWebServer.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "HttpTestClient.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A scratch folder per test: the working folder (templates, MIME file), the
// public root and the logs folder. The working folder becomes the current
// one, because the server reads its templates from there.
class TScratch {
public:
    TScratch()
    {
        char pattern[] = "/tmp/tervalo-server-test-XXXXXX";
        FBase = mkdtemp(pattern);
        Work = FBase / "work";
        Root = FBase / "site";
        Logs = FBase / "logs";
        fs::create_directories(Work);
        fs::create_directories(Root);
        fs::create_directories(Logs);
        FOldCwd = fs::current_path();
        fs::current_path(Work);
    }
    ~TScratch()
    {
        std::error_code ec;
        fs::current_path(FOldCwd, ec);
        fs::remove_all(FBase, ec);
    }
    std::string RootText() const { return Root.string() + "/"; }
    std::string LogsText() const { return Logs.string() + "/"; }

    fs::path Work, Root, Logs;

private:
    fs::path FBase, FOldCwd;
};

// Collects log lines from any thread.
class TLogLines {
public:
    void Add(const std::string& line)
    {
        std::lock_guard lock(FLock);
        FLines.push_back(line);
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard lock(FLock);
        return FLines;
    }
    bool Contains(const std::string& part)
    {
        for (const std::string& line : Lines())
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }

private:
    std::mutex FLock;
    std::vector<std::string> FLines;
};

// The suite is named after the unit it tests.
class uWebServer : public testing::Test {
protected:
    void StartServer()
    {
        Server.SetDocumentRoot(Dirs.RootText());
        Server.SetLogsPath(Dirs.LogsText());
        Server.SetPort(0);
        Server.SetOnLog([this](const std::string& line) { Log.Add(line); });
        Server.Start();
        Port = Server.ListeningPort();
        ASSERT_TRUE(Server.Active());
        ASSERT_NE(Port, 0);
    }

    TScratch Dirs;
    TLogLines Log;
    TWebServer Server;
    uint16_t Port = 0;
};

} // namespace

// ---- Path mapping and the access rule ----

TEST_F(uWebServer, MapRequestPathAndAccessRule)
{
    TScratch& dirs = Dirs;
    const std::string root = dirs.RootText();
    WriteFile(dirs.Root / "a.html", "a");
    WriteFile(dirs.Root / "dsp/index.dsp", "d");
    WriteFile(dirs.Root / "dsp/index.htm", "h");
    WriteFile(dirs.Root / "htm/index.htm", "h");
    fs::create_directories(dirs.Root / "empty");
    const std::string sibling = dirs.Root.filename().string() + "2";
    const struct {
        std::string uri;
        std::string path; // relative to the root unless it starts with "/" or "="
        bool allowed;
    } cases[] = {
        {"/", "index.html", true}, // no index in the root: index.html unchecked
        {"/a.html", "a.html", true},
        {"/dsp", "dsp/index.dsp", true},
        {"/dsp/", "dsp/index.dsp", true},
        {"/htm", "htm/index.htm", true},
        {"/empty", "empty/index.html", true},
        {"/sub/../a.html", "a.html", true},
        {"/./a.html", "a.html", true},
        {"/dsp\\index.htm", "dsp/index.htm", true},
        {"/a%20b.html", "a%20b.html", true},   // not decoded
        {"/.git/config", ".git/config", true}, // only the last name counts
        {"/.htaccess", ".htaccess", false},
        {"/sub/.env", "sub/.env", false},
        {"/../secret.txt", dirs.Root.parent_path().string() + "/secret.txt", false},
        {"/../../../../../../../../etc/passwd", "/etc/passwd", false},
        // A neighbour whose name starts like the root is still outside.
        {"/../" + sibling + "/x", dirs.Root.parent_path().string() + "/" + sibling + "/x", false},
        {"//x", "/x", false},
        {"/\\x", "/x", false},
        {"/C:/Windows/win.ini", "=C:/Windows/win.ini", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uri);
        const TMappedPath m = MapRequestPath(c.uri, root);
        const std::string expected = c.path.front() == '/'   ? c.path
                                     : c.path.front() == '=' ? c.path.substr(1)
                                                             : root + c.path;
        EXPECT_EQ(m.Path, expected);
        EXPECT_EQ(m.Allowed, c.allowed);
    }
}

TEST_F(uWebServer, MapRequestPathRefusesInvalidCharacters)
{
    for (const std::string& uri :
         std::vector<std::string>{"/a<b", "/a>b", "/a|b", "/a\"b", "/a\x01"}) {
        SCOPED_TRACE(uri);
        try {
            MapRequestPath(uri, "/srv/site/");
            ADD_FAILURE() << "no error";
        } catch (const EWebServerError& e) {
            EXPECT_STREQ(e.what(), "Invalid characters in path");
        }
    }
    // "*" and "?" are accepted.
    EXPECT_NO_THROW(MapRequestPath("/a*b", "/srv/site/"));
}

TEST_F(uWebServer, MapRequestPathRefusesPathsTooLongToCanonicalise)
{
    const std::string uri = "/" + std::string(PATH_MAX, 'a');
    const TMappedPath m = MapRequestPath(uri, "/srv/site/");
    EXPECT_FALSE(m.Allowed);
}

TEST_F(uWebServer, MapRequestPathKeepsRelativePathsFromClimbingOut)
{
    const struct {
        std::string uri, path;
    } cases[] = {
        {"/../x", "x"},
        {"/../../x", "../x"},
        {"/C:/../../site/x", "../site/x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uri);
        const TMappedPath m = MapRequestPath(c.uri, "site/");
        EXPECT_EQ(m.Path, c.path);
        EXPECT_FALSE(m.Allowed);
    }
}

TEST_F(uWebServer, MissingRootGivesIndexPathAllowed)
{
    // A root that does not exist: "/" is allowed and later answered 404.
    const TMappedPath m = MapRequestPath("/", "/nonexistent-tervalo-root/");
    EXPECT_TRUE(m.Allowed);
    EXPECT_EQ(m.Path, "/nonexistent-tervalo-root/");
}

TEST_F(uWebServer, SettersNormaliseValues)
{
    TWebServer s;
    const struct {
        std::string given, root, logs;
    } cases[] = {
        {"/srv/site", "/srv/site/", "/srv/site/"},
        {"/srv/site/", "/srv/site/", "/srv/site/"},
        {"", "/", "/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        s.SetDocumentRoot(c.given);
        s.SetLogsPath(c.given);
        EXPECT_EQ(s.DocumentRoot(), c.root);
        EXPECT_EQ(s.LogsPath(), c.logs);
    }
    // A root written with "." or ".." is kept in canonical form, else every
    // request would fail the access rule.
    s.SetDocumentRoot("/srv/./x/../site");
    EXPECT_EQ(s.DocumentRoot(), "/srv/site/");
    // A relative root is taken from the working folder.
    s.SetDocumentRoot("site/../public");
    EXPECT_EQ(s.DocumentRoot(), Dirs.Work.string() + "/public/");
    s.SetTimeout(-5);
    EXPECT_EQ(s.Timeout(), 0);
    s.SetTimeout(2500);
    EXPECT_EQ(s.Timeout(), 2500);
}

// ---- Request parameters ----

TEST_F(uWebServer, ParseParams)
{
    const struct {
        std::u16string text;
        TParamMap expected;
    } cases[] = {
        {u"a=1&B=2", {{u"a", u"1"}, {u"b", u"2"}}},
        {u"a=1=2", {{u"a", u"1=2"}}},
        {u"flag", {{u"", u"flag"}}},
        {u"=v", {{u"", u"v"}}},
        {u"q=a%26b", {{u"q", u"a"}, {u"", u"b"}}}, // decoded before splitting
        {u"x=%41%2", {{u"x", u"A%2"}}},
        {u"x=%zz", {{u"x", u"zz"}}},
        {u"a+b=c+d", {{u"a b", u"c d"}}},
        {u"a=%00&b=1", {{u"a", u""}}}, // U+0000 ends the text
        {u"", {}},
        {u"name=J%C3%A9", {{u"name", u"J\u00E9"}}},
        {u"K%C3%89Y=1", {{u"k\u00C9y", u"1"}}}, // only A to Z are lowered
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        TParamMap params;
        ParseParams(c.text, params);
        EXPECT_EQ(params, c.expected);
    }
}

TEST_F(uWebServer, ParseParamsRefusesDuplicates)
{
    for (const std::u16string text : {u"a=1&a=2", u"a=1&A=2", u"x&y"}) {
        SCOPED_TRACE(testing::PrintToString(text));
        TParamMap params;
        try {
            ParseParams(text, params);
            ADD_FAILURE() << "no error";
        } catch (const EWebServerError& e) {
            EXPECT_STREQ(e.what(), "Duplicates not allowed");
        }
    }
}

// ---- Requests over HTTP ----

TEST_F(uWebServer, ServesFilesWithTheirTypes)
{
    WriteFile(Dirs.Root / "index.html", "<p>home</p>");
    WriteFile(Dirs.Root / "style.css", "body{}");
    WriteFile(Dirs.Root / "logo.PNG", std::string("\x89PNG\r\n\x1a\n\0\0", 10));
    WriteFile(Dirs.Root / "blob.unknownext", "?");
    WriteFile(Dirs.Root / "a%20b.html", "percent");
    WriteFile(Dirs.Root / ".git/config", "[core]");
    WriteFile(Dirs.Root / "docs/index.htm", "docs");
    StartServer();
    const struct {
        std::string target, body, type;
    } cases[] = {
        {"/", "<p>home</p>", "text/html; charset=utf-8"},
        {"/index.html?x=1", "<p>home</p>", "text/html; charset=utf-8"},
        {"/style.css", "body{}", "text/css; charset=utf-8"},
        {"/logo.PNG", std::string("\x89PNG\r\n\x1a\n\0\0", 10), "image/png"},
        {"/blob.unknownext", "?", "application/octet-stream"},
        {"/a%20b.html", "percent", "text/html; charset=utf-8"},
        {"/.git/config", "[core]", "application/octet-stream"},
        {"/docs", "docs", "text/html; charset=utf-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const THttpAnswer a = Get(Port, c.target);
        EXPECT_EQ(a.Status, 200);
        EXPECT_EQ(a.Body, c.body);
        EXPECT_EQ(a.Header("Content-Type"), c.type);
        EXPECT_EQ(a.Header("Content-Length"), std::to_string(c.body.size()));
        EXPECT_EQ(a.Header("Connection"), "close");
        EXPECT_TRUE(a.Closed);
    }
}

TEST_F(uWebServer, RefusesPathsOutsideTheRootAndHiddenFiles)
{
    WriteFile(Dirs.Root.parent_path() / "secret.txt", "secret");
    WriteFile(Dirs.Root / ".htaccess", "deny");
    StartServer();
    const struct {
        std::string target, logged;
    } cases[] = {
        {"/../secret.txt", Dirs.Root.parent_path().string() + "/secret.txt"},
        {"//x", "/x"},
        {"/C:/x", "C:/x"},
        {"/.htaccess", Dirs.RootText() + ".htaccess"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const THttpAnswer a = Get(Port, c.target);
        EXPECT_EQ(a.Status, 403);
        EXPECT_EQ(a.Body, "<HTML><BODY><B>403 Forbidden</B></BODY></HTML>");
        EXPECT_TRUE(Log.Contains("] - [127.0.0.1] Illegal access attempt: " + c.logged));
    }
}

TEST_F(uWebServer, MissingFilesGet404AndALogLine)
{
    fs::create_directories(Dirs.Root / "noindex");
    StartServer();
    const THttpAnswer a = Get(Port, "/nope.txt");
    EXPECT_EQ(a.Status, 404);
    EXPECT_EQ(a.Head.substr(0, a.Head.find("\r\n")), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(a.Header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(a.Body, "<HTML><BODY><B>404 Not Found</B></BODY></HTML>");
    EXPECT_TRUE(
        Log.Contains("] - [127.0.0.1] Could not find file: " + Dirs.RootText() + "nope.txt"));
    // A folder without index files: the line names the missing index.html.
    EXPECT_EQ(Get(Port, "/noindex").Status, 404);
    EXPECT_TRUE(Log.Contains("Could not find file: " + Dirs.RootText() + "noindex/index.html"));
}

TEST_F(uWebServer, ErrorTemplatesFillTheirPlaceholders)
{
    WriteFile(Dirs.Work / "templates/404.html", "url={URL};srv={Server}\nport={port}");
    WriteFile(Dirs.Work / "templates/403.html", "forbidden {url}\r\n");
    StartServer();
    const std::string port = std::to_string(Port);
    const struct {
        std::string target;
        int status;
        std::string body;
    } cases[] = {
        {"/x.html", 404, "url=/x.html;srv=Tervalo/0.04\r\nport=" + port + "\r\n"},
        // Placeholders that arrive in the URI are replaced by the later steps.
        {"/{port}/{server}", 404,
         "url=/" + port + "/Tervalo/0.04;srv=Tervalo/0.04\r\nport=" + port + "\r\n"},
        // The URI is escaped so it cannot inject markup into the page.
        {"/a&b'c", 404, "url=/a&amp;b&#39;c;srv=Tervalo/0.04\r\nport=" + port + "\r\n"},
        {"/.hidden", 403, "forbidden /.hidden\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const THttpAnswer a = Get(Port, c.target);
        EXPECT_EQ(a.Status, c.status);
        EXPECT_EQ(a.Body, c.body);
        EXPECT_EQ(a.Header("Content-Length"), std::to_string(c.body.size()));
    }
}

TEST_F(uWebServer, TemplatesInAnyEncodingAreSentAsUTF8)
{
    const struct {
        std::string bytes;
        std::string body;
    } cases[] = {
        {"caf\xC3\xA9", "caf\xC3\xA9\r\n"}, // UTF-8
        {"\xEF\xBB\xBF"
         "caf\xC3\xA9",
         "caf\xC3\xA9\r\n"},                        // UTF-8 with its mark
        {"caf\xE9\r\n\r\n", "caf\xC3\xA9\r\n\r\n"}, // Latin-1, an empty last line
        {std::string("\xFF\xFE"
                     "c\0\xE9\0\n\0",
                     8),
         "c\xC3\xA9\r\n"},                                          // UTF-16 LE
        {std::string("\xFE\xFF\0c\0\xE9\0\r", 8), "c\xC3\xA9\r\n"}, // UTF-16 BE
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        WriteFile(Dirs.Work / "templates/404.html", c.bytes);
        Server.LoadTemplates();
        if (!Server.Active())
            StartServer();
        EXPECT_EQ(Get(Port, "/x").Body, c.body);
    }
}

TEST_F(uWebServer, EmptyTemplateActsAsNone)
{
    WriteFile(Dirs.Work / "templates/404.html", "");
    StartServer();
    EXPECT_EQ(Get(Port, "/x").Body, "<HTML><BODY><B>404 Not Found</B></BODY></HTML>");
}

TEST_F(uWebServer, TemplatesAreReloadedAtEachStart)
{
    StartServer();
    EXPECT_EQ(Get(Port, "/x").Body, "<HTML><BODY><B>404 Not Found</B></BODY></HTML>");
    Server.Stop();
    WriteFile(Dirs.Work / "templates/404.html", "gone");
    Server.Start();
    EXPECT_EQ(Get(Server.ListeningPort(), "/x").Body, "gone\r\n");
}

TEST_F(uWebServer, InvalidCharactersGive500WithTheMessage)
{
    StartServer();
    const THttpAnswer a = Get(Port, "/a<b.html");
    EXPECT_EQ(a.Status, 500);
    EXPECT_EQ(a.Body, "Invalid characters in path");
}

TEST_F(uWebServer, HeadSendsHeadersOnly)
{
    WriteFile(Dirs.Root / "f.txt", "twelve bytes");
    StartServer();
    const THttpAnswer a = Get(Port, "/f.txt", "HEAD");
    EXPECT_EQ(a.Status, 200);
    EXPECT_EQ(a.Header("Content-Length"), "12");
    EXPECT_EQ(a.Body, "");
    const THttpAnswer missing = Get(Port, "/none", "HEAD");
    EXPECT_EQ(missing.Status, 404);
    EXPECT_EQ(missing.Body, "");
}

TEST_F(uWebServer, PostServesFilesAndIgnoresTheBody)
{
    WriteFile(Dirs.Root / "f.txt", "file");
    StartServer();
    const THttpAnswer a = RawRequest(Port, "POST /f.txt HTTP/1.1\r\nHost: x\r\n"
                                           "Content-Type: application/x-www-form-urlencoded\r\n"
                                           "Content-Length: 3\r\n\r\na=1");
    EXPECT_EQ(a.Status, 200);
    EXPECT_EQ(a.Body, "file");
}

TEST_F(uWebServer, PagesWithoutAPageHandlerGive500)
{
    WriteFile(Dirs.Root / "Page.DSP", "<?dsp ?>");
    StartServer();
    const THttpAnswer a = Get(Port, "/Page.DSP");
    EXPECT_EQ(a.Status, 500);
    EXPECT_EQ(a.Body, "Server pages are not available");
    // The parameters are parsed first, so a duplicate fails on its own terms.
    EXPECT_EQ(Get(Port, "/Page.DSP?a=1&a=2").Body, "Duplicates not allowed");
}

TEST_F(uWebServer, MimeTableFileReplacesTheBuiltInList)
{
    WriteFile(Dirs.Work / "mimetypes.txt", "foo=Text/X-Foo\n.bar=application/x-bar\n");
    WriteFile(Dirs.Root / "a.foo", "f");
    WriteFile(Dirs.Root / "a.html", "h");
    Server.LoadMimeTypes("mimetypes.txt");
    Server.LoadMimeTypes("no-such-file.txt"); // leaves the table alone
    StartServer();
    EXPECT_EQ(Get(Port, "/a.foo").Header("Content-Type"), "text/x-foo; charset=utf-8");
    // The file has no line for .html, and the file replaces the built-in list.
    EXPECT_EQ(Get(Port, "/a.html").Header("Content-Type"), "application/octet-stream");
}

namespace {

// Answers pages with what the server handed over, and can hold a page
// until it is told to stop.
class TFakePages final : public IPageHandler {
public:
    std::string RunPage(const TPageRequest& page) override
    {
        if (page.URI == "/slow.dsp") {
            std::unique_lock lock(FLock);
            FSlowRunning = true;
            FChanged.notify_all();
            // Bounded: a broken Stop fails the test instead of hanging it.
            FChanged.wait_for(lock, std::chrono::seconds(20),
                              [&] { return FStopAsked || FRelease; });
            return FStopAsked ? "stopped" : "released";
        }
        std::string text = page.Method + "|" + page.FileName + "|" + page.QueryText + "|"
                           + page.FormText + "|" + std::to_string(page.Timeout);
        const TServerData* data = CurrentServerData();
        if (data == nullptr)
            return text + "|no data";
        for (const auto& [k, v] : data->GetParams)
            text += "|G:" + std::string(k.begin(), k.end()) + "=" + std::string(v.begin(), v.end());
        for (const auto& [k, v] : data->PostParams)
            text += "|P:" + std::string(k.begin(), k.end()) + "=" + std::string(v.begin(), v.end());
        return text;
    }
    void StopAllPages() override
    {
        std::lock_guard lock(FLock);
        FStopAsked = true;
        FChanged.notify_all();
    }
    bool WaitUntilSlowRuns()
    {
        std::unique_lock lock(FLock);
        return FChanged.wait_for(lock, std::chrono::seconds(10), [&] { return FSlowRunning; });
    }
    void Release()
    {
        std::lock_guard lock(FLock);
        FRelease = true;
        FChanged.notify_all();
    }
    bool StopAsked()
    {
        std::lock_guard lock(FLock);
        return FStopAsked;
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FSlowRunning = false;
    bool FStopAsked = false;
    bool FRelease = false;
};

} // namespace

TEST_F(uWebServer, PagesGetTheirParametersThroughTheWorkerSlot)
{
    WriteFile(Dirs.Root / "p.dsp", "page");
    auto pages = std::make_shared<TFakePages>();
    Server.SetPageHandler(pages);
    Server.SetTimeout(1234);
    StartServer();
    const THttpAnswer a =
        RawRequest(Port, "POST /p.dsp?A=1&b=x+y HTTP/1.1\r\nHost: x\r\n"
                         "Content-Type: Application/X-WWW-Form-Urlencoded; charset=utf-8\r\n"
                         "Content-Length: 7\r\n\r\nc=%41&d");
    EXPECT_EQ(a.Status, 200);
    EXPECT_EQ(a.Header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(a.Body, "POST|" + Dirs.RootText() + "p.dsp|A=1&b=x+y|c=%41&d|1234"
                          + "|G:a=1|G:b=x y|P:=d|P:c=A");
    // A body of another type is not form text.
    const THttpAnswer json = RawRequest(Port, "POST /p.dsp HTTP/1.1\r\nHost: x\r\n"
                                              "Content-Type: application/json\r\n"
                                              "Content-Length: 5\r\n\r\na=1&b");
    EXPECT_EQ(json.Body, "POST|" + Dirs.RootText() + "p.dsp|||1234");
}

TEST_F(uWebServer, ALongPageDoesNotBlockOtherRequests)
{
    WriteFile(Dirs.Root / "slow.dsp", "page");
    WriteFile(Dirs.Root / "f.txt", "file");
    auto pages = std::make_shared<TFakePages>();
    Server.SetPageHandler(pages);
    StartServer();
    THttpAnswer slow;
    std::thread client([&] { slow = Get(Port, "/slow.dsp"); });
    ASSERT_TRUE(pages->WaitUntilSlowRuns());
    EXPECT_EQ(Get(Port, "/f.txt").Body, "file");
    pages->Release();
    client.join();
    EXPECT_EQ(slow.Body, "released");
}

TEST_F(uWebServer, StopAsksRunningPagesToStop)
{
    WriteFile(Dirs.Root / "slow.dsp", "page");
    auto pages = std::make_shared<TFakePages>();
    Server.SetPageHandler(pages);
    StartServer();
    std::thread client([&] { Get(Port, "/slow.dsp"); });
    ASSERT_TRUE(pages->WaitUntilSlowRuns());
    Server.Stop();
    EXPECT_TRUE(pages->StopAsked());
    EXPECT_FALSE(Server.Active());
    client.join();
}

TEST_F(uWebServer, ConcurrentDownloadsOfOneLargeFile)
{
    std::string big(4 * 1024 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    WriteFile(Dirs.Root / "big.bin", big);
    StartServer();
    constexpr int Clients = 8;
    std::vector<THttpAnswer> answers(Clients);
    std::vector<std::thread> threads;
    for (int i = 0; i < Clients; ++i)
        threads.emplace_back([&, i] { answers[static_cast<size_t>(i)] = Get(Port, "/big.bin"); });
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < Clients; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(answers[static_cast<size_t>(i)].Status, 200);
        EXPECT_TRUE(answers[static_cast<size_t>(i)].Body == big);
    }
}

TEST_F(uWebServer, PortInUseFailsTheStart)
{
    StartServer();
    TLogLines secondLog;
    TWebServer second;
    second.SetDocumentRoot(Dirs.RootText());
    second.SetLogsPath(Dirs.LogsText());
    second.SetPort(Port);
    second.SetOnLog([&](const std::string& line) { secondLog.Add(line); });
    int stateChanges = 0;
    second.SetOnStateChange([&] { ++stateChanges; });
    EXPECT_THROW(second.Start(), std::exception);
    EXPECT_FALSE(second.Active());
    EXPECT_EQ(stateChanges, 0);
    EXPECT_FALSE(secondLog.Contains("Started server on port"));
    // The first server is unharmed.
    EXPECT_EQ(Get(Port, "/x").Status, 404);
}

TEST_F(uWebServer, LogFileThatCannotBeOpenedFailsTheStart)
{
    fs::create_directories(Dirs.Logs / "events.log"); // a folder in the way
    Server.SetDocumentRoot(Dirs.RootText());
    Server.SetLogsPath(Dirs.LogsText());
    Server.SetPort(0);
    Server.SetOnLog([this](const std::string& line) { Log.Add(line); });
    EXPECT_THROW(Server.Start(), EWebServerError);
    EXPECT_FALSE(Server.Active());
    EXPECT_TRUE(Log.Lines().empty());
}

TEST_F(uWebServer, MissingLogsFolderLogsOnlyToTheHandler)
{
    fs::remove_all(Dirs.Logs);
    StartServer();
    Get(Port, "/x");
    Server.Stop();
    EXPECT_FALSE(fs::exists(Dirs.Logs));
    EXPECT_TRUE(Log.Contains("Started server on port " + std::to_string(Port)));
    EXPECT_TRUE(Log.Contains("Could not find file"));
    EXPECT_TRUE(Log.Contains("] - Stopped server"));
}

TEST_F(uWebServer, LogFileIsAppendedAcrossRunsInTheExactFormat)
{
    int stateChanges = 0;
    Server.SetOnStateChange([&] { ++stateChanges; });
    StartServer();
    const uint16_t first = Port;
    Get(Port, "/missing");
    Server.Stop();
    Server.Start();
    const uint16_t second = Server.ListeningPort();
    Server.Stop();
    EXPECT_EQ(stateChanges, 4);

    const std::string text = ReadFile(Dirs.Logs / "events.log");
    ASSERT_GE(text.size(), 3u);
    EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF"); // no byte-order mark
    const std::string stamp = R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\] - )";
    const std::regex expected(stamp + "Started server on port " + std::to_string(first) + "\r\n"
                              + stamp + R"(\[127\.0\.0\.1\] Could not find file: [^\r\n]*/missing)"
                              + "\r\n" + stamp + "Stopped server\r\n" + stamp
                              + "Started server on port " + std::to_string(second) + "\r\n" + stamp
                              + "Stopped server\r\n");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;
    // The line handed to OnLog is the file's line without its CR LF.
    const auto lines = Log.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(text.substr(0, text.find("\r\n")), lines.front());
}

TEST_F(uWebServer, StopAndStartAreIdempotent)
{
    Server.Stop(); // not running: nothing happens
    EXPECT_TRUE(Log.Lines().empty());
    StartServer();
    Server.Start(); // already running: nothing happens
    Server.Stop();
    Server.Stop();
    int started = 0, stopped = 0;
    for (const auto& line : Log.Lines()) {
        started += line.find("Started server") != std::string::npos;
        stopped += line.find("Stopped server") != std::string::npos;
    }
    EXPECT_EQ(started, 1);
    EXPECT_EQ(stopped, 1);
}
