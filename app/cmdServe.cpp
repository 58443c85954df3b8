#include "commands.h"

#include <cstdio>

int RunServeCommand(int, char**)
{
    std::fprintf(stderr, "tervalo serve: not built yet\n");
    return 1;
}
