// The page engine: runs one server page for one request. It reads the page,
// turns it into script source with the page filter, compiles it with its own
// script component and runs it under a time-out; what the script printed is
// the page's answer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tvsExprs.h"

class TtvsHtmlFilter;
class TtvsScriptComponent;

// One engine per request, used by the worker thread that serves it; only
// Stop may come from another thread. Nothing is kept between requests.
class TDSPEngine final {
public:
    TDSPEngine();
    ~TDSPEngine();
    TDSPEngine(const TDSPEngine&) = delete;
    TDSPEngine& operator=(const TDSPEngine&) = delete;

    // Reads the page (the byte-order mark, or else valid UTF-8, or else
    // Latin-1 decides the encoding; line breaks become CR LF) and keeps the
    // filtered script source. Raises EFOpenError or EReadError with the
    // file's name and the system's reason when the page cannot be read.
    void LoadPage(const std::string& fileName);
    // Always true: compile errors stay in the program's messages, and
    // Execute refuses to run such a program.
    bool Compile();
    // Runs the compiled page; 0 ms means no time limit. Script errors and
    // the time-out end the run but not the call: what was printed stays.
    // Raises EScriptException "Script compiled with errors. Can't execute!"
    // for a page that did not compile. Always true otherwise.
    bool Execute(int32_t timeoutMs);
    // Everything the page printed; empty before Execute.
    std::u16string GetResult() const;

    // Asks the run to stop at its next statement, as the time-out would.
    // Safe from any thread, before, during or after Execute.
    void Stop();

    // The script source the filter made of the page.
    const std::u16string& Source() const { return FSource; }
    // The formatted error messages of the compilation, one line each
    // (with line and column); empty when the page compiled.
    std::vector<std::u16string> CompileErrors() const;
    // The messages the last run ended with (run-time errors, the stop).
    std::vector<std::u16string> RuntimeMessages() const;

private:
    std::unique_ptr<TtvsHtmlFilter> FFilter;
    std::unique_ptr<TtvsScriptComponent> FComponent;
    ItvsProgram FProgram;
    ItvsProgramExecution FExecution;
    std::u16string FSource;
    // Guards FExecution against Stop from another thread.
    mutable std::mutex FStopLock;
    bool FStopRequested = false;
};
