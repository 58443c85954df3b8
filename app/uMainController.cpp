#include "uMainController.h"

#include <exception>
#include <limits>

#include "uGlobals.h"
#include "uPageRequest.h"
#include "uSettings.h"
#include "uWebServer.h"

namespace {

constexpr char MimeTypesFile[] = "mimetypes.txt";
constexpr char SettingsSection[] = "Server";
constexpr char PortKey[] = "Port";
constexpr char RootKey[] = "Root";
constexpr char LogsKey[] = "Logs";
constexpr int DefaultPort = 80;
constexpr int MaxPort = 65535;
constexpr char DefaultRootFolder[] = "public_html/";
constexpr char DefaultLogsFolder[] = "logs/";

constexpr char DocRootChooserTitle[] = "Select a public root folder for your server.";
constexpr char LogsChooserTitle[] = "Select a logs folder for your server.";
constexpr char StartedBalloon[] = "Tervalo server started on port ";
constexpr char StoppedBalloon[] = "Tervalo server stopped";
constexpr char UnknownStartError[] = "The server could not be started.";
constexpr char SupportPage[] = "tervalo_support";
constexpr char BugReportPage[] = "tervalo_bugs";

} // namespace

TMainController::TMainController(TThreadSettMngr& settings, IMainView& view)
    : FSettings(settings)
    , FView(view)
    , FServer(std::make_unique<TWebServer>())
{
    FServer->LoadMimeTypes(MimeTypesFile);
    InstallPageHandler(*FServer);
    FServer->SetOnStateChange([this] { MyOnStateChange(); });
    FServer->SetOnLog([this](const std::string& line) { MyOnLog(line); });

    FOptions.Port = FSettings.Read(SettingsSection, PortKey, DefaultPort);
    FOptions.DocRoot = FSettings.Read(SettingsSection, RootKey, DocsPath + DefaultRootFolder);
    FOptions.LogsPath = FSettings.Read(SettingsSection, LogsKey, DocsPath + DefaultLogsFolder);
    // The port field cannot show anything outside its range.
    if (FOptions.Port < 0)
        FOptions.Port = 0;
    if (FOptions.Port > MaxPort)
        FOptions.Port = MaxPort;

    // Creating the folders is a convenience; a folder that cannot be made
    // shows up when the server runs.
    ForceDirectories(FOptions.DocRoot);
    ForceDirectories(FOptions.LogsPath);

    StartUpdateCheck(false);
}

TMainController::~TMainController()
{
    FServer.reset();
}

bool TMainController::Active() const
{
    return FServer->Active();
}

uint16_t TMainController::ListeningPort() const
{
    return FServer->ListeningPort();
}

void TMainController::StartClick()
{
    if (FServer->Active()) {
        FServer->Stop();
        return;
    }
    const TMainOptions options = FOptions;
    FSettings.ExecLocked([&options](TSettMngr& sett) {
        sett.Write(SettingsSection, PortKey, options.Port);
        sett.Write(SettingsSection, RootKey, options.DocRoot);
        sett.Write(SettingsSection, LogsKey, options.LogsPath);
        sett.Save();
    });
    if (options.DocRoot.empty())
        return;
    FServer->SetDocumentRoot(options.DocRoot);
    FServer->SetLogsPath(options.LogsPath);
    const int port = options.Port < 0 ? 0 : options.Port > MaxPort ? MaxPort : options.Port;
    FServer->SetPort(static_cast<uint16_t>(port));
    FServer->SetTimeout(ClampTimeout(options.Timeout));
    try {
        FServer->Start();
    } catch (const std::exception& e) {
        FView.ShowError(e.what());
    } catch (...) {
        FView.ShowError(UnknownStartError);
    }
}

void TMainController::StartUpdateCheck(bool forced)
{
    // The update check starts here; the checker itself is not part of this
    // program yet, so nothing happens.
    (void)forced;
}

void TMainController::CheckUpdateClick()
{
    StartUpdateCheck(true);
}

void TMainController::SupportClick()
{
    FView.OpenLink(std::string(MakerRedirectURL) + SupportPage);
}

void TMainController::ReportBugClick()
{
    FView.OpenLink(std::string(MakerRedirectURL) + BugReportPage);
}

void TMainController::DocRootButtonClick()
{
    ChooseFolderInto(DocRootChooserTitle, FOptions.DocRoot);
}

void TMainController::LogsPathButtonClick()
{
    ChooseFolderInto(LogsChooserTitle, FOptions.LogsPath);
}

void TMainController::ChooseFolderInto(const std::string& title, std::string& field)
{
    const std::optional<std::string> chosen = FView.ChooseFolder(title, field);
    if (!chosen || chosen->empty())
        return;
    field = IncludeTrailingPathDelimiter(*chosen);
    ForceDirectories(field);
}

std::vector<std::string> TMainController::TakeLogLines()
{
    std::lock_guard<std::mutex> guard(FLogLock);
    FLogNotified = false;
    std::vector<std::string> lines;
    lines.swap(FLogLines);
    return lines;
}

void TMainController::MyOnLog(const std::string& line)
{
    // Workers only queue the line and nudge the window once per batch; none
    // of them waits for the window's thread, so a stop that waits for the
    // workers on that thread cannot deadlock.
    bool notify = false;
    {
        std::lock_guard<std::mutex> guard(FLogLock);
        FLogLines.push_back(line);
        notify = !FLogNotified;
        FLogNotified = true;
    }
    if (notify)
        FView.LogLinesPending();
}

void TMainController::MyOnStateChange()
{
    FView.ShowServerState(FServer->Active(), FServer->ListeningPort());
}

std::string TMainController::StateBalloonText(bool active, uint16_t port)
{
    return active ? StartedBalloon + std::to_string(port) : StoppedBalloon;
}

int32_t TMainController::ClampTimeout(double milliseconds)
{
    constexpr int32_t max = std::numeric_limits<int32_t>::max();
    // The comparison form also sends NaN to 0.
    if (!(milliseconds > 0))
        return 0;
    if (milliseconds >= static_cast<double>(max))
        return max;
    return static_cast<int32_t>(milliseconds);
}
