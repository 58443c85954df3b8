// The desktop mode: application folders, the shared settings manager and the
// main window, torn down in an order where nothing outlives what it uses.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"

#ifdef TERVALO_WITH_GUI
#include <exception>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>

#include "uGlobals.h"
#include "uMain.h"
#include "uSettings.h"
#include "uThreading.h"
#endif

namespace {

constexpr char NoDisplayMessage[] =
    "tervalo: no display is available for the desktop window.\n"
    "Run \"tervalo serve\" to start the web server without a window "
    "(\"tervalo --help\" lists its options).\n";
constexpr char NoWindowBuiltMessage[] =
    "tervalo: this build has no desktop window; use \"tervalo serve\" "
    "(\"tervalo --help\" lists its options).\n";

#ifdef TERVALO_WITH_GUI
constexpr char AppTitle[] = "Tervalo";
constexpr char DesktopFileName[] = "tervalo";
constexpr char StartFailedMessage[] = "tervalo: the desktop window failed: %s\n";

bool EnvSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// An explicit Qt platform (offscreen, for example) needs no display server.
bool DisplayAvailable()
{
    return EnvSet("QT_QPA_PLATFORM") || EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
}

// Held for the life of the process so an installer can tell that the program
// runs. Whether another instance holds it too is never looked at: a second
// instance starts normally.
void HoldInstanceLock()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string path = runtime && *runtime
                                 ? std::string(runtime) + "/Tervalo.lock"
                                 : "/tmp/Tervalo-" + std::to_string(::getuid()) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        (void)::flock(fd, LOCK_SH | LOCK_NB);
}
#endif

} // namespace

int RunDesktop(int argc, char** argv)
{
#ifndef TERVALO_WITH_GUI
    (void)argc;
    (void)argv;
    std::fputs(NoWindowBuiltMessage, stderr);
    return 1;
#else
    (void)NoWindowBuiltMessage;
    if (!DisplayAvailable()) {
        std::fputs(NoDisplayMessage, stderr);
        return 1;
    }
    HoldInstanceLock();
    InitAppFolders();
    CreateAppFolders();
    int result = 1;
    try {
        TThreadSettMngr settings(SettingsFilePath());
        {
            QApplication app(argc, argv);
            QApplication::setApplicationName(AppTitle);
            QApplication::setDesktopFileName(DesktopFileName);
            // The window hides instead of closing, and closing the about box
            // must not end the program: only Exit does.
            QApplication::setQuitOnLastWindowClosed(false);
            TfMain window(settings);
            QApplication::setWindowIcon(window.windowIcon());
            window.show();
            result = QApplication::exec();
        }
        // Worker threads may still use the settings, so they end first.
        FreeRegisteredThreads();
    } catch (const std::exception& e) {
        std::fprintf(stderr, StartFailedMessage, e.what());
        return 1;
    }
    return result;
#endif
}
