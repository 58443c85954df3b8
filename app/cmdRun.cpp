#include "commands.h"

#include <cstdio>

int RunScriptCommand(int, char**)
{
    std::fprintf(stderr, "tervalo run: not built yet\n");
    return 1;
}
