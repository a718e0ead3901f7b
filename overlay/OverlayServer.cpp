#include "overlay/OverlayServer.h"

#include "overlay/HttpRequestHead.h"

#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>

namespace {

const QByteArray kWebSocketPath = QByteArrayLiteral("/overlay/ws");

QByteArray resource(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 426:
        return "Upgrade Required";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

} // namespace

OverlayServer::OverlayServer(Snapshot snapshot, QObject *parent)
    : QObject(parent)
    , snapshot(std::move(snapshot))
    , tcp(new QTcpServer(this))
    , webSockets(new QWebSocketServer(QStringLiteral("kiva-overlay"),
                                      QWebSocketServer::NonSecureMode, this))
    , pushTimer(new QTimer(this))
    , pingTimer(new QTimer(this))
    , pageHtml(resource(QStringLiteral(":/overlay/overlay.html")))
    , pageCss(resource(QStringLiteral(":/overlay/overlay.css")))
    , pageJs(resource(QStringLiteral(":/overlay/overlay.js")))
{
    pushTimer->setSingleShot(true);
    connect(pushTimer, &QTimer::timeout, this, &OverlayServer::push);
    pingTimer->setInterval(kStaleClientMs / 3);
    connect(pingTimer, &QTimer::timeout, this, &OverlayServer::pingClients);
    connect(tcp, &QTcpServer::newConnection, this, &OverlayServer::acceptConnections);
    connect(webSockets, &QWebSocketServer::newConnection, this, &OverlayServer::acceptClients);
    sinceLastPush.start();
    clock.start();
}

OverlayServer::~OverlayServer()
{
    // Leave before the children go, so that their last signals find nobody.
    for (QWebSocket *client : qAsConst(clients)) {
        client->disconnect(this);
        client->close(QWebSocketProtocol::CloseCodeGoingAway);
        delete client;
    }
    clients.clear();
    watches.clear();
    for (QTcpSocket *raw : qAsConst(upgrading))
        raw->disconnect(this);
    tcp->disconnect(this);
    webSockets->disconnect(this);
}

quint16 OverlayServer::portFromEnvironment()
{
    bool ok = false;
    const uint port = qEnvironmentVariable("KIVA_OVERLAY_PORT").trimmed().toUInt(&ok);
    return ok && port <= 65535 ? quint16(port) : kDefaultPort;
}

bool OverlayServer::listen(quint16 port)
{
    if (listening) {
        error = QStringLiteral("直播画面页面已在端口 %1 开启。").arg(this->port());
        return false;
    }
    if (!tcp->listen(QHostAddress::LocalHost, port)) {
        if (tcp->serverError() == QAbstractSocket::AddressInUseError)
            error = QStringLiteral("直播画面页面未开启：本机端口 %1 已被其他程序占用。").arg(port);
        else
            error = QStringLiteral("直播画面页面未开启：无法使用本机端口 %1（%2）。")
                        .arg(port)
                        .arg(tcp->errorString());
        return false;
    }
    error.clear();
    listening = true;
    return true;
}

quint16 OverlayServer::port() const
{
    return listening ? tcp->serverPort() : 0;
}

QString OverlayServer::pageUrl() const
{
    return listening ? QStringLiteral("http://127.0.0.1:%1/overlay").arg(port()) : QString();
}

void OverlayServer::setStaleClientMs(int ms)
{
    staleClientMs = ms;
    pingTimer->setInterval(std::max(1, ms / 3));
}

void OverlayServer::markChanged()
{
    // Once per vote: only the first change after a push arms the timer.
    if (dirty || clients.isEmpty())
        return;
    dirty = true;
    const qint64 wait = kMinPushIntervalMs - sinceLastPush.elapsed();
    pushTimer->start(int(std::clamp<qint64>(wait, 0, kMinPushIntervalMs)));
}

OverlayState OverlayServer::currentState() const
{
    return snapshot ? snapshot() : OverlayState();
}

void OverlayServer::acceptConnections()
{
    while (QTcpSocket *socket = tcp->nextPendingConnection()) {
        // At the cap the newest connection gets in at the cost of the oldest
        // one still sending its head: a browser sends its head at once, so a
        // flood of slow requests cannot keep a page out.
        while (pendingRequests >= kMaxPendingRequests && !awaitingHead.isEmpty()) {
            QTcpSocket *oldest = awaitingHead.first();
            // Its head may be waiting unread; once read, it is answered instead.
            oldest->waitForReadyRead(0);
            if (awaitingHead.isEmpty() || awaitingHead.first() != oldest)
                continue;
            forgetRequest(oldest);
            oldest->abort();
        }
        if (pendingRequests >= kMaxPendingRequests) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++pendingRequests;
        awaitingHead.append(socket);
        // Reading stops at this size, so a head that never ends costs no more.
        socket->setReadBufferSize(kMaxHeadBytes);
        auto *deadline = new QTimer(socket);
        deadline->setObjectName(QStringLiteral("deadline"));
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
        deadline->start(kRequestTimeoutMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forgetRequest(socket); });
        if (socket->bytesAvailable() > 0)
            readRequest(socket);
    }
}

void OverlayServer::forgetRequest(QTcpSocket *socket)
{
    --pendingRequests;
    awaitingHead.removeOne(socket);
    socket->disconnect(this);
    socket->deleteLater();
}

void OverlayServer::readRequest(QTcpSocket *socket)
{
    // Peeked, not read: an upgrade hands the socket on with its request,
    // which QWebSocketServer reads again.
    HttpRequestHead head;
    switch (head.parse(socket->peek(kMaxHeadBytes))) {
    case HttpRequestHead::Result::Incomplete:
        if (socket->bytesAvailable() >= kMaxHeadBytes)
            respond(socket, 431, "text/plain; charset=utf-8", "request head too large\n");
        return;
    case HttpRequestHead::Result::Malformed:
        respond(socket, 400, "text/plain; charset=utf-8", "bad request\n");
        return;
    case HttpRequestHead::Result::Complete:
        answerRequest(socket, head);
        return;
    }
}

bool OverlayServer::hostAllowed(const QByteArray &host) const
{
    const QByteArray port = QByteArray::number(tcp->serverPort());
    const QByteArray lower = host.toLower();
    return lower == "127.0.0.1:" + port || lower == "localhost:" + port;
}

bool OverlayServer::originAllowed(const HttpRequestHead &head) const
{
    // Browsers always send Origin with a WebSocket handshake, so a page
    // cannot leave it out; a client without one is a local program, which
    // could reach the loopback port anyway. A page of ours has our own origin.
    bool present = false;
    const QByteArray origin = head.field("Origin", &present).toLower();
    if (!present)
        return true;
    const QByteArray port = QByteArray::number(tcp->serverPort());
    return origin == "http://127.0.0.1:" + port || origin == "http://localhost:" + port;
}

void OverlayServer::answerRequest(QTcpSocket *socket, const HttpRequestHead &head)
{
    const QByteArray textPlain = "text/plain; charset=utf-8";
    if (head.fieldCount("Host") != 1 || !hostAllowed(head.field("Host"))) {
        respond(socket, 403, textPlain, "forbidden host\n");
        return;
    }
    if (head.method() != "GET") {
        respond(socket, 405, textPlain, "read-only\n", "Allow: GET\r\n");
        return;
    }
    const QByteArray &path = head.path();
    if (path == kWebSocketPath) {
        if (!head.fieldHasToken("Upgrade", "websocket")
            || !head.fieldHasToken("Connection", "upgrade")) {
            respond(socket, 426, textPlain, "websocket only\n", "Upgrade: websocket\r\n");
        } else if (!originAllowed(head)) {
            respond(socket, 403, textPlain, "forbidden origin\n");
        } else if (clients.size() >= kMaxClients && !staleClient()) {
            // A stale page gives way only to a handshake that completes.
            respond(socket, 503, textPlain, "too many pages\n");
        } else {
            upgrade(socket);
        }
        return;
    }

    // The page limits itself to our own files and our own socket.
    const QByteArray policy = "Content-Security-Policy: default-src 'none'; style-src 'self'; "
                              "script-src 'self'; connect-src ws://"
        + head.field("Host") + "; base-uri 'none'; form-action 'none'\r\n";
    if (path == "/overlay" || path == "/overlay/")
        respond(socket, 200, "text/html; charset=utf-8", pageHtml, policy);
    else if (path == "/overlay.css")
        respond(socket, 200, "text/css; charset=utf-8", pageCss);
    else if (path == "/overlay.js")
        respond(socket, 200, "application/javascript; charset=utf-8", pageJs);
    else if (path == "/overlay/state")
        respond(socket, 200, "application/json", overlayStateJson(currentState()));
    else
        respond(socket, 404, textPlain, "not found\n");
}

void OverlayServer::respond(QTcpSocket *socket, int status, const QByteArray &contentType,
                            const QByteArray &body, const QByteArray &extraFields)
{
    // A page file missing from the build is a fault to show, not an empty page.
    if (status == 200 && body.isEmpty()) {
        respond(socket, 500, "text/plain; charset=utf-8", "page missing from the build\n");
        return;
    }
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    awaitingHead.removeOne(socket);
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status)
        + "\r\nContent-Type: " + contentType
        + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
          "Connection: close\r\n"
        + extraFields + "\r\n" + body;
    // Request bytes left unread would turn the close into a reset, which can
    // cost the client the answer.
    socket->readAll();
    socket->write(response);
    // Closes once the answer is out; the deadline still cuts a reader that stalls.
    socket->disconnectFromHost();
}

void OverlayServer::upgrade(QTcpSocket *socket)
{
    socket->disconnect(this);
    --pendingRequests;
    awaitingHead.removeOne(socket);
    delete socket->findChild<QTimer *>(QStringLiteral("deadline"), Qt::FindDirectChildrenOnly);
    socket->setReadBufferSize(0);
    upgrading.append(socket);
    const auto handedOn = [this, socket] { upgrading.removeOne(socket); };
    connect(socket, &QTcpSocket::disconnected, this, handedOn);
    connect(socket, &QObject::destroyed, this, handedOn);
    webSockets->handleConnection(socket);
}

void OverlayServer::acceptClients()
{
    while (QWebSocket *client = webSockets->nextPendingConnection()) {
        if (!makeRoomForClient()) {
            client->setParent(this);
            client->close(QWebSocketProtocol::CloseCodePolicyViolated);
            client->deleteLater();
            continue;
        }
        // The WebSocket server does not own what it hands out.
        client->setParent(this);
        // The page sends nothing; anything large is not ours to hold.
        client->setMaxAllowedIncomingFrameSize(1024);
        client->setMaxAllowedIncomingMessageSize(1024);
        connect(client, &QWebSocket::disconnected, this, [this, client] { dropClient(client); });
        clients.append(client);

        const OverlayState state = currentState();
        if (lastSentValid && state != lastSent)
            lastSentValid = false;
        client->sendTextMessage(QString::fromUtf8(overlayStateJson(state)));
        emit clientCountChanged(clientCount());
        watchClient(client); // last: what came with the handshake may drop it at once
    }
}

QWebSocket *OverlayServer::staleClient() const
{
    const qint64 now = clock.elapsed();
    for (QWebSocket *client : qAsConst(clients)) {
        const Watch watch = watches.value(client);
        if (watch.pingSentMs >= 0 && now - watch.pingSentMs >= staleClientMs)
            return client;
    }
    return nullptr;
}

bool OverlayServer::makeRoomForClient()
{
    if (clients.size() < kMaxClients)
        return true;
    QWebSocket *stale = staleClient();
    if (stale)
        dropClient(stale);
    return stale;
}

void OverlayServer::watchClient(QWebSocket *client)
{
    Watch &watch = watches[client];
    watch.windowStartMs = clock.elapsed();
    connect(client, &QWebSocket::pong, this, [this, client](quint64, const QByteArray &payload) {
        const auto found = watches.find(client);
        if (found != watches.end() && payload == found->pingPayload)
            found->pingSentMs = -1;
    });
    // Pinged at once: a page that reads answers within milliseconds.
    ping(client, watch);
    if (!pingTimer->isActive())
        pingTimer->start();

    // The WebSocket keeps its socket to itself; ours is the one with its peer.
    for (QTcpSocket *raw : qAsConst(upgrading)) {
        if (raw->peerPort() != client->peerPort() || raw->peerAddress() != client->peerAddress())
            continue;
        upgrading.removeOne(raw);
        connect(raw, &QTcpSocket::readyRead, client,
                [this, client, raw] { clientSent(client, raw); });
        clientSent(client, raw);
        return;
    }
}

void OverlayServer::clientSent(QWebSocket *client, QTcpSocket *raw)
{
    const auto found = watches.find(client);
    if (found == watches.end())
        return;
    const qint64 now = clock.elapsed();
    if (now - found->windowStartMs >= 1000) {
        found->windowStartMs = now;
        found->windowBytes = 0;
    }
    // Seen before the WebSocket reads them (it does so queued), so a flood is
    // dropped at its first read. (A capped read buffer would bound it sooner,
    // but the WebSocket stalls behind one.) Bytes it left unread count again,
    // which errs only against a client that keeps sending.
    found->windowBytes += raw->bytesAvailable();
    if (found->windowBytes > kMaxIncomingBytesPerSecond) {
        dropClient(client);
        return;
    }
    // Its pongs are written once the WebSocket has read the pings: look then.
    QMetaObject::invokeMethod(
        client, [this, client] { checkBacklog(client); }, Qt::QueuedConnection);
}

void OverlayServer::checkBacklog(QWebSocket *client)
{
    if (watches.contains(client) && client->bytesToWrite() > backlogLimit)
        dropClient(client);
}

void OverlayServer::pingClients()
{
    for (QWebSocket *client : qAsConst(clients)) {
        Watch &watch = watches[client];
        // The oldest unanswered ping is the one that tells how far behind it is.
        if (watch.pingSentMs < 0)
            ping(client, watch);
    }
}

void OverlayServer::ping(QWebSocket *client, Watch &watch)
{
    watch.pingSentMs = clock.elapsed();
    // Unpredictable, so that only a client that read the ping can answer it.
    watch.pingPayload = QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    client->ping(watch.pingPayload);
}

void OverlayServer::dropClient(QWebSocket *client)
{
    if (!clients.removeOne(client))
        return;
    watches.remove(client);
    if (clients.isEmpty())
        pingTimer->stop();
    client->disconnect(this);
    client->abort();
    client->deleteLater();
    emit clientCountChanged(clientCount());
}

void OverlayServer::push()
{
    dirty = false;
    sinceLastPush.restart();
    if (clients.isEmpty())
        return;
    const OverlayState state = currentState();
    if (lastSentValid && state == lastSent)
        return;
    lastSent = state;
    lastSentValid = true;
    const QString message = QString::fromUtf8(overlayStateJson(state));
    const QList<QWebSocket *> receivers = clients;
    for (QWebSocket *client : receivers) {
        if (client->bytesToWrite() > backlogLimit)
            dropClient(client);
        else
            client->sendTextMessage(message);
    }
}
