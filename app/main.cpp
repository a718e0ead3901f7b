#include "app/Startup.h"
#include "catalogue/HttpFetch.h"
#include "platform/StopSignals.h"
#include "ui/FontSetup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // libcurl's global set-up is not thread-safe: before any thread exists.
    httpGlobalInit();
    QApplication application(argc, argv);
    useWindowsGuiFontSize(installCjkFontSubstitutions());
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &application, [] { stopPlugin(); });
    // The command line is ignored: the plug-in always starts the vote game.
    const std::vector<std::string> arguments = launchArguments(argc, argv);
    return runPlugin(arguments[2].c_str());
}
