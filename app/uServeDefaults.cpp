#include "uServeDefaults.h"

#include <cstdlib>

TServeDefaults ReadServeDefaults()
{
    // FIXME: read the settings file and use the documents folder helpers.
    TServeDefaults d;
    const char* home = std::getenv("HOME");
    const std::string docs = std::string(home ? home : "") + "/Documents/Tervalo/";
    d.PublicRoot = docs + "public_html/";
    d.LogsFolder = docs + "logs/";
    return d;
}
