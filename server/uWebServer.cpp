#include "uWebServer.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "uGlobals.h"
#include "uHttpServer.h"

namespace {

constexpr char ServerIdentity[] = "Tervalo/0.04";
constexpr char InvalidPathText[] = "Invalid characters in path";
constexpr char DuplicatesText[] = "Duplicates not allowed";
constexpr char PagesUnavailableText[] = "Server pages are not available";
constexpr char IllegalAccessText[] = "] Illegal access attempt: ";
constexpr char NotFoundText[] = "] Could not find file: ";
constexpr char StartedText[] = "Started server on port ";
constexpr char StoppedText[] = "Stopped server";
constexpr char TemplateFailedText[] = "Failed to load error template for code ";
constexpr char MimeFailedText[] = "An error occurred when loading the mimetypes from path: ";
constexpr char LogOpenFailedText[] = "Could not open the event log ";
constexpr char FileOpenFailedText[] = "Cannot open file \"";
constexpr char LogFileName[] = "events.log";
constexpr char PageExtension[] = ".dsp";

// Error pages exist for these codes, looked up in this order.
constexpr int TemplateCodes[] = {403, 404};
// Tried in this order when a request names a folder.
const char* const IndexDocuments[] = {"index.dsp", "index.htm"};
constexpr char LastIndexDocument[] = "index.html";

thread_local TServerData* CurrentData = nullptr;

// Puts a request's parameters in the worker's slot for as long as the
// request runs, and empties the slot on every way out.
class TCurrentDataScope final {
public:
    explicit TCurrentDataScope(TServerData* data) { CurrentData = data; }
    ~TCurrentDataScope() { CurrentData = nullptr; }
    TCurrentDataScope(const TCurrentDataScope&) = delete;
    TCurrentDataScope& operator=(const TCurrentDataScope&) = delete;
};

class TFileHandle final {
public:
    explicit TFileHandle(int fd) : FFd(fd) {}
    ~TFileHandle()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithTrailingSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool HasInvalidPathChar(std::string_view text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '"' || c == '<' || c == '>' || c == '|')
            return true;
    }
    return false;
}

// Drops "." segments and lets ".." remove the segment before it, never
// climbing above "/". Empty segments collapse. A trailing "/" (or a
// trailing "." or "..") keeps the result ending with "/". Works on the text
// alone: links are not followed, as for any path written in a request.
// Gives false when the result would not fit a system path.
bool Canonicalise(const std::string& path, std::string& result)
{
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string_view> segments;
    std::string_view rest(path);
    std::string_view last;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        last = segment;
        if (segment.empty() || segment == ".")
            continue;
        if (segment == "..") {
            if (!segments.empty() && segments.back() != "..")
                segments.pop_back();
            else if (!absolute)
                segments.push_back(segment); // a relative path may climb out; keep it visible
            continue;
        }
        segments.push_back(segment);
    }
    const bool trailing = (!path.empty() && path.back() == '/') || last == "." || last == "..";
    result.clear();
    if (absolute)
        result += '/';
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i > 0)
            result += '/';
        result += segments[i];
    }
    if (trailing && !segments.empty())
        result += '/';
    return result.size() < PATH_MAX;
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtensionOf(const std::string& path)
{
    const std::string name = FileNameOf(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : LowerCaseASCII(name.substr(dot));
}

std::string Timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char text[64];
    // Fixed separators: a log read on another machine must parse the same.
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

// Bytes of unknown origin as valid UTF-8: valid sequences stay, any other
// byte is taken as a Latin-1 character.
std::string ValidUTF8(std::string_view bytes)
{
    return TextToUTF8Bytes(UTF8OrLatin1ToText(bytes));
}

std::string HtmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool EqualsIgnoringCaseAt(const std::string& text, size_t pos, std::string_view pattern)
{
    if (text.size() - pos < pattern.size())
        return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char a = text[pos + i];
        char b = pattern[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

// Replaces every occurrence, compared ignoring case; the scan goes on after
// each replacement, so the inserted text is not searched again.
std::string ReplaceIgnoringCase(const std::string& text, std::string_view pattern,
                                const std::string& replacement)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (EqualsIgnoringCaseAt(text, i, pattern)) {
            out += replacement;
            i += pattern.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

// Reads a text file as lines. A byte-order mark selects UTF-8 or UTF-16;
// without one the bytes are read as UTF-8 where valid, else as Latin-1.
// Lines end at CR LF, CR or LF. Gives false when the file cannot be read.
bool ReadTextLines(const std::string& fileName, std::vector<std::u16string>& lines)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return false;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    std::u16string text;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        text = UTF8OrLatin1ToText(std::string_view(bytes).substr(3));
    } else if (bytes.size() >= 2
               && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        const bool little = b[0] == 0xFF;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text +=
                static_cast<char16_t>(little ? (b[i] | (b[i + 1] << 8)) : ((b[i] << 8) | b[i + 1]));
    } else {
        text = UTF8OrLatin1ToText(bytes);
    }
    lines.clear();
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return true;
}

} // namespace

// ---- Request parameters ----

void ParseParams(const std::u16string& text, TParamMap& params)
{
    // Decoding comes first, so an encoded "&" or "=" separates as well.
    for (const std::u16string& element : SplitString(u"&", URLDecode(text), 0)) {
        const size_t eq = element.find(u'=');
        std::u16string key;
        std::u16string value;
        if (eq == std::u16string::npos) {
            value = element;
        } else {
            key = LowerCaseASCII(element.substr(0, eq));
            value = element.substr(eq + 1);
        }
        if (!params.emplace(std::move(key), std::move(value)).second)
            throw EWebServerError(DuplicatesText);
    }
}

TServerData* CurrentServerData()
{
    return CurrentData;
}

// ---- Path mapping ----

TMappedPath MapRequestPath(std::string_view uri, const std::string& documentRoot)
{
    std::string relative(uri.empty() ? std::string_view() : uri.substr(1));
    // Clients write either separator; both mean a folder step.
    for (char& c : relative)
        if (c == '\\')
            c = '/';
    if (HasInvalidPathChar(relative) || HasInvalidPathChar(documentRoot))
        throw EWebServerError(InvalidPathText);

    std::string combined;
    if (relative.empty())
        combined = documentRoot;
    else if (relative.front() == '/' || (relative.size() >= 2 && relative[1] == ':'))
        combined = relative; // rooted: the access rule below refuses it
    else
        combined = documentRoot + relative;

    TMappedPath mapped;
    if (!Canonicalise(combined, mapped.Path)) {
        // A path we cannot put in canonical form is never used as it is.
        mapped.Path = combined;
        mapped.Allowed = false;
        return mapped;
    }
    // One look at the file system serves both questions: folder or file.
    struct stat st {};
    const bool found = ::stat(mapped.Path.c_str(), &st) == 0;
    if (found && S_ISDIR(st.st_mode)) {
        mapped.Path = WithTrailingSlash(mapped.Path);
        const char* index = LastIndexDocument;
        for (const char* candidate : IndexDocuments) {
            if (IsRegularFile(mapped.Path + candidate)) {
                index = candidate;
                mapped.IsFile = true;
                break;
            }
        }
        mapped.Path += index;
    } else {
        mapped.IsFile = found && S_ISREG(st.st_mode);
    }
    const std::string name = FileNameOf(mapped.Path);
    // Only the last name counts: hidden folders on the way are allowed.
    mapped.Allowed = mapped.Path.compare(0, documentRoot.size(), documentRoot) == 0
                     && (name.empty() || name.front() != '.');
    return mapped;
}

// ---- TWebServer ----

TWebServer::TWebServer() : FHttp(std::make_unique<THttpServer>())
{
    LoadTemplates();
    FHttp->SetOnRequest([this](const THttpRequest& request, THttpResponse& response) {
        HandleRequest(request, response);
    });
    FHttp->SetOnStopping([this] {
        if (FPageHandler)
            FPageHandler->StopAllPages();
    });
}

TWebServer::~TWebServer()
{
    // The workers call back into this object: they must be gone before any
    // member they use.
    FHttp.reset();
    if (FLogFile >= 0)
        ::close(FLogFile);
}

void TWebServer::SetDocumentRoot(const std::string& folder)
{
    // Requests are compared against the canonical form of the root; a root
    // written with "." or ".." would otherwise refuse every request.
    // A relative root is taken from the working folder now, so that the
    // comparison never depends on how a request climbs with "..".
    std::string full = WithTrailingSlash(folder);
    if (full.front() != '/') {
        std::error_code ec;
        const std::string cwd = std::filesystem::current_path(ec).string();
        if (!ec)
            full = WithTrailingSlash(cwd) + full;
    }
    std::string canonical;
    FDocumentRoot = Canonicalise(full, canonical) ? WithTrailingSlash(canonical) : full;
}

void TWebServer::SetLogsPath(const std::string& folder)
{
    FLogsPath = WithTrailingSlash(folder);
}

void TWebServer::SetPort(uint16_t port)
{
    FHttp->SetDefaultPort(port);
}

uint16_t TWebServer::Port() const
{
    return FHttp->DefaultPort();
}

uint16_t TWebServer::ListeningPort() const
{
    return FHttp->ListeningPort();
}

void TWebServer::SetTimeout(int32_t milliseconds)
{
    FTimeout = milliseconds < 0 ? 0 : milliseconds;
}

void TWebServer::SetReadTimeout(int32_t milliseconds)
{
    FHttp->SetReadTimeout(milliseconds < 1 ? 1 : milliseconds);
}

bool TWebServer::Active() const
{
    return FHttp->Active();
}

void TWebServer::Start()
{
    if (Active())
        return;
    if (FLogFile >= 0) {
        ::close(FLogFile);
        FLogFile = -1;
    }
    if (IsDirectory(FLogsPath)) {
        const std::string logName = FLogsPath + LogFileName;
        // Appending keeps every run's lines; other programs may read and
        // write the file meanwhile.
        const int fd = ::open(logName.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0)
            throw EWebServerError(LogOpenFailedText + logName + ": " + std::strerror(errno));
        FLogFile = fd;
    }
    LoadTemplates();
    FHttp->Activate();
    Log(StartedText + std::to_string(ListeningPort()));
    if (FOnStateChange)
        FOnStateChange();
}

void TWebServer::Stop()
{
    if (!Active())
        return;
    FHttp->Deactivate();
    Log(StoppedText);
    if (FOnStateChange)
        FOnStateChange();
    std::lock_guard lock(FLogLock);
    if (FLogFile >= 0) {
        ::close(FLogFile);
        FLogFile = -1;
    }
}

void TWebServer::Log(const std::string& message)
{
    std::string line = "[";
    line += Timestamp();
    line += "] - ";
    line += ValidUTF8(message);
    {
        std::lock_guard lock(FLogLock);
        if (FLogFile >= 0) {
            const std::string bytes = line + "\r\n";
            // One write per line: with O_APPEND the line lands whole even
            // when another program appends to the file as well.
            size_t done = 0;
            while (done < bytes.size()) {
                const ssize_t n = ::write(FLogFile, bytes.data() + done, bytes.size() - done);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break; // a full disk must not stop the server
                done += static_cast<size_t>(n);
            }
        }
    }
    if (FOnLog)
        FOnLog(line);
}

void TWebServer::LoadTemplates()
{
    FTemplates.clear();
    for (const int code : TemplateCodes) {
        const std::string fileName = "templates/" + std::to_string(code) + ".html";
        if (!IsRegularFile(fileName))
            continue;
        std::vector<std::u16string> lines;
        if (!ReadTextLines(fileName, lines)) {
            Log(TemplateFailedText + std::to_string(code) + " from: " + fileName);
            continue;
        }
        std::u16string text;
        for (const std::u16string& line : lines) {
            text += line;
            text += u"\r\n";
        }
        if (!text.empty())
            FTemplates[code] = TextToUTF8Bytes(text);
    }
}

void TWebServer::LoadMimeTypes(const std::string& fileName)
{
    if (!IsRegularFile(fileName))
        return;
    std::vector<std::u16string> lines;
    if (!ReadTextLines(fileName, lines)) {
        Log(MimeFailedText + fileName);
        return;
    }
    std::vector<std::string> utf8;
    utf8.reserve(lines.size());
    for (const std::u16string& line : lines)
        utf8.push_back(TextToUTF8Bytes(line));
    FHttp->MimeTable().LoadLines(utf8, '=');
}

void TWebServer::HandleRequest(const THttpRequest& request, THttpResponse& response)
{
    const TMappedPath mapped = MapRequestPath(request.URI, FDocumentRoot);
    if (!mapped.Allowed) {
        Log("[" + request.RemoteIP + IllegalAccessText + mapped.Path);
        SendError(403, request, response);
        return;
    }
    if (!mapped.IsFile && !IsRegularFile(mapped.Path)) {
        Log("[" + request.RemoteIP + NotFoundText + mapped.Path);
        SendError(404, request, response);
        return;
    }
    if (ExtensionOf(mapped.Path) == PageExtension)
        SendPage(mapped.Path, request, response);
    else
        SendFile(mapped.Path, response);
}

void TWebServer::SendFile(const std::string& path, THttpResponse& response)
{
    // Opened for shared reading: any number of requests may send the same
    // file at once.
    TFileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0)
        throw EWebServerError(FileOpenFailedText + FileNameOf(path) + "\". "
                              + std::strerror(errno));
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0)
        throw EWebServerError(FileOpenFailedText + FileNameOf(path) + "\". "
                              + std::strerror(errno));
    response.SetContentType(FHttp->MimeTable().TypeOf(path));
    response.SetContentLength(st.st_size);
    response.WriteHeader();
    response.SetContentFile(file.Get());
    response.WriteContent();
}

void TWebServer::SendPage(const std::string& path, const THttpRequest& request,
                          THttpResponse& response)
{
    // The parameters are in place before the page is read, so a bad query
    // fails the same way whatever the page holds.
    TServerData data;
    const TCurrentDataScope scope(&data);
    ParseParams(UTF8OrLatin1ToText(request.QueryText), data.GetParams);
    ParseParams(UTF8OrLatin1ToText(request.FormText), data.PostParams);
    if (!FPageHandler)
        throw EWebServerError(PagesUnavailableText);

    TPageRequest page;
    page.FileName = path;
    page.Method = request.Method;
    page.URI = request.URI;
    page.QueryText = request.QueryText;
    page.FormText = request.FormText;
    page.RemoteIP = request.RemoteIP;
    page.Headers = request.Headers;
    page.Timeout = FTimeout;
    std::string text = FPageHandler->RunPage(page);

    response.SetContentType(FHttp->MimeTable().TypeOf("file.html"));
    response.SetContentLength(static_cast<int64_t>(text.size()));
    response.WriteHeader();
    response.SetContentText(std::move(text));
    response.WriteContent();
}

void TWebServer::SendError(int code, const THttpRequest& request, THttpResponse& response)
{
    response.SetResponseNo(code);
    response.SetContentType("text/html");
    const auto found = FTemplates.find(code);
    if (found == FTemplates.end()) {
        response.WriteContent(); // the facility's default page for the code
        return;
    }
    // The URI is escaped: echoed raw, a crafted link would run script in
    // the visitor's browser.
    std::string text =
        ReplaceIgnoringCase(found->second, "{url}", HtmlEscape(ValidUTF8(request.URI)));
    text = ReplaceIgnoringCase(text, "{server}", ServerIdentity);
    text = ReplaceIgnoringCase(text, "{port}", std::to_string(ListeningPort()));
    response.SetContentLength(static_cast<int64_t>(text.size()));
    response.WriteHeader();
    response.SetContentText(std::move(text));
    response.WriteContent();
}
