#include "overlay/WebSocketClients.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>

WebSocketClients::WebSocketClients(int maxClients, int maxMessageBytes, QObject *parent)
    : QObject(parent)
    , maxClients(maxClients)
    , maxMessageBytes(maxMessageBytes)
    , pingTimer(new QTimer(this))
{
    pingTimer->setInterval(kStaleClientMs / 3);
    connect(pingTimer, &QTimer::timeout, this, &WebSocketClients::pingAll);
    clock.start();
}

WebSocketClients::~WebSocketClients()
{
    // Leave before the clients go, so that their last signals find nobody.
    for (QWebSocket *client : qAsConst(clients)) {
        client->disconnect(this);
        client->close(QWebSocketProtocol::CloseCodeGoingAway);
        delete client;
    }
    clients.clear();
    watches.clear();
}

void WebSocketClients::setStaleMs(int ms)
{
    staleMs = ms;
    pingTimer->setInterval(std::max(1, ms / 3));
}

QWebSocket *WebSocketClients::staleClient() const
{
    const qint64 now = clock.elapsed();
    for (QWebSocket *client : qAsConst(clients)) {
        const Watch watch = watches.value(client);
        if (watch.pingSentMs >= 0 && now - watch.pingSentMs >= staleMs)
            return client;
    }
    return nullptr;
}

bool WebSocketClients::hasRoom() const
{
    return clients.size() < maxClients || staleClient();
}

bool WebSocketClients::makeRoom()
{
    if (clients.size() < maxClients)
        return true;
    QWebSocket *stale = staleClient();
    if (stale)
        drop(stale);
    return stale;
}

void WebSocketClients::add(QWebSocket *client, QTcpSocket *raw, const QString &firstMessage)
{
    // The WebSocket server does not own what it hands out.
    client->setParent(this);
    client->setMaxAllowedIncomingFrameSize(quint64(maxMessageBytes));
    client->setMaxAllowedIncomingMessageSize(quint64(maxMessageBytes));
    connect(client, &QWebSocket::disconnected, this, [this, client] { drop(client); });
    clients.append(client);
    if (!firstMessage.isEmpty())
        client->sendTextMessage(firstMessage);
    emit countChanged(count());
    watch(client, raw); // last: what came with the handshake may drop it at once
}

void WebSocketClients::watch(QWebSocket *client, QTcpSocket *raw)
{
    Watch &watch = watches[client];
    watch.windowStartMs = clock.elapsed();
    connect(client, &QWebSocket::pong, this, [this, client](quint64, const QByteArray &payload) {
        const auto found = watches.find(client);
        if (found != watches.end() && payload == found->pingPayload)
            found->pingSentMs = -1;
    });
    // Pinged at once: a client that reads answers within milliseconds.
    ping(client, watch);
    if (!pingTimer->isActive())
        pingTimer->start();
    if (!raw)
        return;
    connect(raw, &QTcpSocket::readyRead, client, [this, client, raw] { clientSent(client, raw); });
    clientSent(client, raw);
}

void WebSocketClients::clientSent(QWebSocket *client, QTcpSocket *raw)
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
        drop(client);
        return;
    }
    // Its pongs are written once the WebSocket has read the pings: look then.
    QMetaObject::invokeMethod(
        client, [this, client] { checkBacklog(client); }, Qt::QueuedConnection);
}

void WebSocketClients::checkBacklog(QWebSocket *client)
{
    if (watches.contains(client) && client->bytesToWrite() > sendBacklogLimit)
        drop(client);
}

void WebSocketClients::pingAll()
{
    for (QWebSocket *client : qAsConst(clients)) {
        Watch &watch = watches[client];
        // The oldest unanswered ping is the one that tells how far behind it is.
        if (watch.pingSentMs < 0)
            ping(client, watch);
    }
}

void WebSocketClients::ping(QWebSocket *client, Watch &watch)
{
    watch.pingSentMs = clock.elapsed();
    // Unpredictable, so that only a client that read the ping can answer it.
    watch.pingPayload = QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    client->ping(watch.pingPayload);
}

void WebSocketClients::drop(QWebSocket *client)
{
    if (!clients.removeOne(client))
        return;
    watches.remove(client);
    if (clients.isEmpty())
        pingTimer->stop();
    client->disconnect(this);
    client->abort();
    client->deleteLater();
    emit dropped(client);
    emit countChanged(count());
}

void WebSocketClients::send(QWebSocket *client, const QString &message)
{
    if (client->bytesToWrite() > sendBacklogLimit)
        drop(client);
    else
        client->sendTextMessage(message);
}
