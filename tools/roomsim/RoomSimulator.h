#pragma once

#include "SendSummary.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QWebSocketServer>

#include <deque>
#include <functional>
#include <utility>

class QWebSocket;

// The host's side of the live-room link: a WebSocket server on 127.0.0.1
// that authenticates each client by its first frame, sends room events to
// every authenticated client and counts what it sent. While no client is
// authenticated nothing can be sent; the crowd and the script wait.
class RoomSimulator : public QObject
{
    Q_OBJECT

public:
    struct AuthReply
    {
        int ec = 0;
        QByteArray kivaid = QByteArrayLiteral("10001");
        QByteArray roomid = QByteArrayLiteral("20002");
        QByteArray token = QByteArrayLiteral("demo-token");
    };

    RoomSimulator(const AuthReply &reply, const SendSummary &summary, QObject *parent = nullptr);
    ~RoomSimulator() override;

    // Listens on 127.0.0.1 (0 picks a free port); false with errorString() set.
    bool listen(quint16 port);
    QString errorString() const { return lastError; }
    quint16 port() const { return listenPort; }
    bool isAccepting() const { return server.isListening(); }

    // Closes every client link; the server keeps accepting.
    void dropClients();
    // Closes the clients and refuses new ones until resumeAccepting().
    void stopAccepting();
    bool resumeAccepting();

    int clientCount() const { return int(clients.size()); }
    int authenticatedCount() const;
    bool hasAudience() const { return authenticatedCount() > 0; }
    // The most bytes still queued for one client.
    qint64 pendingBytes() const;

    // "m1", "m2", … unique for the life of the simulator.
    QByteArray nextMessageId();

    // Writes the frame to every authenticated client, twice in a row when
    // `thenRepeat`. False, and nothing counted, when there was no one to write to.
    bool sendEvent(const QByteArray &frame, bool thenRepeat = false);

    // Called with the number of frames written so far (repeats included),
    // right after each one is written; for measuring how long frames take
    // to arrive.
    void setFrameObserver(std::function<void(qint64 framesWritten)> observer)
    {
        frameObserver = std::move(observer);
    }

    // Drops the link after every `messages` counted messages (0: never).
    void setDropEvery(qint64 messages) { dropEvery = messages; }

    // What was sent, as it was queued for the clients: frames and repeats
    // (the votes are tallied as delivered).
    const SendSummary &summary() const { return tally; }
    // What was written to a client, as the system took it; a message queued
    // only for clients that went away first is counted as undelivered. It
    // lags what was sent while bytes wait in the queues.
    const SendSummary &delivered() const { return deliveredTally; }
    // Nothing sent is still waiting to be written or to be given up.
    bool isSettled() const { return inFlight.empty(); }

    // Stops accepting and closes every client once its queued bytes are
    // written; emits shutDownComplete() when all are gone.
    void shutDown();

signals:
    void clientsChanged();
    void audienceArrived(); // a client has just authenticated
    void eventLog(const QString &line); // connections, rejections, drops
    void frameLog(const QString &line); // frames sent and received, throttled
    void shutDownComplete();
    void settled(); // the last frame in flight was written or given up

private:
    struct Client
    {
        QWebSocket *socket = nullptr;
        bool authenticated = false;
        bool closing = false;
        qint64 queuedBytes = 0; // everything queued for it, counted from its upgrade
        qint64 writtenBytes = 0; // of those, taken by the system
        // Frames not yet written whole: where each ends in queuedBytes, and its number.
        std::deque<std::pair<qint64, qint64>> frames;
    };
    // A frame sent and not yet written to every client it was queued for.
    struct InFlight
    {
        SendSummary::Reading reading;
        bool repeat = false;
        int holders = 0; // clients it still waits on
        bool delivered = false;
    };

    void onNewConnection();
    void onText(QWebSocket *socket, const QString &message);
    void onBinary(QWebSocket *socket);
    void onGone(QWebSocket *socket);
    Client *find(QWebSocket *socket);
    QList<QWebSocket *> sockets() const;
    // Queues a text frame for a client, keeping count of its bytes.
    void write(Client &client, const QString &text);
    void onWritten(QWebSocket *socket, qint64 bytes);
    // Tallies, in order, the frames no client waits for any more.
    void settle();
    void closeClient(Client &client, const QString &reason);
    void logFrame(const char *arrow, const QByteArray &frame);
    void flushSuppressed();

    QWebSocketServer server;
    QList<Client> clients;
    AuthReply authReply;
    SendSummary tally;
    SendSummary deliveredTally;
    std::deque<InFlight> inFlight;
    qint64 firstInFlight = 0; // the number of inFlight's first frame
    QString lastError;
    quint16 listenPort = 0;
    qint64 messageNumber = 0;
    qint64 dropEvery = 0;
    qint64 framesWritten = 0;
    std::function<void(qint64)> frameObserver;
    bool shuttingDown = false;
    QTimer shutDownDeadline;

    // At high rates only the first frames of each second are logged.
    QElapsedTimer logWindow;
    int linesInWindow = 0;
    qint64 suppressedLines = 0;
    QTimer suppressedFlush;
};
