#include "uHttpServer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "HttpTestClient.h"

namespace {

// Records what a response writes, for tests of the response alone.
class TMemorySink final : public IHttpSink {
public:
    void Send(std::string_view data, bool) override { Bytes += data; }
    void SendFile(int, int64_t length) override
    {
        Bytes += "<file " + std::to_string(length) + ">";
    }
    std::string Bytes;
};

// A facility on a free loopback port whose handler echoes the request.
// The suite is named after the unit it tests.
class uHttpServer : public testing::Test {
protected:
    void SetUp() override
    {
        Http.SetDefaultPort(0);
        Http.SetReadTimeout(300);
        Http.SetOnRequest([this](const THttpRequest& request, THttpResponse& response) {
            if (Handler) {
                Handler(request, response);
                return;
            }
            response.SetContentType("text/plain");
            response.SetContentText(request.Method + "|" + request.URI + "|" + request.QueryText
                                    + "|" + request.FormText + "|" + request.RemoteIP);
        });
        Http.Activate();
        Port = Http.ListeningPort();
    }
    void TearDown() override { Http.Deactivate(); }

    THttpServer Http;
    THttpServer::TRequestHandler Handler;
    uint16_t Port = 0;
};

} // namespace

TEST_F(uHttpServer, ResponseHeaderAndBody)
{
    const struct {
        bool headOnly;
        int number;
        std::string type, text;
        std::string expectedType, expectedBody;
    } cases[] = {
        {false, 200, "text/plain", "héllo", "text/plain; charset=utf-8", "héllo"},
        {false, 200, "text/html; charset=ISO-8859-1", "x", "text/html; charset=ISO-8859-1", "x"},
        {false, 200, "image/png", "x", "image/png", "x"},
        {false, 404, "text/html", "", "text/html; charset=utf-8",
         "<HTML><BODY><B>404 Not Found</B></BODY></HTML>"},
        {false, 403, "text/html", "", "text/html; charset=utf-8",
         "<HTML><BODY><B>403 Forbidden</B></BODY></HTML>"},
        {true, 200, "text/plain", "abc", "text/plain; charset=utf-8", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " " + std::to_string(c.number));
        TMemorySink sink;
        THttpResponse r(sink, c.headOnly);
        r.SetResponseNo(c.number);
        r.SetContentType(c.type);
        if (!c.text.empty())
            r.SetContentText(c.text);
        r.WriteContent();
        const THttpAnswer a = ParseAnswer(sink.Bytes, true);
        EXPECT_EQ(a.Status, c.number);
        EXPECT_EQ(a.Header("Content-Type"), c.expectedType);
        EXPECT_EQ(a.Body, c.expectedBody);
        const size_t length = c.text.empty() ? c.expectedBody.size() : c.text.size();
        EXPECT_EQ(a.Header("Content-Length"), std::to_string(length)); // bytes, not characters
        EXPECT_EQ(a.Header("Connection"), "close");
    }
}

TEST_F(uHttpServer, HeaderIsWrittenOnce)
{
    TMemorySink sink;
    THttpResponse r(sink, false);
    r.SetContentType("text/plain");
    r.SetContentLength(2);
    r.WriteHeader();
    r.WriteHeader();
    r.SetContentText("ok");
    r.WriteContent();
    r.WriteContent();
    EXPECT_EQ(sink.Bytes.find("HTTP/1.1"), sink.Bytes.rfind("HTTP/1.1"));
    EXPECT_EQ(ParseAnswer(sink.Bytes, true).Body, "ok");
}

TEST_F(uHttpServer, RequestFields)
{
    const THttpAnswer a = RawRequest(
        Port, "POST /a%20b/c?x=%41&y HTTP/1.1\r\nHost: h\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 5\r\n\r\nk=v&w");
    EXPECT_EQ(a.Status, 200);
    EXPECT_EQ(a.Body, "POST|/a%20b/c|x=%41&y|k=v&w|127.0.0.1");
    EXPECT_EQ(Get(Port, "/?").Body, "GET|/|||127.0.0.1");
    // A chunked form body is read like any other.
    const THttpAnswer chunked = RawRequest(
        Port, "POST /f HTTP/1.1\r\nHost: h\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "Transfer-Encoding: chunked\r\n\r\n3\r\na=1\r\n2\r\n&b\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.Body, "POST|/f||a=1&b|127.0.0.1");
}

TEST_F(uHttpServer, RefusesWhatItCannotServe)
{
    const struct {
        std::string request;
        int status;
    } cases[] = {
        {"DELETE /x HTTP/1.1\r\nHost: h\r\n\r\n", 405},
        {"PUT /x HTTP/1.1\r\nHost: h\r\nContent-Length: 1\r\n\r\nx", 405},
        {"GET /x HTTP/1.1\r\nHost: h\r\nX-Big: " + std::string(THttpServer::MaxHeaderSize, 'a')
             + "\r\n\r\n",
         431},
        {"garbage\r\n\r\n", 400},
        {"POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: 16777217\r\n\r\n", 413},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.substr(0, 40));
        const THttpAnswer a = RawRequest(Port, c.request);
        EXPECT_EQ(a.Status, c.status);
        EXPECT_TRUE(a.Closed);
    }
}

TEST_F(uHttpServer, OversizedBodyIsRefusedWithoutReadingItAll)
{
    // The client sends only a little of the announced body; the answer must
    // come anyway, since the server does not wait for the rest.
    TTestConnection c(Port);
    c.Send("POST /x HTTP/1.1\r\nHost: h\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: 104857600\r\n\r\n"
           + std::string(65536, 'a'));
    const THttpAnswer a = ParseAnswer(c.ReadUntil("\r\n\r\n"), false);
    EXPECT_EQ(a.Status, 413);
    // A chunked body that grows beyond the limit is refused as well.
    const std::string chunk(1024 * 1024, 'b');
    std::string body;
    TTestConnection chunked(Port);
    chunked.Send("POST /x HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n");
    std::string received;
    for (int i = 0; i < 20 && received.empty(); ++i) {
        if (!chunked.Send("100000\r\n" + chunk + "\r\n"))
            break;
        received = chunked.ReadUntil("\r\n\r\n", 1);
    }
    received += chunked.ReadUntil("\r\n\r\n", 5000);
    EXPECT_EQ(ParseAnswer(received, false).Status, 413);
}

TEST_F(uHttpServer, AnswersExpectContinue)
{
    TTestConnection c(Port);
    c.Send("POST /x HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\n\r\n");
    EXPECT_EQ(c.ReadUntil("\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
    c.Send("a=1");
    const THttpAnswer a = ParseAnswer(c.ReadAll(), true);
    EXPECT_EQ(a.Status, 200);
    EXPECT_EQ(a.Body, "POST|/x||a=1|127.0.0.1");
}

TEST_F(uHttpServer, SilentClientIsDropped)
{
    // The read time-out is 300 ms; the bound below only keeps a broken
    // server from hanging the test.
    TTestConnection c(Port);
    bool closed = false;
    const std::string data = c.ReadAll(10000, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(data, "");
    // The worker is free again.
    EXPECT_EQ(Get(Port, "/after").Status, 200);
}

TEST_F(uHttpServer, EscapingErrorBecomes500WithItsMessage)
{
    Handler = [](const THttpRequest&, THttpResponse& response) {
        response.SetContentType("image/png");
        response.SetContentLength(99);
        throw std::runtime_error("Something broke <here>");
    };
    const THttpAnswer a = Get(Port, "/x");
    EXPECT_EQ(a.Status, 500);
    EXPECT_EQ(a.Body, "Something broke <here>");
    EXPECT_EQ(a.Header("Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(a.Header("Content-Length"), "22");

    // A header written but not yet sent is replaced by the error answer.
    Handler = [](const THttpRequest&, THttpResponse& response) {
        response.SetContentType("text/html");
        response.SetContentLength(1000);
        response.WriteHeader();
        throw std::runtime_error("late");
    };
    const THttpAnswer late = Get(Port, "/x");
    EXPECT_EQ(late.Status, 500);
    EXPECT_EQ(late.Body, "late");
}

TEST_F(uHttpServer, ConnectionsBeyondTheWorkerCapWaitTheirTurn)
{
    std::mutex lock;
    std::condition_variable changed;
    int running = 0;
    bool release = false;
    Handler = [&](const THttpRequest&, THttpResponse& response) {
        std::unique_lock l(lock);
        ++running;
        changed.notify_all();
        changed.wait_for(l, std::chrono::seconds(20), [&] { return release; });
        response.SetContentText("done");
    };
    constexpr int Clients = THttpServer::MaxWorkers + 16;
    std::vector<std::unique_ptr<TTestConnection>> connections;
    for (int i = 0; i < Clients; ++i) {
        connections.push_back(std::make_unique<TTestConnection>(Port));
        connections.back()->Send("GET /x HTTP/1.1\r\nHost: h\r\n\r\n");
    }
    {
        std::unique_lock l(lock);
        EXPECT_TRUE(changed.wait_for(l, std::chrono::seconds(10),
                                     [&] { return running == THttpServer::MaxWorkers; }));
        release = true;
        changed.notify_all();
    }
    int answered = 0;
    for (auto& c : connections)
        answered += ParseAnswer(c->ReadAll(), true).Body == "done";
    EXPECT_EQ(answered, Clients);
    EXPECT_EQ(running, Clients);
}

TEST_F(uHttpServer, DeactivateClosesOpenConnections)
{
    // A connection that has sent half a request holds a worker in a read;
    // stopping must not wait for its time-out.
    Http.SetReadTimeout(60000);
    Http.Deactivate();
    Http.Activate();
    Port = Http.ListeningPort();
    TTestConnection c(Port);
    c.Send("GET /x HTTP/1.1\r\n");
    // Give the server a moment to pick the connection up; the outcome does
    // not depend on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Http.Deactivate();
    EXPECT_FALSE(Http.Active());
    bool closed = false;
    c.ReadAll(5000, &closed);
    EXPECT_TRUE(closed);
}
