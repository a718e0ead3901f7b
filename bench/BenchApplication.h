#pragma once

#include "platform/FontSetup.h"

#include <QApplication>

// The application a benchmark runs the window in: without a display unless a
// platform is asked for (QT_QPA_PLATFORM), with the program's own fonts, so
// that what is painted is what the streamer's window paints.
class BenchApplication : public QApplication
{
public:
    BenchApplication(int &argc, char **argv)
        : QApplication(offscreenUnlessAsked(argc), argv)
    {
        useWindowsGuiFontSize(installCjkFontSubstitutions());
    }

private:
    static int &offscreenUnlessAsked(int &argc)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }
};
