// tervalo serve: the web server without the window, in the foreground, until
// Ctrl+C or a termination signal.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <pthread.h>
#include <string>
#include <system_error>

#include "commands.h"
#include "uPageRequest.h"
#include "uServeDefaults.h"
#include "uWebServer.h"

namespace {

constexpr char MimeTableFile[] = "mimetypes.txt";
constexpr char EmptyRootText[] =
    "tervalo serve: the public root folder is empty; give one with --root DIR\n";
constexpr char MissingRootText[] =
    "tervalo serve: warning: the public root folder %s does not exist; every request gets 404\n";
constexpr char StartFailedText[] = "tervalo serve: could not start the server: %s\n";
constexpr char BadValueText[] = "tervalo serve: invalid value for %s: \"%s\"\n";
constexpr char MissingValueText[] = "tervalo serve: %s needs a value\n";
constexpr char UnknownOptionText[] = "tervalo serve: unknown option \"%s\"\n";
constexpr char UsageText[] =
    "Usage: tervalo serve [--port N] [--root DIR] [--logs DIR] [--timeout MS]\n";

bool ParseNumber(const char* text, long long min, long long max, long long& value)
{
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    value = v;
    return true;
}

// A relative folder is taken from where the command runs, and written out
// in full so log lines and the access rule see one stable path.
std::string AbsoluteFolder(const std::string& folder)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(folder, ec);
    if (ec)
        return folder;
    std::string text = full.lexically_normal().string();
    if (text.empty() || text.back() != '/')
        text += '/';
    return text;
}

} // namespace

int RunServeCommand(int argc, char** argv)
{
    TServeDefaults options = ReadServeDefaults();
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        const bool known = std::strcmp(name, "--port") == 0 || std::strcmp(name, "--root") == 0
                           || std::strcmp(name, "--logs") == 0
                           || std::strcmp(name, "--timeout") == 0;
        if (!known) {
            std::fprintf(stderr, UnknownOptionText, name);
            std::fputs(UsageText, stderr);
            return 2;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, MissingValueText, name);
            return 2;
        }
        const char* value = argv[++i];
        long long number = 0;
        if (std::strcmp(name, "--port") == 0) {
            if (!ParseNumber(value, 0, 65535, number)) {
                std::fprintf(stderr, BadValueText, name, value);
                return 2;
            }
            options.Port = static_cast<uint16_t>(number);
        } else if (std::strcmp(name, "--timeout") == 0) {
            if (!ParseNumber(value, 0, INT32_MAX, number)) {
                std::fprintf(stderr, BadValueText, name, value);
                return 2;
            }
            options.TimeoutMs = number;
        } else if (std::strcmp(name, "--root") == 0) {
            options.PublicRoot = value;
        } else {
            options.LogsFolder = value;
        }
    }
    // An empty root would become "/", publishing the whole file system.
    if (options.PublicRoot.empty()) {
        std::fputs(EmptyRootText, stderr);
        return 2;
    }

    // Ctrl+C and termination are waited for below; blocking them first
    // means every worker thread inherits the block and only sigwait sees
    // them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    TWebServer server;
    InstallPageHandler(server);
    server.SetOnLog([](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    server.LoadMimeTypes(MimeTableFile);
    server.SetDocumentRoot(AbsoluteFolder(options.PublicRoot));
    std::error_code rootError;
    if (!std::filesystem::is_directory(server.DocumentRoot(), rootError))
        std::fprintf(stderr, MissingRootText, server.DocumentRoot().c_str());
    if (!options.LogsFolder.empty()) {
        server.SetLogsPath(AbsoluteFolder(options.LogsFolder));
        // As the window does at start-up; a folder that cannot be made only
        // means the log goes to the screen alone.
        std::error_code ignored;
        std::filesystem::create_directories(server.LogsPath(), ignored);
    }
    server.SetPort(options.Port);
    server.SetTimeout(static_cast<int32_t>(options.TimeoutMs));
    try {
        server.Start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, StartFailedText, e.what());
        return 1;
    }

    int received = 0;
    while (sigwait(&stopSignals, &received) != 0) {
    }
    server.Stop();
    return 0;
}
