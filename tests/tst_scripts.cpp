// The demo script run briefly without a display, against this build's
// programs: however it ends, no process it started is left running.
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <csignal>
#include <signal.h>

namespace {

// The processes whose environment holds `mark`, by id, with their command
// lines: all a run started, and all those started in turn, inherit it.
QMap<qint64, QByteArray> marked(const QByteArray &mark)
{
    QMap<qint64, QByteArray> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        QFile environment(QStringLiteral("/proc/%1/environ").arg(entry));
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (environment.open(QIODevice::ReadOnly)
            && environment.readAll().split('\0').contains(mark)
            && command.open(QIODevice::ReadOnly))
            found.insert(entry.toLongLong(), command.readAll().replace('\0', ' '));
    }
    return found;
}

QByteArray describe(const QMap<qint64, QByteArray> &processes)
{
    QByteArray lines;
    for (auto process = processes.begin(); process != processes.end(); ++process)
        lines += QByteArray::number(process.key()) + ' ' + process.value() + '\n';
    return lines;
}

// Ends whatever still carries the mark when a check fails half-way.
struct EndMarked
{
    QByteArray mark;
    ~EndMarked()
    {
        const QList<qint64> pids = marked(mark).keys();
        for (qint64 pid : pids)
            ::kill(pid_t(pid), SIGKILL);
    }
};

} // namespace

class TestScripts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void demoLeavesNothing_data();
    void demoLeavesNothing();
};

void TestScripts::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("KIVA_DEMO") || !QFile::exists(QStringLiteral("/proc/self")))
        QSKIP("needs KIVA_DEMO (set by CTest) and /proc");
    // Ctrl-C must reach the script as in a terminal, even when this test was
    // started where it is ignored (a background job of a script).
    std::signal(SIGINT, SIG_DFL);
}

void TestScripts::demoLeavesNothing_data()
{
    QTest::addColumn<QByteArray>("seconds"); // how long the crowd votes
    QTest::addColumn<QByteArray>("stopAfter"); // empty: it runs to its end
    QTest::addColumn<int>("signal");

    QTest::newRow("runs to its end") << QByteArray("2") << QByteArray() << 0;
    QTest::newRow("Ctrl-C while the crowd votes")
        << QByteArray("25") << QByteArray("Results page for") << int(SIGINT);
    QTest::newRow("terminated while it starts")
        << QByteArray("25") << QByteArray("Simulated platform API at") << int(SIGTERM);
}

void TestScripts::demoLeavesNothing()
{
    QFETCH(QByteArray, seconds);
    QFETCH(QByteArray, stopAfter);
    QFETCH(int, signal);

    QTemporaryDir dataHome; // the pictures it caches
    const QString markName = QStringLiteral("KIVA_TEST_RUN");
    const QString markValue = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QByteArray mark = (markName + '=' + markValue).toUtf8();
    const EndMarked endMarked {mark};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("KIVA_OVERLAY_PORT"), QStringLiteral("0"));
    environment.insert(QStringLiteral("KIVA_DEMO_SECONDS"), QString::fromUtf8(seconds));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome.path());
    environment.insert(markName, markValue);

    // A group of its own, as a terminal gives a command: Ctrl-C reaches the
    // whole group.
    QProcess script;
    script.setProcessEnvironment(environment);
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(QStringLiteral("setsid"),
                 {QStringLiteral("bash"), qEnvironmentVariable("KIVA_DEMO")});
    QVERIFY(script.waitForStarted(10000));

    QByteArray output;
    if (stopAfter.isEmpty()) {
        QVERIFY(script.waitForFinished(180000));
        output = script.readAll();
        QVERIFY2(script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0,
                 output.constData());
    } else {
        while (!output.contains(stopAfter) && script.waitForReadyRead(60000))
            output += script.readAll();
        QVERIFY2(output.contains(stopAfter), output.constData());
        // The check below sees what it started.
        QVERIFY2(marked(mark).size() >= 2, describe(marked(mark)).constData());
        const pid_t pid = pid_t(script.processId());
        QCOMPARE(::kill(signal == SIGINT ? -pid : pid, signal), 0);
        QVERIFY(script.waitForFinished(30000));
        output += script.readAll();
    }

    // Ended with it; a moment for any process it told to stop.
    QMap<qint64, QByteArray> left;
    TestSupport::waitUntil([&] { return (left = marked(mark)).isEmpty(); }, 5000);
    QVERIFY2(left.isEmpty(), (describe(left) + "--\n" + output).constData());
}

QTEST_GUILESS_MAIN(TestScripts)
#include "tst_scripts.moc"
