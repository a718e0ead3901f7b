#include "overlay/OverlayServer.h"

#include "overlay/ControlApi.h"
#include "overlay/HttpRequestHead.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>

namespace {

const QByteArray kWebSocketPath = QByteArrayLiteral("/overlay/ws");
// A page sends only pongs and its close: nothing larger is ours to hold.
constexpr int kMaxPageMessageBytes = 1024;

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
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 426:
        return "Upgrade Required";
    case 429:
        return "Too Many Requests";
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
    , pages(new WebSocketClients(kMaxClients, kMaxPageMessageBytes, this))
    , control(new ControlApi(
          [this](bool joining) {
              return joining ? joiningState() : overlayStateJson(currentState());
          },
          [this] { markChanged(); }, this))
    , pageHtml(resource(QStringLiteral(":/overlay/overlay.html")))
    , pageCss(resource(QStringLiteral(":/overlay/overlay.css")))
    , pageJs(resource(QStringLiteral(":/overlay/overlay.js")))
{
    pushTimer->setSingleShot(true);
    connect(pushTimer, &QTimer::timeout, this, &OverlayServer::push);
    connect(pages, &WebSocketClients::countChanged, this, &OverlayServer::clientCountChanged);
    connect(tcp, &QTcpServer::newConnection, this, &OverlayServer::acceptConnections);
    connect(webSockets, &QWebSocketServer::newConnection, this, &OverlayServer::acceptClients);
    sinceLastPush.start();
}

OverlayServer::~OverlayServer()
{
    // Leave before the children go, so that their last signals find nobody.
    pages->disconnect(this);
    delete pages;
    pages = nullptr;
    delete control;
    control = nullptr;
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

int OverlayServer::clientCount() const
{
    return pages->count();
}

qint64 OverlayServer::sendBacklogLimit() const
{
    return pages->backlogLimit();
}

void OverlayServer::setSendBacklogLimit(qint64 bytes)
{
    pages->setBacklogLimit(bytes);
    control->socketClients()->setBacklogLimit(bytes);
}

void OverlayServer::setStaleClientMs(int ms)
{
    pages->setStaleMs(ms);
    control->socketClients()->setStaleMs(ms);
}

void OverlayServer::setControlHandler(ControlHandler handler)
{
    control->setHandler(std::move(handler));
}

void OverlayServer::setControlPresets(std::function<QByteArray()> list)
{
    control->setPresetList(std::move(list));
}

void OverlayServer::setControlToken(const QByteArray &token)
{
    control->setToken(token);
}

void OverlayServer::setControlFailureWindowMs(int ms)
{
    control->setFailureWindowMs(ms);
}

void OverlayServer::markChanged()
{
    // Once per vote: only the first change after a push arms the timer.
    if (dirty || (pages->isEmpty() && !control->hasListeners()))
        return;
    dirty = true;
    const qint64 wait = kMinPushIntervalMs - sinceLastPush.elapsed();
    pushTimer->start(int(std::clamp<qint64>(wait, 0, kMinPushIntervalMs)));
}

OverlayState OverlayServer::currentState() const
{
    return snapshot ? snapshot() : OverlayState();
}

QByteArray OverlayServer::joiningState()
{
    const OverlayState state = currentState();
    if (lastSentValid && state != lastSent)
        lastSentValid = false;
    return overlayStateJson(state);
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
        connect(deadline, &QTimer::timeout, this,
                [this, socket, deadline] { requestTimedOut(socket, deadline); });
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

void OverlayServer::requestTimedOut(QTcpSocket *socket, QTimer *deadline)
{
    // A command whose body never came in full is told so (its head is
    // complete, or it would not wait); anything else is cut.
    HttpRequestHead head;
    if (awaitingHead.contains(socket)
        && head.parse(socket->peek(kMaxHeadBytes)) == HttpRequestHead::Result::Complete
        && ControlApi::isControlPath(head.path())) {
        act(socket, ControlApi::bodyTimedOut());
        deadline->start(kRequestTimeoutMs); // for the answer to go out
        return;
    }
    socket->abort();
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
    if (ControlApi::isControlPath(head.path())) {
        act(socket, control->answer(socket, head));
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
        } else if (!pages->hasRoom()) {
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

void OverlayServer::act(QTcpSocket *socket, const HttpAnswer &answer)
{
    switch (answer.action) {
    case HttpAnswer::Action::Respond:
        respond(socket, answer.status, "application/json", answer.body, answer.extraFields);
        return;
    case HttpAnswer::Action::Wait:
        return;
    case HttpAnswer::Action::Upgrade:
        upgrade(socket);
        return;
    }
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
        QTcpSocket *raw = takeRaw(client);
        if (ControlApi::isSocketPath(client->requestUrl().path().toUtf8())) {
            control->acceptClient(client, raw);
            continue;
        }
        if (!pages->makeRoom()) {
            client->setParent(this);
            client->close(QWebSocketProtocol::CloseCodePolicyViolated);
            client->deleteLater();
            continue;
        }
        pages->add(client, raw, QString::fromUtf8(joiningState()));
    }
}

QTcpSocket *OverlayServer::takeRaw(QWebSocket *client)
{
    // The WebSocket keeps its socket to itself; ours is the one with its peer.
    for (QTcpSocket *raw : qAsConst(upgrading)) {
        if (raw->peerPort() == client->peerPort() && raw->peerAddress() == client->peerAddress()) {
            upgrading.removeOne(raw);
            return raw;
        }
    }
    return nullptr;
}

void OverlayServer::push()
{
    dirty = false;
    sinceLastPush.restart();
    if (pages->isEmpty() && !control->hasListeners())
        return;
    const OverlayState state = currentState();
    if (lastSentValid && state == lastSent)
        return;
    lastSent = state;
    lastSentValid = true;
    const QString message = QString::fromUtf8(overlayStateJson(state));
    const QList<QWebSocket *> receivers = pages->list();
    for (QWebSocket *client : receivers)
        pages->send(client, message);
    control->push(message);
}
