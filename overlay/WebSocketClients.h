#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;
class QWebSocket;

// The WebSocket clients of one path of the page's server (the pages, or the
// remote controls), each bounded where its bytes arrive. Any local program
// can connect, so: at most `maxClients`, where a client that has left our
// ping unanswered for staleMs gives way to a new one at the cap; a client
// further behind than the backlog limit, or sending more than
// kMaxIncomingBytesPerSecond, is dropped; nothing larger than
// `maxMessageBytes` is taken in.
class WebSocketClients : public QObject
{
    Q_OBJECT

public:
    // A client further behind than this is dropped (a page reconnects and
    // gets the whole state again); about a thousand pushes of a typical state.
    static constexpr qint64 kDefaultBacklogLimit = 1024 * 1024;
    static constexpr qint64 kMaxIncomingBytesPerSecond = 16 * 1024;
    // Every client is pinged; one that has not answered for this long has
    // not read what we sent either.
    static constexpr int kStaleClientMs = 30000;

    WebSocketClients(int maxClients, int maxMessageBytes, QObject *parent = nullptr);
    ~WebSocketClients() override;

    // Oldest first.
    const QList<QWebSocket *> &list() const { return clients; }
    int count() const { return int(clients.size()); }
    bool isEmpty() const { return clients.isEmpty(); }

    // Below the cap, or a stale client would give way.
    bool hasRoom() const;
    // Drops a stale client at the cap; false when every place stays taken.
    bool makeRoom();
    // Takes `client` (now owned here), sends it `firstMessage` unless empty,
    // and bounds it from then on. `raw`, the socket it was upgraded from,
    // shows what arrives before the WebSocket reads it; what came with the
    // handshake may drop the client at once.
    void add(QWebSocket *client, QTcpSocket *raw, const QString &firstMessage);
    void drop(QWebSocket *client);
    // Sends, or drops a client already further behind than the backlog limit.
    void send(QWebSocket *client, const QString &message);

    qint64 backlogLimit() const { return sendBacklogLimit; }
    void setBacklogLimit(qint64 bytes) { sendBacklogLimit = bytes; }
    // Pings go out at a third of this interval.
    void setStaleMs(int ms);

signals:
    void countChanged(int count);
    // `client` is gone from the list (and deleted later).
    void dropped(QWebSocket *client);

private:
    // What the limits need to know of each client.
    struct Watch
    {
        qint64 windowStartMs = 0; // the current second of incoming bytes
        qint64 windowBytes = 0;
        qint64 pingSentMs = -1; // the unanswered ping, -1 when none
        QByteArray pingPayload;
    };

    QWebSocket *staleClient() const;
    void watch(QWebSocket *client, QTcpSocket *raw);
    void clientSent(QWebSocket *client, QTcpSocket *raw);
    void checkBacklog(QWebSocket *client);
    void pingAll();
    void ping(QWebSocket *client, Watch &watch);

    const int maxClients;
    const int maxMessageBytes;
    QList<QWebSocket *> clients;
    QHash<QWebSocket *, Watch> watches;
    QTimer *pingTimer = nullptr;
    QElapsedTimer clock;
    int staleMs = kStaleClientMs;
    qint64 sendBacklogLimit = kDefaultBacklogLimit;
};
