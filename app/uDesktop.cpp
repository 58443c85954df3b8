#include "commands.h"

#include <cstdio>

int RunDesktop(int, char**)
{
    std::fprintf(stderr, "tervalo: the desktop window is not built yet; use \"tervalo serve\"\n");
    return 1;
}
