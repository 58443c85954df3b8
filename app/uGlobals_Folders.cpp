#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

#include "uGlobals.h"

std::string AppDataPath;
std::string TempPath;
std::string DocsPath;

namespace {

constexpr char AppFolderName[] = "Tervalo";
constexpr char TempFolderName[] = "Temp";
constexpr char SettingsFileName[] = "settings.xsf";

std::string EnvText(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder()
{
    std::string home = EnvText("HOME");
    if (home.empty()) {
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            home = entry->pw_dir;
    }
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home;
}

// The desktop's base folders must be absolute; a relative value is ignored,
// as the desktop's own programs do.
std::string AbsoluteEnvFolder(const char* name)
{
    std::string value = EnvText(name);
    if (value.empty() || value.front() != '/')
        return {};
    while (value.size() > 1 && value.back() == '/')
        value.pop_back();
    return value;
}

// The documents folder the desktop's settings name in user-dirs.dirs
// (XDG_DOCUMENTS_DIR="$HOME/Documents"), so a translated folder name is found.
std::string UserDirsDocuments(const std::string& home)
{
    std::string configHome = AbsoluteEnvFolder("XDG_CONFIG_HOME");
    if (configHome.empty())
        configHome = home + "/.config";
    std::ifstream in(configHome + "/user-dirs.dirs");
    const std::string prefix = "XDG_DOCUMENTS_DIR=";
    std::string line;
    for (int i = 0; i < 1000 && std::getline(in, line); ++i) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (value.empty() || value.front() != '/')
            return {};
        while (value.size() > 1 && value.back() == '/')
            value.pop_back();
        // A documents folder equal to the home folder means "not set up".
        return value == home ? std::string() : value;
    }
    return {};
}

} // namespace

std::string GetSpecialFolder(TSpecialFolder folder)
{
    const std::string home = HomeFolder();
    switch (folder) {
    case TSpecialFolder::sfLocalAppData: {
        std::string data = AbsoluteEnvFolder("XDG_DATA_HOME");
        if (data.empty() && !home.empty())
            data = home + "/.local/share";
        return data;
    }
    case TSpecialFolder::sfDocuments: {
        std::string docs = AbsoluteEnvFolder("XDG_DOCUMENTS_DIR");
        if (docs.empty() && !home.empty())
            docs = UserDirsDocuments(home);
        if (docs.empty() && !home.empty())
            docs = home + "/Documents";
        return docs;
    }
    }
    return {};
}

void InitAppFolders()
{
    AppDataPath = IncludeTrailingPathDelimiter(GetSpecialFolder(TSpecialFolder::sfLocalAppData))
                  + AppFolderName + "/";
    TempPath = AppDataPath + TempFolderName + "/";
    DocsPath = IncludeTrailingPathDelimiter(GetSpecialFolder(TSpecialFolder::sfDocuments))
               + AppFolderName + "/";
}

void CreateAppFolders()
{
    if (ForceDirectories(AppDataPath))
        ForceDirectories(TempPath);
}

std::string SettingsFilePath()
{
    return AppDataPath + SettingsFileName;
}

std::string IncludeTrailingPathDelimiter(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

bool ForceDirectories(const std::string& path) noexcept
{
    if (path.empty())
        return false;
    try {
        std::error_code ec;
        std::filesystem::create_directories(path, ec);
        return !ec && std::filesystem::is_directory(path, ec);
    } catch (...) {
        return false;
    }
}

void ShellOpen(const std::string& target)
{
    // Two forks: the opener is adopted by init when it ends, so no zombie is
    // left behind and nothing waits for the browser.
    const pid_t child = ::fork();
    if (child < 0)
        return;
    if (child == 0) {
        if (::fork() == 0) {
            ::execlp("xdg-open", "xdg-open", target.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}
