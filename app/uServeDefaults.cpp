#include "uServeDefaults.h"

#include "uGlobals.h"
#include "uSettings.h"

namespace {

constexpr int DefaultPort = 80;
constexpr int MaxPort = 65535;

} // namespace

TServeDefaults ReadServeDefaults()
{
    if (AppDataPath.empty())
        InitAppFolders();
    // The same settings the window saves when it starts the server, so the
    // command line serves what the user chose there.
    const TSettMngr sett(SettingsFilePath());
    TServeDefaults d;
    const int port = sett.Read("Server", "Port", DefaultPort);
    // The window's port field keeps values in range the same way.
    d.Port = static_cast<uint16_t>(port < 0 ? 0 : port > MaxPort ? MaxPort : port);
    d.PublicRoot =
        IncludeTrailingPathDelimiter(sett.Read("Server", "Root", DocsPath + "public_html/"));
    d.LogsFolder = IncludeTrailingPathDelimiter(sett.Read("Server", "Logs", DocsPath + "logs/"));
    return d;
}
