#include "uHttpServer.h"

// g++ 12 in C++20 mode needs <utility> before the Asio headers that Beast
// pulls in.
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

namespace beast = boost::beast;
namespace http = boost::beast::http;
using boost::system::error_code;

namespace {

constexpr char ServerName[] = "Tervalo/0.04";
constexpr char FormMediaType[] = "application/x-www-form-urlencoded";
constexpr char BindFailedText[] = "Could not bind to port ";
constexpr char SendFailedText[] = "Sending to the client failed";
constexpr char NoWorkerText[] = "Could not start a worker thread";
constexpr char FileShrankText[] = "The file ended before its announced length";

// Scripts recurse deeply on the worker threads, far beyond the usual 8 MiB.
constexpr size_t WorkerStackSize = 64 * 1024 * 1024;
// A client that stops reading must not hold a worker for ever.
constexpr int SendTimeoutSeconds = 60;
// After an answer sent before the request was read to its end (413, 400),
// the rest of the request is read and dropped for a while, so the closing
// socket does not reset the connection and wipe the answer on its way.
constexpr int LingerMs = 2000;
constexpr size_t LingerMaxBytes = 8 * 1024 * 1024;

// The answers this server gives, with their standard reason phrases.
// clang-format off
const struct {
    int Number;
    const char* Phrase;
} ReasonPhrases[] = {
    {100, "Continue"},
    {200, "OK"},
    {400, "Bad Request"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {413, "Content Too Large"},
    {431, "Request Header Fields Too Large"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {503, "Service Unavailable"},
};
// clang-format on

const char* ReasonPhraseOf(int number)
{
    for (const auto& row : ReasonPhrases)
        if (row.Number == number)
            return row.Phrase;
    return "Unknown";
}

// HTTP dates are English whatever the user's locale, so they are built here
// instead of by strftime. The text changes once a second; each worker keeps
// its last one instead of formatting it again for every answer.
std::string_view HttpDate()
{
    static const char* const Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    thread_local std::time_t cachedSecond = -1;
    thread_local char text[64];
    thread_local int length = 0;
    const std::time_t now = std::time(nullptr);
    if (now != cachedSecond || length <= 0) {
        std::tm t{};
        gmtime_r(&now, &t);
        length = std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                               Days[t.tm_wday], t.tm_mday, Months[t.tm_mon], t.tm_year + 1900,
                               t.tm_hour, t.tm_min, t.tm_sec);
        cachedSecond = now;
    }
    return std::string_view(text, length > 0 ? static_cast<size_t>(length) : 0);
}

bool IsTextType(const std::string& type)
{
    return type.size() >= 5 && (type.compare(0, 5, "text/") == 0);
}

bool HasCharset(const std::string& type)
{
    std::string lower = type;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("charset=") != std::string::npos;
}

std::string MediaTypeOf(std::string_view contentType)
{
    std::string_view media = contentType.substr(0, contentType.find(';'));
    while (!media.empty() && (media.front() == ' ' || media.front() == '\t'))
        media.remove_prefix(1);
    while (!media.empty() && (media.back() == ' ' || media.back() == '\t'))
        media.remove_suffix(1);
    std::string lower(media);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string AddressText(const sockaddr_storage& addr)
{
    char text[INET6_ADDRSTRLEN] = "";
    if (addr.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
        inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
    } else if (addr.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
        // IPv4 clients of the dual-stack socket show as plain dotted
        // addresses, as the log and scripts expect.
        if (IN6_IS_ADDR_V4MAPPED(&a->sin6_addr))
            inet_ntop(AF_INET, &a->sin6_addr.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
    }
    return text;
}

// Blocking reads on the connection's socket under a time-out, in the shape
// Beast's synchronous read functions expect.
class TSocketReader final {
public:
    using Clock = std::chrono::steady_clock;

    TSocketReader(int fd, int32_t timeoutMs) : FFd(fd), FTimeout(timeoutMs) { Restart(); }

    // The next reads must all end within the time-out from now: a request
    // header has to arrive whole within that time.
    void Restart() { FDeadline = Clock::now() + FTimeout; }
    // From now on each read gets the full time-out, so a large body on a slow
    // line is not cut off while it keeps arriving.
    void RestartOnEachRead()
    {
        FEachRead = true;
        Restart();
    }

    template <class MutableBufferSequence> size_t read_some(const MutableBufferSequence& buffers)
    {
        error_code ec;
        const size_t n = read_some(buffers, ec);
        if (ec)
            throw boost::system::system_error(ec);
        return n;
    }

    template <class MutableBufferSequence>
    size_t read_some(const MutableBufferSequence& buffers, error_code& ec)
    {
        ec = {};
        const auto first = boost::asio::buffer_sequence_begin(buffers);
        if (first == boost::asio::buffer_sequence_end(buffers))
            return 0;
        const boost::asio::mutable_buffer buffer = *first;
        for (;;) {
            // Try the read first: the request has usually arrived by the
            // time we look, and a poll before every read costs a system call.
            const ssize_t n = ::recv(FFd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n > 0) {
                if (FEachRead)
                    Restart();
                return static_cast<size_t>(n);
            }
            if (n == 0) {
                ec = boost::asio::error::eof;
                return 0;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                ec = error_code(errno, boost::system::system_category());
                return 0;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(FDeadline - Clock::now());
            if (left.count() <= 0) {
                ec = boost::asio::error::timed_out;
                return 0;
            }
            pollfd p{FFd, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 60000)));
        }
    }

private:
    int FFd;
    std::chrono::milliseconds FTimeout;
    Clock::time_point FDeadline;
    bool FEachRead = false;
};

// Holds back bytes marked "more" and sends them with what follows, so a
// header and a small body leave in one packet and one system call.
class TSocketSink final : public IHttpSink {
public:
    explicit TSocketSink(int fd) : FFd(fd) {}

    void Send(std::string_view data, bool more) override
    {
        if (more) {
            FPending.append(data);
            return;
        }
        if (FPending.empty()) {
            SendAll(data, 0);
            return;
        }
        FPending.append(data);
        SendAll(FPending, 0);
        FPending.clear();
    }

    void SendFile(int fd, int64_t length) override
    {
        off_t offset = 0;
        if (!FPending.empty()) {
            // The start of the file joins the header; for small files that
            // is the whole answer in one piece.
            const size_t want = static_cast<size_t>(std::min<int64_t>(length, HeadChunk));
            const size_t old = FPending.size();
            FPending.resize(old + want);
            ssize_t n = ::pread(fd, FPending.data() + old, want, 0);
            if (n < 0)
                n = 0; // the kernel copy below reports the problem
            FPending.resize(old + static_cast<size_t>(n));
            offset = n;
            SendAll(FPending, offset < length ? MSG_MORE : 0);
            FPending.clear();
        }
        // The kernel copies from the page cache straight to the socket, so
        // even large files never pass through our memory.
        while (offset < length) {
            const size_t chunk = static_cast<size_t>(std::min<int64_t>(length - offset, 1 << 30));
            const ssize_t n = ::sendfile(FFd, fd, &offset, chunk);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw EHttpSocketError(SendFailedText);
            }
            if (n == 0)
                throw EHttpSocketError(FileShrankText);
        }
    }

    // Sends what is still held back (a header without a body, for HEAD).
    void Flush()
    {
        if (FPending.empty())
            return;
        SendAll(FPending, 0);
        FPending.clear();
    }

    // Forgets bytes held back; true when nothing at all has reached the
    // client yet, so a different answer can still be sent.
    bool DropPending()
    {
        FPending.clear();
        return !FSentAny;
    }

private:
    static constexpr int64_t HeadChunk = 16384;

    void SendAll(std::string_view data, int flags)
    {
        FSentAny = true;
        while (!data.empty()) {
            const ssize_t n = ::send(FFd, data.data(), data.size(), MSG_NOSIGNAL | flags);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw EHttpSocketError(SendFailedText);
            }
            data.remove_prefix(static_cast<size_t>(n));
        }
    }

    int FFd;
    std::string FPending;
    bool FSentAny = false;
};

// Reads and drops what the client still sends, until it closes its side or
// the limits run out.
void LingerAndDrain(int fd)
{
    ::shutdown(fd, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LingerMs);
    size_t dropped = 0;
    char buffer[16384];
    while (dropped < LingerMaxBytes) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        dropped += static_cast<size_t>(n);
    }
}

// True when request bytes wait unread. A client that has already closed its
// side (the usual case by now) has none: its end of stream reads as 0.
bool HasPendingInput(int fd)
{
    char byte;
    return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

void SendSimpleAnswer(IHttpSink& sink, bool headOnly, int number)
{
    THttpResponse response(sink, headOnly);
    response.SetResponseNo(number);
    response.SetContentType("text/html");
    if (number == 405)
        response.AddHeader("Allow", "GET, HEAD, POST");
    response.WriteContent();
}

} // namespace

// ---- THttpResponse ----

void THttpResponse::SetResponseNo(int number)
{
    FResponseNo = number;
    FReason = ReasonPhraseOf(number);
}

void THttpResponse::SetContentText(std::string text)
{
    FContentText = std::move(text);
    FHasText = true;
    FContentFile = -1;
}

void THttpResponse::SetContentFile(int fd)
{
    FContentFile = fd;
    FHasText = false;
    FContentText.clear();
}

void THttpResponse::AddHeader(std::string name, std::string value)
{
    FExtraHeaders.emplace_back(std::move(name), std::move(value));
}

std::string THttpResponse::DefaultBody() const
{
    return "<HTML><BODY><B>" + std::to_string(FResponseNo) + " " + FReason + "</B></BODY></HTML>";
}

namespace {

std::string BuildHeader(int number, const std::string& reason, const std::string& contentType,
                        int64_t length,
                        const std::vector<std::pair<std::string, std::string>>& extra)
{
    std::string h;
    h.reserve(256);
    h += "HTTP/1.1 ";
    h += std::to_string(number);
    h += ' ';
    h += reason;
    h += "\r\nServer: ";
    h += ServerName;
    h += "\r\nDate: ";
    h += HttpDate();
    if (!contentType.empty()) {
        h += "\r\nContent-Type: ";
        h += contentType;
        // Every text this server produces is UTF-8; a text file without a
        // declared charset is most likely UTF-8 too.
        if (IsTextType(contentType) && !HasCharset(contentType))
            h += "; charset=utf-8";
    }
    if (length >= 0) {
        h += "\r\nContent-Length: ";
        h += std::to_string(length);
    }
    for (const auto& [name, value] : extra) {
        h += "\r\n";
        h += name;
        h += ": ";
        h += value;
    }
    // One request per connection keeps each worker's life simple.
    h += "\r\nConnection: close\r\n\r\n";
    return h;
}

} // namespace

void THttpResponse::WriteHeader()
{
    if (FHeaderWritten)
        return;
    FHeaderWritten = true;
    FSink.Send(BuildHeader(FResponseNo, FReason, FContentType, FContentLength, FExtraHeaders),
               true);
}

void THttpResponse::WriteContent()
{
    if (FContentWritten)
        return;
    FContentWritten = true;
    if (FContentFile < 0 && !FHasText) {
        FContentText = DefaultBody();
        FHasText = true;
    }
    if (FHasText) {
        if (!FHeaderWritten) {
            // Header and text leave in one piece.
            if (FContentLength < 0)
                FContentLength = static_cast<int64_t>(FContentText.size());
            FHeaderWritten = true;
            std::string all =
                BuildHeader(FResponseNo, FReason, FContentType, FContentLength, FExtraHeaders);
            if (!FHeadOnly)
                all += FContentText;
            FSink.Send(all, false);
            return;
        }
        if (!FHeadOnly)
            FSink.Send(FContentText, false);
        return;
    }
    WriteHeader();
    if (!FHeadOnly && FContentLength > 0)
        FSink.SendFile(FContentFile, FContentLength);
}

// ---- THttpServer ----

struct THttpServer::TState {
    int ListenFd = -1;
    uint16_t BoundPort = 0;
    std::atomic<bool> Stopping{false};

    std::mutex Lock; // guards everything below
    std::condition_variable WorkerEnded;
    int Alive = 0;
    int Idle = 0;
    std::vector<pthread_t> Threads;
    std::unordered_set<int> Connections;
};

namespace {

struct TWorkerStart {
    THttpServer* Server;
    void (*Run)(THttpServer*);
};

void* WorkerEntry(void* arg)
{
    const TWorkerStart start = *static_cast<TWorkerStart*>(arg);
    delete static_cast<TWorkerStart*>(arg);
    // Writing to a closed socket must end the request, not the process, and
    // process signals such as Ctrl+C belong to the main thread.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    start.Run(start.Server);
    return nullptr;
}

} // namespace

// The worker loop lives in a static function with access to the private
// state; it is declared here so the header need not name it.
struct THttpServerWorker {
    static void Run(THttpServer* server);
    static bool Spawn(THttpServer* server, THttpServer::TState& s);
    static void Serve(THttpServer* server, int fd, const sockaddr_storage& addr);
};

bool THttpServerWorker::Spawn(THttpServer* server, THttpServer::TState& s)
{
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return false;
    pthread_attr_setstacksize(&attr, WorkerStackSize);
    auto* start = new TWorkerStart{server, &THttpServerWorker::Run};
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, &WorkerEntry, start);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete start;
        return false;
    }
    s.Threads.push_back(thread);
    ++s.Alive;
    return true;
}

void THttpServerWorker::Run(THttpServer* server)
{
    THttpServer::TState& s = *server->FState;
    for (;;) {
        {
            std::lock_guard lock(s.Lock);
            if (s.Stopping)
                break;
            ++s.Idle;
        }
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        const int fd =
            ::accept4(s.ListenFd, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
        const int acceptError = errno;
        {
            std::lock_guard lock(s.Lock);
            --s.Idle;
            if (fd >= 0 && s.Stopping) {
                ::close(fd);
                break;
            }
            if (fd >= 0) {
                s.Connections.insert(fd);
                // The last idle worker took this connection: add one so the
                // next connection is not kept waiting.
                if (s.Idle == 0 && s.Alive < THttpServer::MaxWorkers)
                    Spawn(server, s);
            }
        }
        if (fd < 0) {
            if (s.Stopping)
                break;
            // Out of descriptors or memory: back off instead of spinning;
            // the connection stays in the accept queue.
            if (acceptError == EMFILE || acceptError == ENFILE || acceptError == ENOBUFS
                || acceptError == ENOMEM)
                ::usleep(50 * 1000);
            continue;
        }
        try {
            Serve(server, fd, addr);
        } catch (...) {
            // Out of memory while reading a request, say: that connection
            // is lost, the worker and the server live on.
        }
        {
            std::lock_guard lock(s.Lock);
            s.Connections.erase(fd);
        }
        ::close(fd);
    }
    std::lock_guard lock(s.Lock);
    --s.Alive;
    s.WorkerEnded.notify_all();
}

void THttpServerWorker::Serve(THttpServer* server, int fd, const sockaddr_storage& addr)
{
    TSocketSink sink(fd);
    TSocketReader reader(fd, server->FReadTimeoutMs);
    beast::flat_buffer buffer;
    http::request_parser<http::string_body> parser;
    parser.header_limit(THttpServer::MaxHeaderSize);
    parser.body_limit(static_cast<uint64_t>(THttpServer::MaxBodySize));

    bool headOnly = false;
    // Answers sent before the request was read to its end.
    auto refuse = [&](int number) {
        try {
            SendSimpleAnswer(sink, headOnly, number);
            sink.Flush();
        } catch (const EHttpSocketError&) {
            return;
        }
        LingerAndDrain(fd);
    };

    error_code ec;
    http::read_header(reader, buffer, parser, ec);
    if (ec == http::error::header_limit) {
        refuse(431);
        return;
    }
    if (ec == http::error::body_limit) {
        refuse(413);
        return;
    }
    if (ec == boost::asio::error::eof || ec == boost::asio::error::timed_out
        || ec == http::error::end_of_stream
        || (ec && ec.category() == boost::system::system_category()))
        return; // the client went away or said nothing: nobody to answer
    if (ec) {
        refuse(400);
        return;
    }

    const auto& header = parser.get();
    const http::verb verb = header.method();
    headOnly = verb == http::verb::head;
    if (verb != http::verb::get && verb != http::verb::head && verb != http::verb::post) {
        refuse(405);
        return;
    }
    if (const auto length = parser.content_length();
        length && *length > static_cast<uint64_t>(THttpServer::MaxBodySize)) {
        refuse(413);
        return;
    }
    if (!parser.is_done()) {
        // Clients that ask first wait for this line before sending a body.
        const auto expect = header.find(http::field::expect);
        if (expect != header.end() && beast::iequals(expect->value(), "100-continue")) {
            try {
                sink.Send("HTTP/1.1 100 Continue\r\n\r\n", false);
            } catch (const EHttpSocketError&) {
                return;
            }
        }
        reader.RestartOnEachRead();
        http::read(reader, buffer, parser, ec);
        if (ec == http::error::body_limit) {
            refuse(413);
            return;
        }
        if (ec == boost::asio::error::eof || ec == boost::asio::error::timed_out
            || (ec && ec.category() == boost::system::system_category()))
            return;
        if (ec) {
            refuse(400);
            return;
        }
    }

    THttpRequest request;
    request.Method = std::string(header.method_string());
    request.RemoteIP = AddressText(addr);
    const auto rawTarget = header.target();
    const std::string_view target(rawTarget.data(), rawTarget.size());
    const size_t question = target.find('?');
    request.URI = std::string(target.substr(0, question));
    if (question != std::string_view::npos)
        request.QueryText = std::string(target.substr(question + 1));
    for (const auto& field : header)
        request.Headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    if (verb == http::verb::post) {
        const auto type = header.find(http::field::content_type);
        if (type != header.end()
            && MediaTypeOf(std::string_view(type->value().data(), type->value().size()))
                   == FormMediaType)
            request.FormText = std::move(parser.get().body());
    }

    THttpResponse response(sink, headOnly);
    try {
        if (server->FOnRequest)
            server->FOnRequest(request, response);
        response.WriteContent();
        sink.Flush();
    } catch (const EHttpSocketError&) {
        return;
    } catch (const std::exception& e) {
        // Once bytes of the first answer are out it is too late for
        // another; closing the connection tells the client.
        if (response.HeaderWritten() && !sink.DropPending())
            return;
        try {
            THttpResponse failure(sink, headOnly);
            failure.SetResponseNo(500);
            failure.SetContentType("text/plain");
            failure.SetContentText(e.what());
            failure.WriteContent();
            sink.Flush();
        } catch (const EHttpSocketError&) {
            return;
        }
    }
    // Bytes the client sent beyond its request would make the close reset
    // the connection, which can destroy the answer still in flight.
    if (buffer.size() > 0 || HasPendingInput(fd))
        LingerAndDrain(fd);
}

THttpServer::THttpServer() : FState(std::make_unique<TState>())
{}

THttpServer::~THttpServer()
{
    Deactivate();
}

bool THttpServer::Active() const
{
    return FState->ListenFd >= 0;
}

uint16_t THttpServer::ListeningPort() const
{
    return Active() ? FState->BoundPort : FDefaultPort;
}

void THttpServer::Activate()
{
    if (Active())
        return;
    // One dual-stack socket serves IPv6 and IPv4 clients; where IPv6 is
    // switched off, a plain IPv4 socket does.
    int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int bound = -1;
    const int one = 1;
    const int zero = 0;
    if (fd >= 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_any;
        a.sin6_port = htons(FDefaultPort);
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        if (bound < 0 && errno != EADDRINUSE && errno != EACCES) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_ANY);
            a.sin_port = htons(FDefaultPort);
            bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
    }
    if (fd < 0 || bound < 0 || ::listen(fd, SOMAXCONN) < 0) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        throw EHttpBindError(BindFailedText + std::to_string(FDefaultPort) + ": " + reason);
    }
    // The kernel hands over a connection once its first request bytes are
    // in, so a worker does not wake, find nothing to read and sleep again.
    // A client that stays silent is still handed over after a second, and
    // the read time-out then applies as before.
    const int deferSeconds = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
    // Accepted sockets inherit the send time-out from the listening socket.
    const timeval sendTimeout{SendTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
    FState->BoundPort =
        ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    FState->Stopping = false;
    FState->ListenFd = fd;
    std::lock_guard lock(FState->Lock);
    if (!THttpServerWorker::Spawn(this, *FState)) {
        // Listening without a worker would accept connections nobody serves.
        ::close(fd);
        FState->ListenFd = -1;
        throw EHttpBindError(NoWorkerText);
    }
}

void THttpServer::Deactivate()
{
    TState& s = *FState;
    if (s.ListenFd < 0)
        return;
    {
        std::lock_guard lock(s.Lock);
        s.Stopping = true;
        // Closing the socket would not wake a thread blocked in accept or
        // recv; shutting it down does.
        ::shutdown(s.ListenFd, SHUT_RDWR);
        for (const int fd : s.Connections)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (;;) {
        {
            std::unique_lock lock(s.Lock);
            if (s.WorkerEnded.wait_for(lock, std::chrono::milliseconds(50),
                                       [&] { return s.Alive == 0; }))
                break;
        }
        // A worker busy with a page does not notice the closed socket.
        if (FOnStopping)
            FOnStopping();
    }
    std::vector<pthread_t> threads;
    {
        std::lock_guard lock(s.Lock);
        threads.swap(s.Threads);
    }
    for (const pthread_t t : threads)
        pthread_join(t, nullptr);
    ::close(s.ListenFd);
    s.ListenFd = -1;
    s.BoundPort = 0;
}
