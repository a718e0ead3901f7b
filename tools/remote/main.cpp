// kiva-remote: drives a running vote plug-in through its remote control
// (docs/remote-control.md), for a Stream Deck key, a script or a terminal.
//
//   kiva-remote [--port P] [--token T] [--data-dir DIR] COMMAND [ARGUMENTS]
//
// Exit status: 0 done, 1 refused (the plug-in's reason on standard error; a
// wrong token too), 2 a usage error, 3 no plug-in answers or remote control
// is off. It gives up after 3 s, so that a key never hangs.
#include "platform/Platform.h"
#include "remote/RemoteSettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

enum Exit { Done = 0, Refused = 1, Usage = 2, NoAnswer = 3 };

constexpr int kTimeoutMs = 3000;
constexpr quint16 kDefaultPort = 11112;

const char *const kCommands = R"(Commands:
  start, stop, toggle       counting on, off, or the other way
  clear-totals              清空票数
  clear-voters              清空投票纪录
  countdown-start [N]       a countdown of N seconds (the window's length without N)
  countdown-stop
  add TEAM N                N votes more for team TEAM (1-4)
  subtract TEAM N           N votes fewer
  preset-load N|NAME        put preset N (1, 2, …) or the one named NAME into the window
  preset-start N|NAME       the same, then start counting (and its countdown, if it has one)
  presets                   print the presets as JSON
  state                     print the vote's state as JSON

The port is --port, else KIVA_OVERLAY_PORT, else 11112. The token is
--token, else KIVA_REMOTE_TOKEN, else the one the plug-in keeps in the user's
data folder (kiva/remote.json).

Exit status: 0 done; 1 refused, with the reason on standard error (a wrong
token is a refusal too); 2 a usage error; 3 no plug-in answers within 3 s, or
remote control is off.)";

int fail(int status, const QString &why)
{
    std::fprintf(stderr, "kiva-remote: %s\n", why.toUtf8().constData());
    return status;
}

bool isNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

struct Request
{
    QByteArray method = "POST";
    QString path;
    QJsonObject body;
};

// The request for a command line's command and its arguments; false with
// `why` when they are not one.
bool requestFor(const QStringList &words, Request *request, QString *why)
{
    const QString command = words.value(0);
    const QStringList arguments = words.mid(1);
    const QStringList plain = {QStringLiteral("start"),        QStringLiteral("stop"),
                               QStringLiteral("toggle"),       QStringLiteral("clear-totals"),
                               QStringLiteral("clear-voters"), QStringLiteral("countdown-stop")};
    request->path = QStringLiteral("/control/") + command;
    if ((command == QLatin1String("state") || command == QLatin1String("presets"))
        && arguments.isEmpty()) {
        request->method = "GET";
        return true;
    }
    if ((command == QLatin1String("preset-load") || command == QLatin1String("preset-start"))
        && arguments.size() == 1 && !arguments.first().isEmpty()) {
        // A number names the preset by its place; anything else by its name.
        if (isNumber(arguments.first()))
            request->body.insert(QStringLiteral("preset"), arguments.first().toInt());
        else
            request->body.insert(QStringLiteral("preset"), arguments.first());
        return true;
    }
    if (plain.contains(command) && arguments.isEmpty())
        return true;
    if (command == QLatin1String("countdown-start") && arguments.size() <= 1) {
        if (arguments.isEmpty())
            return true;
        if (isNumber(arguments.first())) {
            request->body.insert(QStringLiteral("seconds"), arguments.first().toInt());
            return true;
        }
        *why = QStringLiteral("countdown-start: N must be a number of seconds");
        return false;
    }
    if ((command == QLatin1String("add") || command == QLatin1String("subtract"))
        && arguments.size() == 2) {
        if (isNumber(arguments.at(0)) && isNumber(arguments.at(1))) {
            request->body.insert(QStringLiteral("team"), arguments.at(0).toInt());
            request->body.insert(QStringLiteral("amount"), arguments.at(1).toInt());
            return true;
        }
        *why = QStringLiteral("%1: TEAM and N must be numbers").arg(command);
        return false;
    }
    *why = command.isEmpty()
        ? QStringLiteral("no command given")
        : QStringLiteral("not a command: %1").arg(words.join(QLatin1Char(' ')));
    return false;
}

// What the plug-in's answer means for the exit status.
int outcome(QNetworkReply *reply, bool timedOut, quint16 port, bool printState)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (timedOut)
        return fail(
            NoAnswer,
            QStringLiteral("no answer on port %1 within %2 s").arg(port).arg(kTimeoutMs / 1000));
    if (status == 0)
        return fail(NoAnswer,
                    QStringLiteral("no vote plug-in answers on port %1 (%2)")
                        .arg(port)
                        .arg(reply->errorString()));
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    if (!answer.value(QStringLiteral("ok")).isBool())
        return fail(NoAnswer,
                    QStringLiteral("what answers on port %1 is not the vote plug-in's remote "
                                   "control (HTTP %2)")
                        .arg(port)
                        .arg(status));
    if (status == 200 && answer.value(QStringLiteral("ok")).toBool()) {
        if (printState) {
            const QJsonValue shown = answer.contains(QStringLiteral("presets"))
                ? answer.value(QStringLiteral("presets"))
                : answer.value(QStringLiteral("state"));
            const QJsonDocument printed = shown.isArray() ? QJsonDocument(shown.toArray())
                                                          : QJsonDocument(shown.toObject());
            std::fputs(printed.toJson(QJsonDocument::Compact).constData(), stdout);
            std::fputc('\n', stdout);
        }
        // A preset's gift the room does not have: the command is done, and says so.
        if (answer.contains(QStringLiteral("note")))
            std::fprintf(stderr, "kiva-remote: %s\n",
                         answer.value(QStringLiteral("note")).toString().toUtf8().constData());
        return Done;
    }
    const QString error = answer.value(QStringLiteral("error")).toString();
    // 403: the switch is off (we send no Origin and name the plug-in's own host).
    return fail(status == 403 || status >= 500 ? NoAnswer : Refused,
                QStringLiteral("%1 (HTTP %2)").arg(error).arg(status));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kiva-remote"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Drives a running vote plug-in through its remote control.\n\n")
        + QString::fromUtf8(kCommands));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("The results page's port."), QStringLiteral("P"));
    const QCommandLineOption tokenOption(QStringLiteral("token"),
                                         QStringLiteral("The remote control's token."),
                                         QStringLiteral("T"));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("The user's data folder (the token is in kiva/remote.json under it)."),
        QStringLiteral("DIR"));
    parser.addOptions({portOption, tokenOption, dataDir});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("What to do (see Commands)."));
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(Usage, parser.errorText() + QStringLiteral(" (--help)"));
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return Done;
    }

    Request request;
    QString why;
    if (!requestFor(parser.positionalArguments(), &request, &why))
        return fail(Usage, why + QStringLiteral(" (--help)"));

    const QString portText = parser.isSet(portOption)
        ? parser.value(portOption)
        : qEnvironmentVariable("KIVA_OVERLAY_PORT", QString::number(kDefaultPort)).trimmed();
    const uint port = portText.toUInt();
    if (!isNumber(portText) || port == 0 || port > 65535)
        return fail(Usage, QStringLiteral("not a port: %1").arg(portText));

    QByteArray token = parser.value(tokenOption).toUtf8();
    if (token.isEmpty())
        token = qgetenv("KIVA_REMOTE_TOKEN").trimmed();
    if (token.isEmpty()) {
        // Without a token the plug-in still tells off from on (403 or 401).
        const QString path = parser.isSet(dataDir)
            ? Platform::kivaFile(
                QDir::toNativeSeparators(QDir(parser.value(dataDir)).absolutePath()),
                QStringLiteral("remote.json"))
            : RemoteSettings::defaultPath();
        token = RemoteSettings::load(path).token;
    }

    QNetworkAccessManager network;
    // The plug-in is on this machine: no proxy may stand between.
    network.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest http(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(request.path)));
    if (!token.isEmpty())
        http.setRawHeader("Authorization", "Bearer " + token);
    QNetworkReply *reply = nullptr;
    if (request.method == "GET") {
        reply = network.get(http);
    } else {
        http.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        reply = network.post(http, QJsonDocument(request.body).toJson(QJsonDocument::Compact));
    }

    bool timedOut = false;
    QTimer::singleShot(kTimeoutMs, reply, [&] {
        timedOut = true;
        reply->abort();
    });
    int status = NoAnswer;
    QObject::connect(reply, &QNetworkReply::finished, &application, [&] {
        status = outcome(reply, timedOut, quint16(port), request.method == "GET");
        QCoreApplication::exit(status);
    });
    QCoreApplication::exec();
    return status;
}
