// The main window's logic without any widgets: reading and saving the server
// options, starting and stopping the web server, handing log lines to the
// window's thread, folder choices and the help links. The Qt window is a thin
// view over it, and tests drive it without a display.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TThreadSettMngr;
class TWebServer;

// What the controller asks of its window. Tests supply their own.
class IMainView {
public:
    virtual ~IMainView() = default;
    // After every start and stop, on the thread that started or stopped.
    virtual void ShowServerState(bool active, uint16_t port) = 0;
    // Log lines are waiting in TakeLogLines. Called on any thread, worker
    // threads included, and must return without waiting for the window's
    // thread: a stop waits for the workers while the window's thread runs it.
    virtual void LogLinesPending() = 0;
    virtual void ShowError(const std::string& message) = 0;
    // The folder the user chose, or nothing when the chooser was cancelled.
    virtual std::optional<std::string> ChooseFolder(const std::string& title,
                                                    const std::string& start) = 0;
    virtual void OpenLink(const std::string& url) = 0;
};

// The option fields of the window.
struct TMainOptions {
    int Port = 80;
    std::string DocRoot;
    std::string LogsPath;
    // Milliseconds. The field takes up to 999999999999; the server takes a
    // 32-bit count, so larger values are clamped when the server starts.
    double Timeout = 10000;
};

class TMainController final {
public:
    // Window creation: the server with its MIME table and handlers, the
    // options from the settings, the two folders, the update check.
    TMainController(TThreadSettMngr& settings, IMainView& view);
    // Frees the server, which stops listening without a "Stopped server" line.
    ~TMainController();
    TMainController(const TMainController&) = delete;
    TMainController& operator=(const TMainController&) = delete;

    TMainOptions& Options() { return FOptions; }
    bool Active() const;
    // The port the server listens on while active, else the configured one.
    uint16_t ListeningPort() const;

    // Stops a running server; otherwise saves the options and starts it.
    void StartClick();
    void CheckUpdateClick();
    void SupportClick();
    void ReportBugClick();
    // Folder buttons of the two folder fields.
    void DocRootButtonClick();
    void LogsPathButtonClick();

    // Every log line handed over since the last call, oldest first. Called on
    // the window's thread.
    std::vector<std::string> TakeLogLines();

    // The balloon the tray icon shows for a state.
    static std::string StateBalloonText(bool active, uint16_t port);
    // The field's time-out as the server takes it.
    static int32_t ClampTimeout(double milliseconds);

private:
    void StartUpdateCheck(bool forced);
    void ChooseFolderInto(const std::string& title, std::string& field);
    void MyOnLog(const std::string& line);
    void MyOnStateChange();

    TThreadSettMngr& FSettings;
    IMainView& FView;
    TMainOptions FOptions;
    // The hand-off of log lines: workers append and return at once; the
    // window takes them on its own thread.
    std::mutex FLogLock;
    std::vector<std::string> FLogLines;
    bool FLogNotified = false;
    // Last, so it is destroyed first, while the log hand-off still exists.
    std::unique_ptr<TWebServer> FServer;
};
