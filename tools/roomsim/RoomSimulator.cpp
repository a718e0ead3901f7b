#include "RoomSimulator.h"

#include "bridge/RoomEventWriter.h"
#include "bridge/RoomProtocol.h"

#include <QHostAddress>
#include <QWebSocket>

#include <algorithm>

namespace {

constexpr int kFrameLinesPerSecond = 50;
// A client that does not finish its closing within this long is left behind.
constexpr int kShutDownGraceMs = 3000;

QString describe(const QWebSocket *socket)
{
    return socket->peerAddress().toString() + QLatin1Char(':')
        + QString::number(socket->peerPort());
}

} // namespace

RoomSimulator::RoomSimulator(const AuthReply &reply, const SendSummary &summary, QObject *parent)
    : QObject(parent)
    , server(QStringLiteral("kiva-room-sim"), QWebSocketServer::NonSecureMode)
    , authReply(reply)
    , tally(summary)
    , deliveredTally(summary)
{
    tally.setCountsOnly(true);
    connect(&server, &QWebSocketServer::newConnection, this, &RoomSimulator::onNewConnection);
    shutDownDeadline.setSingleShot(true);
    connect(&shutDownDeadline, &QTimer::timeout, this, [this] {
        emit eventLog(
            QStringLiteral("shutdown: %1 client(s) did not close in time").arg(clients.size()));
        emit shutDownComplete();
    });
    suppressedFlush.setSingleShot(true);
    connect(&suppressedFlush, &QTimer::timeout, this, &RoomSimulator::flushSuppressed);
}

RoomSimulator::~RoomSimulator()
{
    // The sockets report their teardown; nothing here may hear it half destroyed.
    server.disconnect(this);
    for (const Client &client : qAsConst(clients)) {
        client.socket->disconnect(this);
        client.socket->abort();
        delete client.socket;
    }
    clients.clear();
}

bool RoomSimulator::listen(quint16 port)
{
    if (!server.listen(QHostAddress::LocalHost, port)) {
        lastError = server.errorString();
        return false;
    }
    listenPort = server.serverPort();
    lastError.clear();
    return true;
}

int RoomSimulator::authenticatedCount() const
{
    return int(std::count_if(clients.begin(), clients.end(),
                             [](const Client &c) { return c.authenticated && !c.closing; }));
}

qint64 RoomSimulator::pendingBytes() const
{
    qint64 most = 0;
    for (const Client &client : clients)
        most = std::max(most, client.socket->bytesToWrite());
    return most;
}

QByteArray RoomSimulator::nextMessageId()
{
    return 'm' + QByteArray::number(++messageNumber);
}

QList<QWebSocket *> RoomSimulator::sockets() const
{
    QList<QWebSocket *> all;
    for (const Client &client : clients)
        all.append(client.socket);
    return all;
}

void RoomSimulator::write(Client &client, const QString &text)
{
    const qint64 before = client.socket->bytesToWrite();
    client.socket->sendTextMessage(text);
    client.queuedBytes += client.socket->bytesToWrite() - before;
}

void RoomSimulator::onWritten(QWebSocket *socket, qint64 bytes)
{
    Client *client = find(socket);
    if (!client)
        return;
    client->writtenBytes += bytes;
    while (!client->frames.empty() && client->frames.front().first <= client->writtenBytes) {
        InFlight &sent = inFlight[std::size_t(client->frames.front().second - firstInFlight)];
        sent.delivered = true;
        --sent.holders;
        client->frames.pop_front();
    }
    settle();
}

void RoomSimulator::settle()
{
    bool any = false;
    while (!inFlight.empty() && inFlight.front().holders <= 0) {
        const InFlight &sent = inFlight.front();
        if (sent.delivered)
            deliveredTally.record(sent.reading);
        else if (!sent.repeat)
            deliveredTally.recordUndelivered();
        inFlight.pop_front();
        ++firstInFlight;
        any = true;
    }
    if (any && inFlight.empty())
        emit settled();
}

RoomSimulator::Client *RoomSimulator::find(QWebSocket *socket)
{
    for (Client &client : clients) {
        if (client.socket == socket)
            return &client;
    }
    return nullptr;
}

void RoomSimulator::onNewConnection()
{
    while (QWebSocket *socket = server.nextPendingConnection()) {
        if (shuttingDown) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Client client;
        client.socket = socket;
        // What the upgrade still has queued is reported as written like the rest.
        client.queuedBytes = socket->bytesToWrite();
        clients.append(client);
        connect(socket, &QWebSocket::bytesWritten, this,
                [this, socket](qint64 bytes) { onWritten(socket, bytes); });
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString &message) { onText(socket, message); });
        connect(socket, &QWebSocket::binaryMessageReceived, this,
                [this, socket](const QByteArray &) { onBinary(socket); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { onGone(socket); });
        emit eventLog(QStringLiteral("client connected from %1").arg(describe(socket)));
        emit clientsChanged();
    }
}

void RoomSimulator::onText(QWebSocket *socket, const QString &message)
{
    Client *client = find(socket);
    if (!client || client->closing)
        return;
    const QByteArray bytes = message.toUtf8();
    if (client->authenticated) {
        logFrame("<- ignored", bytes);
        return;
    }
    if (bytes != QByteArray(RoomProtocol::kAuthText)) {
        emit eventLog(QStringLiteral("client %1 rejected: first frame is not the auth text: %2")
                          .arg(describe(socket), QString::fromUtf8(bytes.left(200))));
        closeClient(*client, QStringLiteral("authentication required"));
        return;
    }
    client->authenticated = true;
    const QByteArray reply = RoomEventWriter::authResult(authReply.ec, authReply.kivaid,
                                                         authReply.roomid, authReply.token);
    write(*client, QString::fromUtf8(reply));
    emit eventLog(QStringLiteral("client %1 authenticated").arg(describe(socket)));
    logFrame("->", reply);
    emit clientsChanged();
    emit audienceArrived();
}

void RoomSimulator::onBinary(QWebSocket *socket)
{
    Client *client = find(socket);
    if (!client || client->closing)
        return;
    if (client->authenticated) {
        emit eventLog(QStringLiteral("binary frame from %1 ignored").arg(describe(socket)));
        return;
    }
    emit eventLog(QStringLiteral("client %1 rejected: binary first frame").arg(describe(socket)));
    closeClient(*client, QStringLiteral("authentication required"));
}

void RoomSimulator::onGone(QWebSocket *socket)
{
    const auto it = std::find_if(clients.begin(), clients.end(),
                                 [socket](const Client &c) { return c.socket == socket; });
    if (it == clients.end())
        return;
    // What was still queued for it is given up.
    for (const auto &frame : it->frames)
        --inFlight[std::size_t(frame.second - firstInFlight)].holders;
    clients.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
    emit eventLog(QStringLiteral("client disconnected (%1 left)").arg(clients.size()));
    emit clientsChanged();
    if (shuttingDown && clients.isEmpty() && shutDownDeadline.isActive()) {
        shutDownDeadline.stop();
        emit shutDownComplete();
    }
    settle();
}

void RoomSimulator::closeClient(Client &client, const QString &reason)
{
    const bool wasAudience = client.authenticated && !client.closing;
    client.closing = true;
    // Queued frames go out before the close frame; the socket closes once they are written.
    client.socket->close(QWebSocketProtocol::CloseCodeGoingAway, reason);
    if (wasAudience)
        emit clientsChanged();
}

void RoomSimulator::dropClients()
{
    if (clients.isEmpty())
        return;
    emit eventLog(QStringLiteral("dropping the link of %1 client(s)").arg(clients.size()));
    // close() may report the disconnection at once, which edits the list.
    for (QWebSocket *socket : sockets()) {
        if (Client *live = find(socket); live && !live->closing)
            closeClient(*live, QStringLiteral("link drop"));
    }
}

void RoomSimulator::stopAccepting()
{
    if (server.isListening()) {
        server.close();
        emit eventLog(QStringLiteral("no longer accepting connections"));
    }
    dropClients();
    emit clientsChanged();
}

bool RoomSimulator::resumeAccepting()
{
    if (server.isListening())
        return true;
    if (!server.listen(QHostAddress::LocalHost, listenPort)) {
        lastError = server.errorString();
        emit eventLog(
            QStringLiteral("cannot listen again on port %1: %2").arg(listenPort).arg(lastError));
        return false;
    }
    emit eventLog(QStringLiteral("accepting connections on port %1 again").arg(listenPort));
    emit clientsChanged();
    return true;
}

bool RoomSimulator::sendEvent(const QByteArray &frame, bool thenRepeat)
{
    const QString text = QString::fromUtf8(frame);
    QList<QWebSocket *> audience;
    for (const Client &client : qAsConst(clients)) {
        if (client.authenticated && !client.closing
            && client.socket->state() == QAbstractSocket::ConnectedState)
            audience.append(client.socket);
    }
    if (audience.isEmpty())
        return false;

    const int copies = thenRepeat ? 2 : 1;
    SendSummary::Outcome first = SendSummary::Outcome::Counted;
    SendSummary::Reading reading;
    for (int copy = 0; copy < copies; ++copy) {
        // Read once: the repeat holds the same, and the delivered tally takes it from here.
        const SendSummary::Outcome outcome =
            copy == 0 ? tally.record(frame, &reading) : tally.record(reading);
        const qint64 number = firstInFlight + qint64(inFlight.size());
        inFlight.push_back(InFlight {reading, copy == 1, int(audience.size()), false});
        for (QWebSocket *socket : qAsConst(audience)) {
            Client *client = find(socket);
            if (!client) { // gone while this frame was being queued
                --inFlight.back().holders;
                continue;
            }
            write(*client, text);
            client->frames.emplace_back(client->queuedBytes, number);
        }
        ++framesWritten;
        if (frameObserver)
            frameObserver(framesWritten);
        if (copy == 0)
            first = outcome;
        logFrame(outcome == SendSummary::Outcome::Repeat ? "-> repeat" : "->", frame);
    }

    settle();
    if (dropEvery > 0 && first == SendSummary::Outcome::Counted && tally.sent() % dropEvery == 0) {
        emit eventLog(QStringLiteral("link drop after %1 messages").arg(tally.sent()));
        dropClients();
    }
    return true;
}

void RoomSimulator::shutDown()
{
    if (shuttingDown)
        return;
    shuttingDown = true;
    server.close();
    if (clients.isEmpty()) {
        QTimer::singleShot(0, this, &RoomSimulator::shutDownComplete);
        return;
    }
    shutDownDeadline.start(kShutDownGraceMs);
    for (QWebSocket *socket : sockets()) {
        if (Client *live = find(socket); live && !live->closing)
            closeClient(*live, QStringLiteral("simulator done"));
    }
}

void RoomSimulator::logFrame(const char *arrow, const QByteArray &frame)
{
    if (!logWindow.isValid() || logWindow.elapsed() >= 1000) {
        flushSuppressed();
        logWindow.start();
        linesInWindow = 0;
    }
    if (linesInWindow >= kFrameLinesPerSecond) {
        ++suppressedLines;
        if (!suppressedFlush.isActive())
            suppressedFlush.start(1000);
        return;
    }
    ++linesInWindow;
    emit frameLog(QLatin1String(arrow) + QLatin1Char(' ') + QString::fromUtf8(frame));
}

void RoomSimulator::flushSuppressed()
{
    suppressedFlush.stop();
    if (suppressedLines == 0)
        return;
    emit frameLog(QStringLiteral("... %1 more frame(s) not shown").arg(suppressedLines));
    suppressedLines = 0;
}
