#include "SimOptions.h"
#include "SimSession.h"
#include "SimWindow.h"

#include "ui/FontSetup.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

void writeLine(FILE *stream, const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fputc('\n', stream);
    // Tests and scripts wait on these lines through a pipe.
    std::fflush(stream);
}

} // namespace

int main(int argc, char **argv)
{
    // Headless runs need no display, so no QApplication either.
    const bool headless = SimOptions::needsNoWindow(argc, argv);
    std::unique_ptr<QCoreApplication> application;
    if (headless)
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kiva-room-sim"));

    const SimOptions::Parsed parsed = SimOptions::parse(QCoreApplication::arguments());
    if (!parsed.helpText.isEmpty()) {
        writeLine(stdout, parsed.helpText.toUtf8());
        return 0;
    }
    if (!parsed.error.isEmpty()) {
        writeLine(stderr, "kiva-room-sim: " + parsed.error.toUtf8());
        return 2;
    }

    SimSession session(parsed.options, [](const QByteArray &line) { writeLine(stdout, line); });
    QObject::connect(&session, &SimSession::finished, application.get(),
                     [](int exitCode) { QCoreApplication::exit(exitCode); });

    std::unique_ptr<SimWindow> window;
    if (!headless) {
        installCjkFontSubstitutions();
        window = std::make_unique<SimWindow>(session);
    }

    const QString error = session.start();
    if (!error.isEmpty()) {
        writeLine(stderr, "kiva-room-sim: " + error.toUtf8());
        return 1;
    }
    if (window)
        window->show();
    return application->exec();
}
