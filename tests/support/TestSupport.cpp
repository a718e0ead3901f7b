#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>
#include <QWebSocket>

namespace TestSupport {

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QString localAddress(quint16 port)
{
    return QStringLiteral("ws://127.0.0.1:%1").arg(port);
}

BridgeOptions bridgeTo(quint16 port, int retryMs)
{
    BridgeOptions options;
    options.address = localAddress(port);
    options.retryIntervalMs = retryMs;
    return options;
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return condition();
        QTest::qWait(10);
    }
    return true;
}

namespace {

// A "Vm…:  1234 kB" line of /proc/self/status; -1 when there is none.
qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

qint64 residentBytes()
{
    const qint64 kb = statusKb("VmRSS:");
    return kb < 0 ? -1 : kb * 1024;
}

PeakMemory::PeakMemory()
{
    // "5" resets the peak (VmHWM) to what is resident now.
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (reset.open(QIODevice::WriteOnly) && reset.write("5") == 1 && reset.flush())
        startKb = statusKb("VmRSS:");
}

qint64 PeakMemory::growthMb() const
{
    return (statusKb("VmHWM:") - startKb) / 1024;
}

} // namespace TestSupport

TestHost::TestHost(quint16 port)
    : server(QStringLiteral("host"), QWebSocketServer::NonSecureMode)
{
    server.listen(QHostAddress::LocalHost, port);
    QObject::connect(&server, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket *client = server.nextPendingConnection()) {
            client->setParent(this);
            current = client;
            ++connections;
            frames.append(QStringList());
            const int index = int(frames.size()) - 1;
            QObject::connect(client, &QWebSocket::textMessageReceived, this,
                             [this, index](const QString &text) { frames[index] << text; });
        }
    });
}

BridgeOptions TestHost::bridge(int retryMs) const
{
    return TestSupport::bridgeTo(port(), retryMs);
}

bool TestHost::authenticated() const
{
    return !frames.isEmpty() && !frames.last().isEmpty();
}

void TestHost::send(const QByteArray &message)
{
    if (current)
        current->sendTextMessage(QString::fromUtf8(message));
}

void TestHost::drop()
{
    if (current)
        current->abort();
}

SimProcess::~SimProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QString SimProcess::program()
{
    return qEnvironmentVariable("KIVA_ROOM_SIM");
}

bool SimProcess::start(const QStringList &arguments, bool pickPort)
{
    QStringList all = {QStringLiteral("--headless")};
    if (pickPort)
        all << QStringLiteral("--port") << QString::number(TestSupport::freePort());
    all << arguments;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program(), all);
    if (!process.waitForStarted(10000))
        return false;
    const QByteArray line = waitForLine("listening ", 15000);
    port = quint16(line.mid(10).trimmed().toUInt());
    return port != 0;
}

QList<QByteArray> SimProcess::lines()
{
    pending += process.readAllStandardOutput();
    int end;
    while ((end = pending.indexOf('\n')) >= 0) {
        received.append(pending.left(end));
        pending.remove(0, end + 1);
    }
    return received;
}

QByteArray SimProcess::waitForLine(const QByteArray &prefix, int timeoutMs)
{
    return waitFor([&prefix](const QByteArray &line) { return line.startsWith(prefix); },
                   timeoutMs);
}

QByteArray SimProcess::waitFor(const std::function<bool(const QByteArray &)> &wanted, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        for (const QByteArray &line : lines()) {
            if (wanted(line))
                return line;
        }
        if (process.state() == QProcess::NotRunning && process.bytesAvailable() == 0) {
            for (const QByteArray &line : lines()) {
                if (wanted(line))
                    return line;
            }
            break;
        }
        QTest::qWait(10);
    }
    return QByteArray();
}

bool SimProcess::waitForExit(int timeoutMs)
{
    TestSupport::waitUntil([this] { return process.state() == QProcess::NotRunning; }, timeoutMs);
    lines();
    return process.state() == QProcess::NotRunning;
}

QJsonObject SimProcess::summary(int timeoutMs)
{
    const QByteArray line = waitForLine("summary ", timeoutMs);
    return QJsonDocument::fromJson(line.mid(8)).object();
}

PilotProcess::~PilotProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool PilotProcess::start(quint16 roomPort, const QStringList &arguments)
{
    overlayPort = TestSupport::freePort();
    process.start(qEnvironmentVariable("KIVA_PILOT"),
                  QStringList {"--room-port", QString::number(roomPort), "--overlay-port",
                               QString::number(overlayPort)}
                      << arguments);
    return process.waitForStarted(10000)
        && TestSupport::waitUntil(
               [this] {
                   output += process.readAllStandardOutput().replace("\r\n", "\n");
                   // The report diagnostics on stdout end without a newline.
                   return output.contains("counting\n") && !output.contains("not counting");
               },
               60000);
}

QByteArray runProgram(const QString &program, const QStringList &arguments, int *status,
                      QByteArray *errors)
{
    QProcess tool;
    tool.start(program, arguments);
    tool.waitForFinished(60000);
    *status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    if (errors)
        *errors = tool.readAllStandardError();
    return tool.readAllStandardOutput().replace("\r\n", "\n");
}
