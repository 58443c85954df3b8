// tervalo run FILE [--timeout MS]: compiles a script file the way pages are
// compiled (same component, same default configuration, no page filter),
// runs it, and writes what it printed to stdout and every message to stderr.
//
// Exit status: 0 when it compiled and ran without a run-time message, 1 when
// compilation listed errors (nothing ran), 2 when the run ended with a
// run-time error, an unhandled exception or the time-out. Mistakes in the
// command line itself use 64 and an unreadable file 66, so they can never be
// taken for an outcome of the script.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "tvsComp.h"
#include "tvsFileSystem.h"

namespace {

constexpr int UsageExitStatus = 64;
constexpr int NoInputExitStatus = 66;

constexpr char UsageText[] = "Usage: tervalo run FILE [--timeout MS]\n";
constexpr char BadTimeoutText[] = "tervalo run: invalid value for --timeout: \"%s\"\n";
constexpr char UnknownOptionText[] = "tervalo run: unknown option \"%s\"\n";
constexpr char ReadFailedText[] = "tervalo run: %s\n";

bool ParseTimeout(const char* text, long long& value)
{
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    // The time-out is a 32-bit millisecond count in the configuration.
    if (errno != 0 || *end != '\0' || v < 0 || v > 2147483647)
        return false;
    value = v;
    return true;
}

void WriteAll(std::FILE* out, const std::string& bytes)
{
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), out);
}

} // namespace

int RunScriptCommand(int argc, char** argv)
{
    const char* fileName = nullptr;
    long long timeoutMs = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--timeout") == 0) {
            if (i + 1 >= argc || !ParseTimeout(argv[i + 1], timeoutMs)) {
                std::fprintf(stderr, BadTimeoutText, i + 1 < argc ? argv[i + 1] : "");
                return UsageExitStatus;
            }
            ++i;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, UnknownOptionText, arg);
            std::fputs(UsageText, stderr);
            return UsageExitStatus;
        } else if (fileName == nullptr) {
            fileName = arg;
        } else {
            std::fputs(UsageText, stderr);
            return UsageExitStatus;
        }
    }
    if (fileName == nullptr) {
        std::fputs(UsageText, stderr);
        return UsageExitStatus;
    }

    std::u16string source;
    try {
        source = LoadTextFile(fileName);
    } catch (const Exception& e) {
        std::fprintf(stderr, ReadFailedText, e.what());
        return NoInputExitStatus;
    }

    const TtvsScriptRunOutcome outcome = CompileAndRunScript(source, timeoutMs);
    WriteAll(stdout, TextToUTF8(outcome.Output));
    std::fflush(stdout);
    for (const std::u16string& message : outcome.Messages)
        WriteAll(stderr, TextToUTF8(message) + "\n");
    return outcome.ExitStatus;
}
