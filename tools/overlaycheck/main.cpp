// kiva-overlay-check: checks screenshots of the on-stream page and fetches
// the state the plug-in serves.
//
// clang-format off
//   kiva-overlay-check --png shot.png --state state.json
//   kiva-overlay-check --fetch http://127.0.0.1:<port>/overlay/state --out state.json [--settle-ms N]
//   kiva-overlay-check --browse http://127.0.0.1:<port>/overlay --out-dir DIR [--chromium PATH]
//     (commands on stdin, see browse())
// clang-format on
#include "PageShooter.h"
#include "ShotCheck.h"

#include "overlay/OverlayState.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

QByteArray readFile(const QString &path, bool *ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    return *ok ? file.readAll() : QByteArray();
}

int checkShot(const QString &png, const QString &statePath)
{
    QTextStream out(stdout);
    bool ok = false;
    OverlayState state;
    if (!overlayStateFromJson(readFile(statePath, &ok), &state)) {
        out << "cannot read the state " << statePath << "\n";
        return 2;
    }
    const QImage shot(png);
    if (shot.isNull()) {
        out << "cannot read the image " << png << "\n";
        return 2;
    }
    const ShotCheck::Report report = ShotCheck::check(shot, state);
    out << png << "\n" << ShotCheck::describe(report) << "\n";
    return report.ok ? 0 : 1;
}

void pause(int ms)
{
    QEventLoop wait;
    QTimer::singleShot(ms, &wait, &QEventLoop::quit);
    wait.exec();
}

// One GET; empty unless it answered 200 with a state.
QByteArray fetchOnce(QNetworkAccessManager &network, const QUrl &url)
{
    QNetworkReply *reply = network.get(QNetworkRequest(url));
    QEventLoop wait;
    QObject::connect(reply, &QNetworkReply::finished, &wait, &QEventLoop::quit);
    QTimer::singleShot(2000, &wait, &QEventLoop::quit);
    wait.exec();
    const bool good = reply->isFinished() && reply->error() == QNetworkReply::NoError;
    QByteArray body = good ? reply->readAll() : QByteArray();
    reply->abort();
    reply->deleteLater();
    OverlayState state;
    return overlayStateFromJson(body, &state) ? body : QByteArray();
}

// Fetches the state until it holds still for `settleMs` (the votes have
// stopped arriving); empty when it did not within `timeoutMs`.
QByteArray fetchSettled(const QUrl &url, int settleMs, int timeoutMs)
{
    QNetworkAccessManager network;
    QByteArray last;
    QElapsedTimer total;
    QElapsedTimer still;
    total.start();
    while (total.elapsed() < timeoutMs) {
        const QByteArray body = fetchOnce(network, url);
        if (!body.isEmpty() && body != last) {
            last = body;
            still.start();
        } else if (!body.isEmpty() && still.elapsed() >= settleMs) {
            return body;
        }
        pause(100);
    }
    return QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

int fetchState(const QUrl &url, const QString &outPath, int settleMs, int timeoutMs)
{
    const QByteArray body = fetchSettled(url, settleMs, timeoutMs);
    if (body.isEmpty()) {
        std::fprintf(stderr, "no settled state from %s\n", qPrintable(url.toString()));
        return 1;
    }
    if (!writeFile(outPath, body)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(outPath));
        return 2;
    }
    std::printf("%s\n", body.constData());
    return 0;
}

// The votes the page shows, "30,10"; null while it shows nothing.
const char kShownVotes[] = R"((function () {
  var board = document.getElementById("board");
  if (!board || board.hidden) return null;
  return Array.from(document.querySelectorAll("#teams .votes"))
    .map(function (e) { return e.textContent.replace(/[^0-9]/g, ""); }).join(",");
})())";
// The how-to line as shown; "" while it is hidden.
const char kShownHowTo[] = R"((function () {
  var line = document.getElementById("howto");
  return !line || line.hidden ? "" : line.textContent;
})())";
// The first team's name as shown.
const char kShownFirstName[] = R"((function () {
  var name = document.querySelector("#teams .name");
  return name ? name.textContent : "";
})())";
const char kMoving[] = "document.getAnimations().filter(function (a) {"
                       " return a.playState === 'running'; }).length";

QString votesOf(const QByteArray &json)
{
    OverlayState state;
    overlayStateFromJson(json, &state);
    QStringList votes;
    for (const OverlayTeam &team : qAsConst(state.teams))
        votes << QString::number(team.votes);
    return votes.join(QLatin1Char(','));
}

// Waits until the page shows `votes` and its bars stand still.
bool waitUntilShown(PageShooter &page, const QString &votes, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (page.evaluate(QString::fromLatin1(kShownVotes)).toString() == votes
            && page.evaluate(QString::fromLatin1(kMoving)).toInt(-1) == 0)
            return true;
        pause(50);
    }
    return false;
}

// Captures the page and checks the picture against `json`.
bool shootAndCheck(PageShooter &page, const QString &dir, const QString &name,
                   const QByteArray &json, QTextStream &out)
{
    const QString png = QDir(dir).filePath(name + QStringLiteral(".png"));
    writeFile(QDir(dir).filePath(name + QStringLiteral(".json")), json);
    if (!page.capture(png)) {
        out << "shot " << name << " failed: " << page.error() << "\n";
        return false;
    }
    OverlayState state;
    overlayStateFromJson(json, &state);
    const ShotCheck::Report report = ShotCheck::check(QImage(png), state);
    out << ShotCheck::describe(report) << "\n";
    return report.ok;
}

// Keeps one page open and answers commands on stdin, one per line:
//   shot NAME       wait for the plug-in's state to settle and the page to show
//                   it, then capture NAME.png and check it
//   kept NAME MS    after MS ms (the plug-in gone meanwhile) the page must still
//                   show the last state: capture and check it
//   await NAME      time from the plug-in's page answering again (sent before
//                   it restarts) until the page shows its state
//   reload NAME     refresh the page; time until it shows the state again
//   howto NAME [QUERY]  open the page (with ?QUERY) and check its how-to line
//                   against the state (hidden by howto=0); NAME.png and NAME.json
// Each command ends with one line "<command> NAME ok|failed [ms]".
int browse(const QString &chromium, const QString &pageUrl, const QString &dir)
{
    QTextStream out(stdout);
    PageShooter page(chromium, 800, 450);
    if (!page.open(pageUrl)) {
        out << "browser failed: " << page.error() << "\n";
        return 2;
    }
    const QUrl stateUrl(pageUrl + QStringLiteral("/state"));
    QByteArray last;
    QTextStream in(stdin);
    QString line;
    while (in.readLineInto(&line)) {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString command = words.at(0);
        const QString name = words.value(1, QStringLiteral("shot"));
        bool ok = false;
        qint64 ms = -1;
        if (command == QLatin1String("shot")) {
            last = fetchSettled(stateUrl, 1000, 60000);
            ok = !last.isEmpty() && waitUntilShown(page, votesOf(last), 10000)
                && shootAndCheck(page, dir, name, last, out);
        } else if (command == QLatin1String("kept")) {
            pause(words.value(2).toInt());
            // Not emptied, not changed: still the last picture.
            ok = !last.isEmpty()
                && page.evaluate(QString::fromLatin1(kShownVotes)).toString() == votesOf(last)
                && shootAndCheck(page, dir, name, last, out);
        } else if (command == QLatin1String("await") || command == QLatin1String("reload")) {
            const bool reload = command == QLatin1String("reload");
            if (reload && !page.reload())
                out << "reload failed: " << page.error() << "\n";
            // Timed from the first answer of the server: for a restart, the
            // moment the plug-in's page came back.
            QNetworkAccessManager network;
            QElapsedTimer waited;
            QElapsedTimer sinceUp;
            waited.start();
            while (!ok && waited.elapsed() < 60000) {
                const QByteArray now = fetchOnce(network, stateUrl);
                if (!now.isEmpty() && !sinceUp.isValid())
                    sinceUp.start();
                ok = !now.isEmpty()
                    && page.evaluate(QString::fromLatin1(kShownVotes)).toString() == votesOf(now)
                    && !(reload
                         && page.evaluate(QStringLiteral("window.kivaBeforeReload === true"))
                                .toBool());
                if (ok)
                    last = now;
                else
                    pause(20);
            }
            ms = sinceUp.isValid() ? sinceUp.elapsed() : -1;
        } else if (command == QLatin1String("howto")) {
            const QString query = words.value(2);
            last = fetchSettled(stateUrl, 1000, 60000);
            OverlayState state;
            overlayStateFromJson(last, &state);
            ok = page.navigate(query.isEmpty() ? pageUrl : pageUrl + QLatin1Char('?') + query);
            // The new document, once it shows the state.
            for (int waited = 0; ok && waited < 10000; waited += 50) {
                if (!page.evaluate(QStringLiteral("window.kivaBeforeReload === true")).toBool())
                    break;
                pause(50);
            }
            ok = ok && waitUntilShown(page, votesOf(last), 10000);
            const QString shown = page.evaluate(QString::fromLatin1(kShownHowTo)).toString();
            const QString firstName = page.evaluate(QString::fromLatin1(kShownFirstName)).toString();
            out << "shown: " << shown << " | first team: " << firstName << "\n";
            const bool hidden = query.contains(QLatin1String("howto=0"));
            ok = ok && !last.isEmpty() && writeFile(QDir(dir).filePath(name + QStringLiteral(".json")), last)
                && (hidden ? shown.isEmpty()
                           : !shown.isEmpty() && (shown == state.howTo || shown == state.howToShort))
                && firstName.startsWith(QStringLiteral("1 ")) == state.rules.voteByNumber
                && page.capture(QDir(dir).filePath(name + QStringLiteral(".png")));
        } else if (command == QLatin1String("quit")) {
            break;
        }
        out << command << ' ' << name << (ok ? " ok" : " failed");
        if (ms >= 0)
            out << ' ' << ms;
        out << "\n";
        out.flush();
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Checks screenshots of the on-stream page against the state it shows."));
    parser.addHelpOption();
    const QCommandLineOption png(QStringLiteral("png"), QStringLiteral("Screenshot to check."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption state(QStringLiteral("state"),
                                   QStringLiteral("State JSON (as GET /overlay/state gives)."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption fetch(QStringLiteral("fetch"),
                                   QStringLiteral("Fetch the state from this URL once it settles."),
                                   QStringLiteral("URL"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Where --fetch writes."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption settle(QStringLiteral("settle-ms"),
                                    QStringLiteral("How long the state must hold still."),
                                    QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption timeout(QStringLiteral("timeout-ms"),
                                     QStringLiteral("Give up fetching after this long."),
                                     QStringLiteral("MS"), QStringLiteral("30000"));
    const QCommandLineOption browseOption(QStringLiteral("browse"),
                                          QStringLiteral("Keep this page open in Chromium and "
                                                         "take commands on stdin."),
                                          QStringLiteral("URL"));
    const QCommandLineOption outDir(QStringLiteral("out-dir"),
                                    QStringLiteral("Where --browse writes its shots."),
                                    QStringLiteral("DIR"), QStringLiteral("."));
    const QCommandLineOption chromium(QStringLiteral("chromium"), QStringLiteral("The browser."),
                                      QStringLiteral("PATH"), QStringLiteral("chromium"));
    parser.addOptions({png, state, fetch, out, settle, timeout, browseOption, outDir, chromium});
    parser.process(app);

    if (parser.isSet(browseOption))
        return browse(parser.value(chromium), parser.value(browseOption), parser.value(outDir));
    if (parser.isSet(fetch) && parser.isSet(out))
        return fetchState(QUrl(parser.value(fetch)), parser.value(out),
                          parser.value(settle).toInt(), parser.value(timeout).toInt());
    if (parser.isSet(png) && parser.isSet(state))
        return checkShot(parser.value(png), parser.value(state));
    parser.showHelp(2);
}
