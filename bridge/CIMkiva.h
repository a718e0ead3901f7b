#pragma once

#include "bridge/BridgeOptions.h"
#include "bridge/RoomProtocol.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWebSocket>

// The WebSocket client of the host application's live room: opens the link,
// authenticates, hands on every text message, and retries while the link is
// down. It shows nothing: whoever owns it decides what the streamer sees.
class CIMkiva : public QObject
{
    Q_OBJECT

public:
    // The host's bytes are taken from the connection at most this many at a
    // time, and each batch is handled before the next is read: the window
    // answers between batches, and a room that sends faster than it is
    // counted waits in the connection (TCP slows the host down) instead of
    // piling up in memory.
    static constexpr qint64 kReadChunkBytes = 1024 * 1024;
    // A frame is taken only once the whole of it has been read, so none may
    // be longer than a read (less the longest frame header, 14 bytes): a
    // longer one would wait for ever. No real frame comes near this; a bigger
    // one is refused as it arrives, and the link is closed and opened again.
    static constexpr qint64 kMaxFrameBytes = kReadChunkBytes - 14;
    // A message may come in several frames; this bounds all of them together.
    static constexpr qint64 kMaxMessageBytes = 16 * 1024 * 1024;

    explicit CIMkiva(QObject *parent);
    CIMkiva(QObject *parent, const BridgeOptions &options);
    ~CIMkiva() override;

    // Opens the link.
    void startLink();

    // How many times the link has been opened so far.
    int attempts() const { return openCount; }
    bool isUp() const { return socket.state() == QAbstractSocket::ConnectedState; }
    // The most bytes ever received from the host and not yet handed on (the
    // message being handed on included), as each message was handed on; -1
    // when the connection's buffer cannot be seen.
    qint64 peakBacklogBytes() const { return connectionSeen ? peakBacklog : -1; }

signals:
    // A text message of the host, as UTF-8.
    void textFrame(const QByteArray &message);
    // The link is up and the authentication text sent.
    void linkUp();
    // An attempt failed or the link broke; retries go on by themselves.
    void linkFailed();

private slots:
    void onConnected();
    void onTextMessageReceived(const QString &message);
    void onError(QAbstractSocket::SocketError error);
#ifndef QT_NO_SSL // Qt without TLS (the Windows build's) has no such signal
    void onSslErrors(const QList<QSslError> &errors);
#endif
    void onDisConnected();
    void reconnect();

private:
    void open();
    void onHandshakeTimeout();

    QTimer retryTimer;
    QTimer handshakeTimer;
    QWebSocket socket;
    BridgeOptions options;
    int openCount = 0;
    // The connection under the WebSocket, for the backlog figure only.
    QPointer<QAbstractSocket> connection;
    bool connectionSeen = false;
    qint64 peakBacklog = 0;
};
