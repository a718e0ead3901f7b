#pragma once

#include "catalogue/HttpFetch.h"
#include "ui/FontSetup.h"

#include <QApplication>
#include <QLoggingCategory>

#include <malloc.h>

// The application a benchmark runs the window in: without a display unless a
// platform is asked for (QT_QPA_PLATFORM), with the program's own fonts, so
// that what is painted is what the streamer's window paints, and HTTP set up
// as the program sets it up. The catalogue and the picture worker log each
// step; that is not what is measured.
class BenchApplication : public QApplication
{
public:
    BenchApplication(int &argc, char **argv)
        : QApplication(setUpFirst(argc), argv)
    {
        useWindowsGuiFontSize(installCjkFontSubstitutions());
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    }

private:
    static int &setUpFirst(int &argc)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        httpGlobalInit();
        return argc;
    }
};

// Bytes the heap holds now: resident memory without what the allocator keeps back.
inline qint64 heapBytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}
