#include "app/Startup.h"
#include "platform/FontSetup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    useWindowsGuiFontSize(installCjkFontSubstitutions());
    // The command line is ignored: the plug-in always starts the vote game.
    const std::vector<std::string> arguments = launchArguments(argc, argv);
    return runPlugin(arguments[2].c_str());
}
