#pragma once

#include "bridge/BridgeOptions.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QWebSocketServer>

#include <functional>

class QWebSocket;

namespace TestSupport {

// A TCP port on 127.0.0.1 that was free a moment ago.
quint16 freePort();

// "ws://127.0.0.1:<port>"
QString localAddress(quint16 port);

// The link pointed at 127.0.0.1:<port>, retrying every `retryMs`.
BridgeOptions bridgeTo(quint16 port, int retryMs = 3000);

// Runs the event loop until `condition` holds; false when it did not within
// the time. The one way tests wait for something asynchronous.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

// The process's resident memory in bytes, from /proc; -1 where there is none.
qint64 residentBytes();

// How far this process's resident memory rose at its peak since the
// measure began, for checks that something big passed through without being
// held. Linux only (the kernel's peak, reset for the measure).
class PeakMemory
{
public:
    PeakMemory();
    bool available() const { return startKb >= 0; }
    qint64 growthMb() const;

private:
    qint64 startKb = -1;
};

} // namespace TestSupport

// Stands in for the host application: a WebSocket server on 127.0.0.1 that
// accepts clients and records the text frames each one sends.
class TestHost : public QObject
{
public:
    // Port 0 picks a free one.
    explicit TestHost(quint16 port = 0);

    bool isListening() const { return server.isListening(); }
    quint16 port() const { return server.serverPort(); }
    BridgeOptions bridge(int retryMs = 3000) const;

    // True once the newest client has sent its first frame.
    bool authenticated() const;
    // Sends a text frame to the newest client.
    void send(const QByteArray &message);
    // Cuts the newest client off without a closing handshake.
    void drop();

    QWebSocketServer server;
    QPointer<QWebSocket> current;
    int connections = 0;
    QList<QStringList> frames; // per connection, in order
};

// The live-room simulator as a separate process (KIVA_ROOM_SIM, set by
// CTest), and its standard output line by line.
class SimProcess
{
public:
    ~SimProcess();

    static QString program();

    // Starts it headless on a free port (unless the arguments name one) and
    // waits for "listening <port>".
    bool start(const QStringList &arguments, bool pickPort = true);

    // Every line written so far.
    QList<QByteArray> lines();
    // The first line starting with `prefix`; empty when none came in time.
    QByteArray waitForLine(const QByteArray &prefix, int timeoutMs);
    QByteArray waitFor(const std::function<bool(const QByteArray &)> &wanted, int timeoutMs);
    // Keeps the event loop running (clients must read) until the process ends.
    bool waitForExit(int timeoutMs);
    // The JSON after "summary ".
    QJsonObject summary(int timeoutMs = 30000);

    QProcess process;
    quint16 port = 0;

private:
    QByteArray pending;
    QList<QByteArray> received;
};

// kiva-pilot (KIVA_PILOT, set by CTest) counting the room at `roomPort`, its
// results page on a free port; killed on the way out.
class PilotProcess
{
public:
    ~PilotProcess();

    // Starts it with these arguments after the ports and waits until it
    // says it is counting.
    bool start(quint16 roomPort, const QStringList &arguments);

    QProcess process;
    QByteArray output; // its standard output so far, CRLF read as LF
    quint16 overlayPort = 0;
};

// One of the suite's programs run to its end: its standard output (CRLF
// read as LF) and exit status (-1 for a crash); its errors when asked.
QByteArray runProgram(const QString &program, const QStringList &arguments, int *status,
                      QByteArray *errors = nullptr);
