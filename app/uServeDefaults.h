// Defaults for `tervalo serve` options that are not given on the command line.
#pragma once

#include <cstdint>
#include <string>

struct TServeDefaults {
    uint16_t Port = 80;
    std::string PublicRoot; // ends with "/"
    std::string LogsFolder; // ends with "/"
    int64_t TimeoutMs = 10000;
};

// The user's saved choices where there are any, else the built-in defaults.
TServeDefaults ReadServeDefaults();
