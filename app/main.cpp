// Entry point of the tervalo executable: picks the mode from the first
// argument. The window's toolkit is only started by the desktop mode, so the
// command-line modes run on machines without a display.
#include "commands.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char VersionText[] = "Tervalo 0.04";

void PrintUsage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage:\n"
                 "  tervalo                     open the desktop window\n"
                 "  tervalo serve [--port N] [--root DIR] [--logs DIR] [--timeout MS]\n"
                 "                              run the web server in the foreground\n"
                 "  tervalo run FILE [--timeout MS]\n"
                 "                              compile and run a script file\n"
                 "  tervalo --help              show this help\n"
                 "  tervalo --version           show the version\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return RunDesktop(argc, argv);
    const char* mode = argv[1];
    if (std::strcmp(mode, "--help") == 0 || std::strcmp(mode, "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (std::strcmp(mode, "--version") == 0) {
        std::printf("%s\n", VersionText);
        return 0;
    }
    if (std::strcmp(mode, "serve") == 0)
        return RunServeCommand(argc - 1, argv + 1);
    if (std::strcmp(mode, "run") == 0)
        return RunScriptCommand(argc - 1, argv + 1);
    std::fprintf(stderr, "tervalo: unknown command \"%s\"\n\n", mode);
    PrintUsage(stderr);
    return 2;
}
