#pragma once

#include "overlay/OverlayState.h"
#include "overlay/WebSocketClients.h"
#include "remote/ControlCommands.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class ControlApi;
class HttpRequestHead;
struct HttpAnswer;
class QTcpServer;
class QTcpSocket;
class QTimer;
class QWebSocket;
class QWebSocketServer;

// Serves the on-stream results page on 127.0.0.1 and pushes the vote's state
// to every open page over a WebSocket on the same port: the whole state on
// connection, then at most one push per kMinPushIntervalMs however often
// markChanged() is called. The page only reads: nothing a page sends reaches
// the vote.
//
//   GET /overlay, /overlay.css, /overlay.js   the page and its files
//   GET /overlay/state                        the state as JSON (for checks)
//   GET /overlay/ws (WebSocket upgrade)       the pushes
//   /control/...                              the remote control (ControlApi),
//                                             off until a token is set
//
// Requests must name this server in Host ("127.0.0.1:<port>" or
// "localhost:<port>"), so that a page elsewhere cannot read it through a
// rebound DNS name; each connection answers one request and closes.
//
// Any local program can connect, so every buffer is bounded where the bytes
// arrive: at the cap, a connection still sending its request head gives way
// to a new one, oldest first; a page that has left our ping unanswered for
// kStaleClientMs gives way to a new page when every place is taken; a page
// further behind than the backlog limit, or sending more than
// kMaxIncomingBytesPerSecond (a page sends only pongs and its close), is dropped.
class OverlayServer : public QObject
{
    Q_OBJECT

public:
    using Snapshot = std::function<OverlayState()>;
    // Runs a control command (runControlCommand over the window's VoteCommands).
    using ControlHandler =
        std::function<ControlAnswer(const QByteArray &command, const QByteArray &body)>;

    static constexpr quint16 kDefaultPort = 11112;
    static constexpr int kMinPushIntervalMs = 100;
    static constexpr int kMaxHeadBytes = 8192;
    // Time a connection gets to send its request head and to take the answer.
    static constexpr int kRequestTimeoutMs = 5000;
    static constexpr int kMaxPendingRequests = 64;
    static constexpr int kMaxClients = 256;
    static constexpr qint64 kDefaultBacklogLimit = WebSocketClients::kDefaultBacklogLimit;
    static constexpr qint64 kMaxIncomingBytesPerSecond =
        WebSocketClients::kMaxIncomingBytesPerSecond;
    static constexpr int kStaleClientMs = WebSocketClients::kStaleClientMs;

    // `snapshot` builds the state; it is called at most once per push, per
    // new client and per state request.
    explicit OverlayServer(Snapshot snapshot, QObject *parent = nullptr);
    ~OverlayServer() override;

    // KIVA_OVERLAY_PORT when it is a port number 0..65535 (0 picks a free
    // port, for scripts and tests), else kDefaultPort.
    static quint16 portFromEnvironment();

    // Listens on 127.0.0.1 only; 0 picks a free port. False with
    // errorString() when the port is taken or listening is otherwise refused,
    // or when already listening.
    bool listen(quint16 port);
    bool isListening() const { return listening; }
    // A sentence for the streamer, in Chinese, about the last listen() failure.
    QString errorString() const { return error; }
    // 0 unless listening.
    quint16 port() const;
    // "http://127.0.0.1:<port>/overlay"; empty unless listening.
    QString pageUrl() const;

    // Called on every change of what the page shows (per counted vote): O(1),
    // and nothing at all while not listening or without clients.
    void markChanged();

    int clientCount() const;

    qint64 sendBacklogLimit() const;
    void setSendBacklogLimit(qint64 bytes);
    // Pings go out at a third of this interval.
    void setStaleClientMs(int ms);

    // The remote control: commands go to `handler`, and the answer carries
    // the state after them.
    void setControlHandler(ControlHandler handler);
    // The presets GET /control/presets lists, as a JSON array.
    void setControlPresets(std::function<QByteArray()> list);
    // Remote control on with this token; an empty token turns it off (403).
    void setControlToken(const QByteArray &token);
    // Wrong tokens within this long throttle the remote control for as long
    // again (10 s unless set, e.g. by a test).
    void setControlFailureWindowMs(int ms);

signals:
    void clientCountChanged(int count);

private:
    void acceptConnections();
    void readRequest(QTcpSocket *socket);
    void requestTimedOut(QTcpSocket *socket, QTimer *deadline);
    void answerRequest(QTcpSocket *socket, const HttpRequestHead &head);
    bool hostAllowed(const QByteArray &host) const;
    bool originAllowed(const HttpRequestHead &head) const;
    void upgrade(QTcpSocket *socket);
    void respond(QTcpSocket *socket, int status, const QByteArray &contentType,
                 const QByteArray &body, const QByteArray &extraFields = QByteArray());
    void act(QTcpSocket *socket, const HttpAnswer &answer);
    void forgetRequest(QTcpSocket *socket);
    void acceptClients();
    // The socket `client` was upgraded from, no longer tracked here.
    QTcpSocket *takeRaw(QWebSocket *client);
    void push();
    OverlayState currentState() const;
    // The state for a client that joins: a push of the same state must then
    // still go out if it differs from what went out last.
    QByteArray joiningState();

    Snapshot snapshot;
    QTcpServer *tcp = nullptr;
    QWebSocketServer *webSockets = nullptr;
    QTimer *pushTimer = nullptr;
    QElapsedTimer sinceLastPush;
    WebSocketClients *pages = nullptr;
    ControlApi *control = nullptr;
    // Sockets handed to the WebSocket server, until their client comes out:
    // the raw socket shows what arrives before the WebSocket reads it.
    QList<QTcpSocket *> upgrading;
    bool listening = false;
    bool dirty = false;
    // What the last push sent; a push of the same state is skipped, unless a
    // client joined since with another state.
    OverlayState lastSent;
    bool lastSentValid = false;
    int pendingRequests = 0;
    QList<QTcpSocket *> awaitingHead; // of the pending requests, oldest first
    QString error;
    QByteArray pageHtml;
    QByteArray pageCss;
    QByteArray pageJs;
};
