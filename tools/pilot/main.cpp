// kiva-pilot: the real vote window, run by a pilot instead of a person, for
// the demo without a display and for scripts. It builds the window as the
// program does, then does what a streamer does first: types the question and
// the team names, picks the vote type and the number of teams, and presses
// start. Whatever the room then sends is counted on screen.
//
//   kiva-pilot --room-port 11111 --teams 红队,蓝队 --text --shot board.png --quit-after-ms 20000
#include "catalogue/HttpFetch.h"
#include "overlay/OverlayServer.h"
#include "platform/FontSetup.h"
#include "platform/Platform.h"
#include "vote/kivaPlugInVote.h"

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

} // namespace

int main(int argc, char **argv)
{
    httpGlobalInit();
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kiva-pilot"));
    useWindowsGuiFontSize(installCjkFontSubstitutions());

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
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("The user's data folder for this run (gift pictures, "
                       "vote records in kiva/votes)."),
        QStringLiteral("DIR"));
    parser.addOptions(
        {roomPort, overlayPort, teams, mode, text, question, shot, quitAfter, dataDir});
    parser.process(application);

    if (parser.isSet(overlayPort))
        qputenv("KIVA_OVERLAY_PORT", parser.value(overlayPort).toUtf8());
    QString records = Platform::voteRecordsFolder();
    if (parser.isSet(dataDir)) {
        const QString data = QDir(parser.value(dataDir)).absolutePath();
        qputenv("XDG_DATA_HOME", QFile::encodeName(data));
        records = QDir(data).filePath(QStringLiteral("kiva/votes"));
    }

    BridgeOptions bridge;
    bridge.address = QStringLiteral("ws://127.0.0.1:%1").arg(parser.value(roomPort));
    kivaPlugInVote window(nullptr, bridge, OverlayServer::portFromEnvironment(), records);
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
    click(window, QStringLiteral("moreSettingButton"));
    click(window, QStringLiteral("startButton"));
    say(window.session().isCounting() ? QStringLiteral("counting") : QStringLiteral("not counting"));

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
    return application.exec();
}
