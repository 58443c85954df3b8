// The web server: maps requests to files under the public root, applies the
// access rule, answers files, error pages and server pages, keeps the event
// log, and holds the per-request parameters that server pages read.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class THttpServer;
class THttpRequest;
class THttpResponse;

// An error that ends a request; the HTTP front answers it with 500 and the
// message as the text.
class EWebServerError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---- Request parameters ----

// Keys are lower-cased (A to Z only); each key at most once.
using TParamMap = std::map<std::u16string, std::u16string>;

// The parameters of one page request, parsed from its query text and its
// form text before the page runs.
struct TServerData {
    TParamMap GetParams;
    TParamMap PostParams;
};

// Decodes text (URLDecode), splits it at "&" and adds each "key=value" to
// params. Raises EWebServerError "Duplicates not allowed" for a key that is
// already there.
void ParseParams(const std::u16string& text, TParamMap& params);

// The parameters of the request that the calling worker thread is serving,
// or nullptr outside a page request. Script functions that read the request
// find it here, so no lock is needed.
TServerData* CurrentServerData();

// ---- The page branch ----

// Everything a server page may need from its request. Texts are the bytes
// sent by the client (the query and form texts are not decoded).
struct TPageRequest {
    std::string FileName; // mapped path of the page file
    std::string Method;   // "GET", "HEAD" or "POST"
    std::string URI;      // request target before "?", as sent
    std::string QueryText;
    std::string FormText;
    std::string RemoteIP;
    std::vector<std::pair<std::string, std::string>> Headers;
    int32_t Timeout = 0; // milliseconds; 0 runs without a time limit
};

// Runs server pages. The server calls RunPage on the worker thread that
// serves the request, several at once, after it has put the request's
// parameters in place (CurrentServerData). An exception thrown by RunPage is
// answered with 500 and its message.
class IPageHandler {
public:
    virtual ~IPageHandler() = default;
    // The page's output as UTF-8; it is sent with the type of ".html" files.
    virtual std::string RunPage(const TPageRequest& page) = 0;
    // Asks every page run in progress to stop as its time-out would. Called
    // from the thread that stops the server, possibly several times.
    virtual void StopAllPages() = 0;
};

// ---- The server ----

// Callbacks are plain functions; OnLog is called on whichever thread logs:
// the thread that calls Start, Stop or LoadMimeTypes, and the worker threads
// that serve requests (several at once). A window must move the line to its
// own thread before touching widgets. OnStateChange is called on the thread
// that calls Start or Stop.
using TLogHandler = std::function<void(const std::string& line)>;
using TStateChangeHandler = std::function<void()>;

class TWebServer final {
public:
    TWebServer();
    ~TWebServer();
    TWebServer(const TWebServer&) = delete;
    TWebServer& operator=(const TWebServer&) = delete;

    // The setters are used while the server is stopped. Folders are stored
    // ending with "/"; an empty text becomes "/".
    void SetDocumentRoot(const std::string& folder);
    const std::string& DocumentRoot() const { return FDocumentRoot; }
    void SetLogsPath(const std::string& folder);
    const std::string& LogsPath() const { return FLogsPath; }
    // Port 0 lets the system choose a free port (see ListeningPort).
    void SetPort(uint16_t port);
    uint16_t Port() const;
    // The port actually listened on while active, else Port().
    uint16_t ListeningPort() const;
    // Page run time-out in milliseconds; a negative value is stored as 0.
    void SetTimeout(int32_t milliseconds);
    int32_t Timeout() const { return FTimeout; }
    // How long a connection may take to send its request before it is
    // dropped, so a silent client cannot hold a worker.
    void SetReadTimeout(int32_t milliseconds);

    void SetOnLog(TLogHandler handler) { FOnLog = std::move(handler); }
    void SetOnStateChange(TStateChangeHandler handler) { FOnStateChange = std::move(handler); }
    void SetPageHandler(std::shared_ptr<IPageHandler> handler)
    {
        FPageHandler = std::move(handler);
    }

    bool Active() const;
    // Opens the event log, reloads the error templates and starts listening.
    // Raises an exception (EWebServerError) when the log file cannot be
    // opened or the port cannot be bound; the server then stays stopped.
    void Start();
    // Stops listening, closes every connection, asks running pages to stop
    // and returns once all workers have ended.
    void Stop();

    // Fills the MIME table from a file of ".ext=type" lines; a missing file
    // leaves the built-in table in force.
    void LoadMimeTypes(const std::string& fileName);
    // Reads templates/403.html and templates/404.html from the working folder.
    void LoadTemplates();
    // Writes "[timestamp] - message" to the event log and raises OnLog.
    void Log(const std::string& message);

private:
    void HandleRequest(const THttpRequest& request, THttpResponse& response);
    void SendFile(const std::string& path, THttpResponse& response);
    void SendPage(const std::string& path, const THttpRequest& request, THttpResponse& response);
    void SendError(int code, const THttpRequest& request, THttpResponse& response);

    std::unique_ptr<THttpServer> FHttp;
    std::string FDocumentRoot = "/";
    std::map<int, std::string> FTemplates; // UTF-8 text by response code
    std::string FLogsPath;                 // none until set: no log file
    int32_t FTimeout = 0;
    TLogHandler FOnLog;
    TStateChangeHandler FOnStateChange;
    std::shared_ptr<IPageHandler> FPageHandler;
    std::mutex FLogLock; // one line at a time into the log file
    int FLogFile = -1;   // open while the server runs with a logs folder
};

// ---- Path mapping, exposed for tests ----

// Maps a request URI (as sent, not decoded) into the public root: drops the
// first character, treats "/" and "\" alike, canonicalises, completes a
// folder with its index document and applies the access rule. Raises
// EWebServerError "Invalid characters in path" for control characters,
// '"', '<', '>' and '|'.
struct TMappedPath {
    std::string Path;
    bool Allowed = false;
    bool IsFile = false; // known to name an existing regular file
};
TMappedPath MapRequestPath(std::string_view uri, const std::string& documentRoot);
