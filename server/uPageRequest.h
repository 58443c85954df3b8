// The page branch of the web server: a requested server page runs in a fresh
// page engine on the worker thread that serves the request, and what it
// printed becomes the answer.
#pragma once

#include <mutex>
#include <set>
#include <string>

#include "uWebServer.h"

class TDSPEngine;

// The server has already put the request's parameters in place
// (CurrentServerData) when it calls RunPage, so a duplicate name fails
// before the page is read.
class TDSPPageHandler final : public IPageHandler {
public:
    // log receives one line per compile error of a page, so the page's
    // author can find the fault the 500 answer does not show.
    explicit TDSPPageHandler(TLogHandler log);

    // Reads, compiles and runs the page and answers its output as UTF-8.
    // Raises for a page that cannot be read (the system's reason) and for a
    // page that does not compile ("Script compiled with errors. Can't
    // execute!"); script errors and the time-out only end the run.
    std::string RunPage(const TPageRequest& page) override;
    void StopAllPages() override;

private:
    class TRunningScope;

    TLogHandler FLog;
    std::mutex FLock;
    std::set<TDSPEngine*> FRunning;
};

// Gives the server its page branch, logging compile errors to the server's
// event log. Call once, while the server is stopped.
void InstallPageHandler(TWebServer& server);
