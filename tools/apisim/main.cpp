#include "PlatformApiServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

void writeLine(FILE *stream, const QByteArray &line)
{
    // One write per line: reports arrive on several threads.
    const QByteArray whole = line + '\n';
    std::fwrite(whole.constData(), 1, size_t(whole.size()), stream);
    // Scripts and tests wait on these lines through a pipe.
    std::fflush(stream);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kiva-api-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The platform's HTTP API for the plug-in: gift list, gift images and "
                       "usage reports, on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on (0: a free one)."),
                                        QStringLiteral("N"), QStringLiteral("8080"));
    const QCommandLineOption modeOption(
        QStringLiteral("mode"),
        QStringLiteral("How the gift list answers: ok, 500, slow, notjson or ec1."),
        QStringLiteral("mode"), QStringLiteral("ok"));
    const QCommandLineOption imagesOption(QStringLiteral("images"),
                                          QStringLiteral("How images answer: ok, 404 or stall."),
                                          QStringLiteral("mode"), QStringLiteral("ok"));
    const QCommandLineOption delayOption(QStringLiteral("delay-ms"),
                                         QStringLiteral("Delay of a slow answer in milliseconds."),
                                         QStringLiteral("ms"), QStringLiteral("4000"));
    const QCommandLineOption slowReportsOption(QStringLiteral("slow-reports"),
                                               QStringLiteral("Answer reports after the delay."));
    parser.addOptions({portOption, modeOption, imagesOption, delayOption, slowReportsOption});
    parser.process(application);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    bool delayOk = false;
    const int delayMs = parser.value(delayOption).toInt(&delayOk);
    PlatformApiServer::ListMode listMode;
    PlatformApiServer::ImageMode imageMode;
    if (!portOk || port > 65535 || !delayOk || delayMs < 0
        || !PlatformApiServer::parseListMode(parser.value(modeOption), listMode)
        || !PlatformApiServer::parseImageMode(parser.value(imagesOption), imageMode)) {
        writeLine(stderr, "kiva-api-sim: bad option value (see --help)");
        return 2;
    }

    PlatformApiServer server;
    server.setListMode(listMode);
    server.setImageMode(imageMode);
    server.setDelayMs(delayMs);
    server.setSlowReports(parser.isSet(slowReportsOption));
    server.setReportObserver([](const ApiReport &report) {
        writeLine(stdout,
                  "report button=" + report.params.value("button")
                      + " kiva_id=" + report.params.value("kiva_id")
                      + " room_id=" + report.params.value("room_id")
                      + " sessionid=" + report.params.value("sessionid"));
    });
    if (!server.start(quint16(port))) {
        writeLine(stderr, "kiva-api-sim: cannot listen on 127.0.0.1:" + QByteArray::number(port));
        return 1;
    }
    writeLine(stdout, "listening " + QByteArray::number(server.port()));
    return application.exec();
}
