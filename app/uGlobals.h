// Helpers shared by the whole application: text splitting and URL decoding
// for the server, the application folders and shell helpers for the window,
// the settings store and the updater.
#pragma once

#include <string>
#include <vector>

// ---- Text helpers (uGlobals.cpp) ----

// ---- Application folders and shell helpers (uGlobals_Folders.cpp) ----
