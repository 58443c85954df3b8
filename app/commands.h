// The command-line modes of the tervalo executable. Each lives in its own
// source file; main.cpp only dispatches.
#pragma once

// tervalo serve [--port N] [--root DIR] [--logs DIR] [--timeout MS]
int RunServeCommand(int argc, char** argv);

// tervalo run FILE [--timeout MS]
int RunScriptCommand(int argc, char** argv);

// tervalo (no arguments): the desktop window.
int RunDesktop(int argc, char** argv);
