#include "uPageRequest.h"

#include <memory>
#include <utility>

#include "tvsFileSystem.h"
#include "uDSPEngine.h"

namespace {

constexpr char CompileErrorText[] = "Compile error in ";

} // namespace

// Keeps an engine in the list of runs that StopAllPages reaches, for exactly
// as long as the request uses it.
class TDSPPageHandler::TRunningScope final {
public:
    TRunningScope(TDSPPageHandler& owner, TDSPEngine& engine) : FOwner(owner), FEngine(engine)
    {
        const std::lock_guard lock(FOwner.FLock);
        FOwner.FRunning.insert(&FEngine);
    }
    ~TRunningScope()
    {
        const std::lock_guard lock(FOwner.FLock);
        FOwner.FRunning.erase(&FEngine);
    }
    TRunningScope(const TRunningScope&) = delete;
    TRunningScope& operator=(const TRunningScope&) = delete;

private:
    TDSPPageHandler& FOwner;
    TDSPEngine& FEngine;
};

TDSPPageHandler::TDSPPageHandler(TLogHandler log) : FLog(std::move(log)) {}

std::string TDSPPageHandler::RunPage(const TPageRequest& page)
{
    TDSPEngine engine;
    const TRunningScope running(*this, engine);
    engine.LoadPage(page.FileName);
    engine.Compile();
    if (FLog) {
        for (const std::u16string& message : engine.CompileErrors())
            FLog(CompileErrorText + page.FileName + ": " + TextToUTF8(message));
    }
    engine.Execute(page.Timeout);
    // Characters beyond Latin-1 reach the browser intact only as UTF-8; the
    // server sends the text with charset=utf-8 and counts its bytes.
    return TextToUTF8(engine.GetResult());
}

void TDSPPageHandler::StopAllPages()
{
    const std::lock_guard lock(FLock);
    for (TDSPEngine* engine : FRunning)
        engine->Stop();
}

void InstallPageHandler(TWebServer& server)
{
    server.SetPageHandler(
        std::make_shared<TDSPPageHandler>([&server](const std::string& line) { server.Log(line); }));
}
