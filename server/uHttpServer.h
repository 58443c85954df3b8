// The HTTP front of the web server: listens on a TCP port, reads one request
// per connection on a pooled worker thread, hands it to a callback and
// writes the answer. The HTTP library stays inside uHttpServer.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "uMimeTable.h"

// A request as the web server sees it. Texts are the bytes the client sent.
class THttpRequest final {
public:
    std::string Method;    // "GET", "HEAD" or "POST"
    std::string RemoteIP;  // dotted IPv4, or IPv6 text
    std::string URI;       // request target before "?", not decoded
    std::string QueryText; // after "?", not decoded
    std::string FormText;  // body of a form-encoded POST, else empty
    std::vector<std::pair<std::string, std::string>> Headers;
};

// Where a response's bytes go. Raises EHttpSocketError when the client is
// gone; that error ends the connection without an answer.
class IHttpSink {
public:
    virtual ~IHttpSink() = default;
    // more: further bytes follow at once, so the data may be held back and
    // sent with them in one packet.
    virtual void Send(std::string_view data, bool more) = 0;
    // length bytes of the open file fd, from its start.
    virtual void SendFile(int fd, int64_t length) = 0;
};

class EHttpSocketError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The answer to one request. Every answer closes its connection.
class THttpResponse final {
public:
    THttpResponse(IHttpSink& sink, bool headOnly) : FSink(sink), FHeadOnly(headOnly) {}

    int ResponseNo() const { return FResponseNo; }
    // Also sets the reason phrase.
    void SetResponseNo(int number);
    const std::string& ReasonPhrase() const { return FReason; }

    // A "text/..." type without a charset is sent with "charset=utf-8".
    void SetContentType(std::string type) { FContentType = std::move(type); }
    const std::string& ContentType() const { return FContentType; }
    // Bytes of content; -1 until known.
    void SetContentLength(int64_t length) { FContentLength = length; }
    int64_t ContentLength() const { return FContentLength; }

    // UTF-8 content. Replaces a content file.
    void SetContentText(std::string text);
    // The content comes from this open file (not owned: the caller closes
    // it after WriteContent).
    void SetContentFile(int fd);

    bool HeaderWritten() const { return FHeaderWritten; }
    // Writes the status line and headers; once per response.
    void WriteHeader();
    // Writes the header if needed, then the content text, the file, or,
    // with neither, a short default page naming the response number.
    void WriteContent();

    // Extra header lines, such as "Allow: GET, HEAD, POST".
    void AddHeader(std::string name, std::string value);

private:
    std::string DefaultBody() const;

    IHttpSink& FSink;
    bool FHeadOnly;
    int FResponseNo = 200;
    std::string FReason = "OK";
    std::string FContentType;
    int64_t FContentLength = -1;
    std::string FContentText;
    bool FHasText = false;
    int FContentFile = -1;
    bool FHeaderWritten = false;
    bool FContentWritten = false;
    std::vector<std::pair<std::string, std::string>> FExtraHeaders;
};

// The listener and its workers. Each connection is served start to end by
// one worker thread; workers are pooled, grow on demand up to a cap and are
// reused. When every worker is busy, further connections wait in the
// system's accept queue.
class THttpServer final {
public:
    using TRequestHandler = std::function<void(const THttpRequest&, THttpResponse&)>;

    static constexpr int MaxWorkers = 64;
    static constexpr int64_t MaxBodySize = 16 * 1024 * 1024;
    static constexpr uint32_t MaxHeaderSize = 64 * 1024;

    THttpServer();
    ~THttpServer();
    THttpServer(const THttpServer&) = delete;
    THttpServer& operator=(const THttpServer&) = delete;

    void SetOnRequest(TRequestHandler handler) { FOnRequest = std::move(handler); }
    // Called repeatedly while Deactivate waits for busy workers, so that
    // long work on them (server pages) can be asked to end.
    void SetOnStopping(std::function<void()> handler) { FOnStopping = std::move(handler); }

    void SetDefaultPort(uint16_t port) { FDefaultPort = port; }
    uint16_t DefaultPort() const { return FDefaultPort; }
    // The bound port while active (differs from DefaultPort when that is 0).
    uint16_t ListeningPort() const;
    void SetReadTimeout(int32_t milliseconds) { FReadTimeoutMs = milliseconds; }

    TMimeTable& MimeTable() { return FMimeTable; }

    bool Active() const;
    // Binds all local addresses on the default port and starts accepting.
    // Raises EHttpBindError when the port cannot be bound (or, rarely, no
    // worker thread can be started).
    void Activate();
    // Stops accepting, closes every open connection and returns once all
    // workers have ended.
    void Deactivate();

private:
    friend struct THttpServerWorker;
    struct TState;
    std::unique_ptr<TState> FState;
    TRequestHandler FOnRequest;
    std::function<void()> FOnStopping;
    uint16_t FDefaultPort = 80;
    int32_t FReadTimeoutMs = 20000;
    TMimeTable FMimeTable;
};

class EHttpBindError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
