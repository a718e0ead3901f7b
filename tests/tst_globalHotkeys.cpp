// Global hotkeys on a real X server of the test's own (Xvfb): keys typed with
// xdotool reach the action while another window has the focus, and a
// combination another program holds gives the card's line, never a crash.
#include "remote/RemoteSettings.h"
#include "ui/GlobalHotkeys.h"
#include "ui/RemoteControlDialog.h"
#include "ui/kivaPlugInVote.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QLabel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <iostream>
#include <string>

#ifdef Q_OS_LINUX
#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const QString kAction = QStringLiteral("toggle-counting");

// Why the tests cannot run here; empty when they can.
QString skipReason;

// A private Xvfb for the run. It ends with the test: it is stopped at the
// end, dies with its parent, and ends by itself when its last client goes.
class XServer
{
public:
    ~XServer() { stop(); }

    // The display (":N") of a new server; empty with `why` when none starts.
    QByteArray start(QString *why)
    {
#ifdef Q_OS_LINUX
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) {
            *why = QStringLiteral("Xvfb is not installed (Debian: xvfb)");
            return {};
        }
        int fds[2];
        if (pipe(fds) != 0) {
            *why = QStringLiteral("no pipe for Xvfb");
            return {};
        }
        const std::string program = xvfb.toStdString();
        const std::string numberFd = std::to_string(fds[1]);
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            close(fds[0]);
            // -displayfd: the server takes a free display and writes its number.
            execl(program.c_str(), "Xvfb", "-displayfd", numberFd.c_str(), "-nolisten", "tcp",
                  "-screen", "0", "640x480x24", "-terminate", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        QByteArray number;
        pollfd readable {fds[0], POLLIN, 0};
        char byte = 0;
        while (pid > 0 && !number.endsWith('\n') && poll(&readable, 1, 10000) > 0
               && read(fds[0], &byte, 1) == 1)
            number += byte;
        close(fds[0]);
        if (number.trimmed().isEmpty()) {
            *why = QStringLiteral("Xvfb did not start");
            stop();
            return {};
        }
        return ':' + number.trimmed();
#else
        *why = QStringLiteral("the hotkeys are tested on X11 only");
        return {};
#endif
    }

    void stop()
    {
#ifdef Q_OS_LINUX
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
#endif
    }

private:
    int pid = -1;
};

// Another program holding a hotkey: this test's program run with --hold.
// It says "held" or "refused: <line>", and holds until its input closes.
int holdMain(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    GlobalHotkeys hotkeys;
    QString error;
    if (!hotkeys.set(kAction, QKeySequence::fromString(QString::fromLocal8Bit(argv[2])), &error)) {
        std::cout << "refused: " << error.toStdString() << std::endl;
        return 1;
    }
    std::cout << "held" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    return 0;
}

// Starts a holder of `sequence` and returns its first line.
QString startHolder(QProcess &holder, const QString &sequence)
{
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), sequence});
    if (!holder.waitForStarted(10000))
        return QStringLiteral("did not start");
    while (!holder.canReadLine() && holder.waitForReadyRead(20000)) {}
    return QString::fromUtf8(holder.readLine()).trimmed();
}

void endHolder(QProcess &holder)
{
    holder.closeWriteChannel();
    holder.waitForFinished(10000);
}

// xdotool's commands, e.g. {"key", "ctrl+alt+k"}.
bool xdotool(const QStringList &commands)
{
    return QProcess::execute(QStringLiteral("xdotool"), commands) == 0;
}

} // namespace

class TestGlobalHotkeys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!skipReason.isEmpty())
            QSKIP(qPrintable(skipReason));
        QVERIFY2(GlobalHotkeys::available(), "hotkeys not available on the test's X server");
    }

    // The keys are typed into the server while a window of ours has the
    // focus; the action fires exactly once, whatever locks are on.
    void typedWhileAnotherWindowHasFocus_data()
    {
        QTest::addColumn<QString>("sequence");
        QTest::addColumn<QStringList>("typed");
        QTest::newRow("ctrl+alt and a letter") << "Ctrl+Alt+K" << QStringList {"key", "ctrl+alt+k"};
        QTest::newRow("shift and a function key") << "Shift+F7" << QStringList {"key", "shift+F7"};
        QTest::newRow("meta and a digit") << "Meta+1" << QStringList {"key", "super+1"};
        QTest::newRow("caps lock on")
            << "Ctrl+Alt+K" << QStringList {"key", "Caps_Lock", "ctrl+alt+k", "Caps_Lock"};
        QTest::newRow("num lock on")
            << "Ctrl+Alt+K" << QStringList {"key", "Num_Lock", "ctrl+alt+k", "Num_Lock"};
    }

    void typedWhileAnotherWindowHasFocus()
    {
        QFETCH(QString, sequence);
        QFETCH(QStringList, typed);

        QLineEdit other;
        other.show();
        other.activateWindow();
        other.setFocus();
        QTRY_VERIFY(other.isActiveWindow() && other.hasFocus());

        GlobalHotkeys hotkeys;
        QSignalSpy fired(&hotkeys, &GlobalHotkeys::triggered);
        QString error;
        QVERIFY2(hotkeys.set(kAction, QKeySequence::fromString(sequence), &error),
                 qPrintable(error));
        QVERIFY(xdotool(typed));
        QVERIFY(fired.wait(5000));
        QTest::qWait(200);
        QCOMPARE(fired.count(), 1);
        QCOMPARE(fired.first().first().toString(), kAction);
        QVERIFY(other.text().isEmpty());
    }

    // Another program holds the keys: the line, nothing held; once it has
    // let go they can be set; what we clear another program can take.
    void heldByAnotherProgram()
    {
        const QString sequence = QStringLiteral("Ctrl+Alt+J");
        GlobalHotkeys hotkeys;
        QString error;
        {
            QProcess holder;
            QCOMPARE(startHolder(holder, sequence), QStringLiteral("held"));
            QVERIFY(!hotkeys.set(kAction, QKeySequence::fromString(sequence), &error));
            QCOMPARE(error, QStringLiteral("Ctrl+Alt+J 已被其他程序占用，请换一个"));
            QVERIFY(hotkeys.sequence(kAction).isEmpty());
            endHolder(holder);
        }
        QVERIFY2(hotkeys.set(kAction, QKeySequence::fromString(sequence), &error),
                 qPrintable(error));
        {
            QProcess holder;
            QCOMPARE(startHolder(holder, sequence),
                     QStringLiteral("refused: Ctrl+Alt+J 已被其他程序占用，请换一个"));
            QVERIFY(holder.waitForFinished(10000));
        }
        hotkeys.clear(kAction);
        QProcess holder;
        QCOMPARE(startHolder(holder, sequence), QStringLiteral("held"));
        endHolder(holder);
    }

    // Through the vote window: its hotkey toggles counting while another
    // window has the focus, and one another program holds shows its line in
    // the 遥控 card.
    void windowCountsByHotkey()
    {
        QProcess holder;
        QCOMPARE(startHolder(holder, QStringLiteral("Ctrl+Alt+H")), QStringLiteral("held"));
        QTemporaryDir data;
        RemoteSettings settings;
        settings.hotkeys.insert(QLatin1String(RemoteSettings::kToggleCounting),
                                QStringLiteral("Ctrl+Alt+V"));
        settings.hotkeys.insert(QLatin1String(RemoteSettings::kClearTotals),
                                QStringLiteral("Ctrl+Alt+H"));
        const QString path = data.filePath(QStringLiteral("remote.json"));
        QVERIFY(settings.save(path));
        kivaPlugInVote window(nullptr, BridgeOptions::off());
        window.enableRemoteControl(path);
        window.findChild<QLineEdit *>(QStringLiteral("nameEdit1"))->setText(QStringLiteral("甲"));
        window.findChild<QLineEdit *>(QStringLiteral("nameEdit2"))->setText(QStringLiteral("乙"));

        QLineEdit other;
        other.show();
        other.activateWindow();
        other.setFocus();
        QTRY_VERIFY(other.isActiveWindow());
        QVERIFY(xdotool({"key", "ctrl+alt+v"}));
        QTRY_VERIFY(window.session().isCounting());
        QVERIFY(xdotool({"key", "ctrl+alt+v"}));
        QTRY_VERIFY(!window.session().isCounting());

        QString line;
        QTimer::singleShot(0, &window, [&line] {
            auto *card = qobject_cast<RemoteControlDialog *>(QApplication::activeModalWidget());
            if (card) {
                line = card->hotkeyLine(QLatin1String(RemoteSettings::kClearTotals))->text();
                card->reject();
            }
        });
        window.showRemoteControl();
        QCOMPARE(line, QStringLiteral("Ctrl+Alt+H 已被其他程序占用，请换一个"));
        endHolder(holder);
    }

    // Combinations refused before any grab, each with its line.
    void refused_data()
    {
        QTest::addColumn<QKeySequence>("sequence");
        QTest::addColumn<QString>("line");
        QTest::newRow("modifiers only") << QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Alt)
                                        << "快捷键还要一个 Ctrl、Alt、Shift 以外的键";
        QTest::newRow("empty") << QKeySequence() << "快捷键还要一个 Ctrl、Alt、Shift 以外的键";
        QTest::newRow("a letter with shift only")
            << QKeySequence::fromString("Shift+A") << "字母、数字键要和 Ctrl 或 Alt 一起按";
        QTest::newRow("another action's")
            << QKeySequence::fromString("Ctrl+Alt+L") << "Ctrl+Alt+L 已用于另一项";
    }

    void refused()
    {
        QFETCH(QKeySequence, sequence);
        QFETCH(QString, line);
        GlobalHotkeys hotkeys;
        QString error;
        QVERIFY(hotkeys.set(QStringLiteral("clear-totals"), QKeySequence::fromString("Ctrl+Alt+L"),
                            &error));
        QVERIFY(!hotkeys.set(kAction, sequence, &error));
        QCOMPARE(error, line);
        QVERIFY(hotkeys.sequence(kAction).isEmpty());
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--hold") == 0)
        return holdMain(argc, argv);

    XServer server;
    QByteArray display = qgetenv("KIVA_TEST_DISPLAY");
    if (display.isEmpty() && QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        skipReason = QStringLiteral("xdotool is not installed (Debian: xdotool)");
    else if (display.isEmpty())
        display = server.start(&skipReason);
    // Never the desktop's display: the keys typed would land there.
    qputenv("QT_QPA_PLATFORM", skipReason.isEmpty() ? "xcb" : "offscreen");
    if (skipReason.isEmpty()) {
        qputenv("DISPLAY", display);
        // No OpenGL for our windows: Mesa's GLX driver would load only to leak.
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    }

    int status = 0;
    {
        QApplication app(argc, argv);
        TestGlobalHotkeys test;
        status = QTest::qExec(&test, argc, argv);
    }
    server.stop();
    return status;
}

#include "tst_globalHotkeys.moc"
