// kiva-pilot: the real vote window, run by a pilot instead of a person, for
// the demo without a display and for scripts. It builds the window as the
// program does, then does what a streamer does first: types the question and
// the team names, picks the vote type and the number of teams, and presses
// start. Whatever the room then sends is counted on screen. It can also set
// the counting rules and run a countdown, as the streamer would.
//
//   kiva-pilot --room-port 11111 --teams 红队,蓝队 --text --shot board.png --quit-after-ms 20000
//   kiva-pilot --text --one-vote-per-viewer --allow-change --countdown 60 --stop-at-time-up
#include "catalogue/HttpFetch.h"
#include "overlay/OverlayServer.h"
#include "ui/FontSetup.h"
#include "platform/Platform.h"
#include "platform/StopSignals.h"
#include "ui/kivaPlugInVote.h"
#include "vote/VotePresets.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>

namespace {

void say(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// Text reaches an edit as an input method commits it, Chinese included.
void type(QWidget &window, const QString &edit, const QString &text)
{
    auto *line = window.findChild<QLineEdit *>(edit);
    if (!line)
        return;
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(line, &commit);
}

void click(QWidget &window, const QString &name)
{
    if (auto *button = window.findChild<QAbstractButton *>(name))
        button->click();
}

// Replaces a number edit's text.
void fill(QWidget &window, const QString &edit, const QString &text)
{
    if (auto *line = window.findChild<QLineEdit *>(edit))
        line->setText(text);
}

// A whole number within [low, high], or none.
bool number(const QString &text, int low, int high, int &out)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    httpGlobalInit();
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kiva-pilot"));
    useWindowsGuiFontSize(installCjkFontSubstitutions());
    // From the start: a request that comes during the set-up is handled once it is done.
    StopSignals stop;

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the vote window against a live room and sets up a vote in it by itself."));
    parser.addHelpOption();
    const QCommandLineOption roomPort(QStringLiteral("room-port"),
                                      QStringLiteral("Port of the live room on 127.0.0.1."),
                                      QStringLiteral("P"), QStringLiteral("11111"));
    const QCommandLineOption overlayPort(
        QStringLiteral("overlay-port"),
        QStringLiteral("Port of the results page (sets KIVA_OVERLAY_PORT)."), QStringLiteral("O"));
    const QCommandLineOption teams(QStringLiteral("teams"), QStringLiteral("Team names."),
                                   QStringLiteral("A,B,…"), QStringLiteral("红队,蓝队"));
    const QCommandLineOption mode(QStringLiteral("mode"),
                                  QStringLiteral("Number of teams shown: 2, 3 or 4."),
                                  QStringLiteral("N"), QStringLiteral("2"));
    const QCommandLineOption text(QStringLiteral("text"),
                                  QStringLiteral("Chat voting (default: gift voting)."));
    const QCommandLineOption question(QStringLiteral("question"), QStringLiteral("The question."),
                                      QStringLiteral("Q"));
    const QCommandLineOption shot(QStringLiteral("shot"),
                                  QStringLiteral("Save a picture of the window here when done."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after-ms"),
                                       QStringLiteral("End after this long (0: run on)."),
                                       QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption onePerViewer(
        QStringLiteral("one-vote-per-viewer"),
        QStringLiteral("Chat votes: a viewer's first vote stands (每人一票)."));
    const QCommandLineOption allowChange(
        QStringLiteral("allow-change"),
        QStringLiteral("With --one-vote-per-viewer: a viewer's latest vote stands (允许改票)."));
    const QCommandLineOption cooldown(
        QStringLiteral("cooldown"),
        QStringLiteral("Chat votes within S seconds of the viewer's last counted one count "
                       "nothing (1 to %1).")
            .arg(VoteRules::kLongestCooldown),
        QStringLiteral("S"));
    const QCommandLineOption stopAtTimeUp(
        QStringLiteral("stop-at-time-up"),
        QStringLiteral("Counting stops when the countdown reaches 时间到."));
    const QCommandLineOption voteByNumber(
        QStringLiteral("vote-by-number"),
        QStringLiteral("Chat votes: a shown team's number (1 to 4, or １ to ４) counts for it "
                       "too (编号投票)."));
    const QCommandLineOption remoteToken(
        QStringLiteral("remote-token"),
        QStringLiteral("Switch remote control on with this token for this run (at least 32 "
                       "characters; the data folder's remote.json is left as it is)."),
        QStringLiteral("T"));
    const QCommandLineOption countdown(
        QStringLiteral("countdown"),
        QStringLiteral("Start a countdown of S seconds once counting (0 to 9999)."),
        QStringLiteral("S"));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("The user's data folder for this run (gift pictures, "
                       "vote records in kiva/votes)."),
        QStringLiteral("DIR"));
    parser.addOptions({roomPort, overlayPort, teams, mode, text, question, shot, quitAfter,
                       onePerViewer, allowChange, cooldown, stopAtTimeUp, voteByNumber, countdown,
                       dataDir, remoteToken});
    parser.process(application);

    const auto refuse = [](const char *why) {
        std::fprintf(stderr, "kiva-pilot: %s\n", why);
        return 2;
    };
    int cooldownSeconds = 0;
    if (parser.isSet(cooldown) && !number(parser.value(cooldown), 1, VoteRules::kLongestCooldown, cooldownSeconds))
        return refuse(qPrintable(QStringLiteral("--cooldown: expected seconds from 1 to %1")
                                     .arg(VoteRules::kLongestCooldown)));
    int countdownSeconds = 0;
    if (parser.isSet(countdown) && !number(parser.value(countdown), 0, 9999, countdownSeconds))
        return refuse("--countdown: expected seconds from 0 to 9999");
    if (parser.isSet(allowChange) && !parser.isSet(onePerViewer))
        return refuse("--allow-change needs --one-vote-per-viewer");
    // As short a token as a guess could find would open the vote to any local program.
    if (parser.isSet(remoteToken) && parser.value(remoteToken).size() < 32)
        return refuse("--remote-token: at least 32 characters");

    if (parser.isSet(overlayPort))
        qputenv("KIVA_OVERLAY_PORT", parser.value(overlayPort).toUtf8());
    QString records = Platform::voteRecordsFolder();
    if (parser.isSet(dataDir)) {
        const QString data = QDir(parser.value(dataDir)).absolutePath();
        Platform::setAppDataFolder(data);
        records = Platform::voteRecordsFolder(QDir::toNativeSeparators(data));
    }

    BridgeOptions bridge;
    bridge.address = QStringLiteral("ws://127.0.0.1:%1").arg(parser.value(roomPort));
    kivaPlugInVote window(nullptr, bridge, OverlayServer::portFromEnvironment(), records);
    const QString dataFolder =
        parser.isSet(dataDir) ? QDir(parser.value(dataDir)).absolutePath() : Platform::appDataFolder();
    window.enablePresets(Platform::kivaFile(dataFolder, QStringLiteral("presets.json")));
    window.enableRemoteControl(Platform::kivaFile(dataFolder, QStringLiteral("remote.json")),
                               parser.value(remoteToken).toLatin1());
    if (!window.remoteAddress().isEmpty() && window.remoteSettings().enabled)
        say(QStringLiteral("remote ") + window.remoteAddress());
    window.showNormal();
    if (!window.overlayAddress().isEmpty())
        say(QStringLiteral("overlay ") + window.overlayAddress());

    const QStringList names =
        parser.value(teams).split(QRegularExpression(QStringLiteral("[,，]")), Qt::SkipEmptyParts);
    const int teamsShown = qBound(2, parser.value(mode).toInt(), 4);
    click(window, QStringLiteral("moreSettingButton"));
    if (teamsShown > 2)
        click(window, QStringLiteral("mode%1Radio").arg(teamsShown));
    if (parser.isSet(question))
        type(window, QStringLiteral("questionEdit"), parser.value(question));
    for (int index = 1; index <= teamsShown && index <= names.size(); ++index)
        type(window, QStringLiteral("nameEdit%1").arg(index), names.at(index - 1));
    if (parser.isSet(text))
        click(window, QStringLiteral("textRadio"));
    if (parser.isSet(onePerViewer))
        click(window, QStringLiteral("onePerViewerCheck"));
    if (parser.isSet(allowChange))
        click(window, QStringLiteral("allowChangeCheck"));
    if (parser.isSet(cooldown)) {
        fill(window, QStringLiteral("cooldownEdit"), QString::number(cooldownSeconds));
        click(window, QStringLiteral("cooldownCheck"));
    }
    if (parser.isSet(stopAtTimeUp))
        click(window, QStringLiteral("stopAtTimeUpCheck"));
    if (parser.isSet(voteByNumber))
        click(window, QStringLiteral("voteByNumberCheck"));
    click(window, QStringLiteral("moreSettingButton"));
    click(window, QStringLiteral("startButton"));
    say(window.session().isCounting() ? QStringLiteral("counting") : QStringLiteral("not counting"));
    if (window.session().rules().anyOn())
        say(QStringLiteral("rules ") + window.session().ruleLine());
    if (parser.isSet(countdown)) {
        fill(window, QStringLiteral("secondsEdit"), QString::number(countdownSeconds));
        click(window, QStringLiteral("startTimeButton"));
        say(QStringLiteral("countdown %1 s").arg(countdownSeconds));
    }

    const QString picture = parser.value(shot);
    const auto finish = [&] {
        if (!picture.isEmpty()) {
            window.grab().save(picture);
            say(QStringLiteral("shot ") + picture);
        }
        QCoreApplication::quit();
    };
    const int quitMs = parser.value(quitAfter).toInt();
    if (quitMs > 0)
        QTimer::singleShot(quitMs, &window, finish);
    QObject::connect(&window, &QDialog::finished, &application, finish);
    // Told to stop by the system: as at the end of the run, the record ends cleanly.
    QObject::connect(&stop, &StopSignals::stopRequested, &application, finish);
    return application.exec();
}
