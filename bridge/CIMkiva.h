#pragma once

#include "bridge/BridgeOptions.h"
#include "bridge/RoomProtocol.h"
#include "bridge/WebSocketFrameReader.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>

#ifndef QT_NO_SSL
#include <QSslError>
#include <QSslSocket>
#else
#include <QTcpSocket>
#endif

// The WebSocket client of the host application's live room: opens the link,
// authenticates, hands on every text message, and retries while the link is
// down. It shows nothing: whoever owns it decides what the streamer sees.
//
// It frames the connection itself: Qt 5's WebSocket ends a link whose frame
// stays incomplete for 5 s, and a host that stops mid-frame for a moment
// (busy, or held back because the window is behind) lost everything it had
// queued. Here a link ends only when the host ends it or breaks the protocol.
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
    // No frame may be longer than a read (less the longest frame header, 14
    // bytes). No real frame comes near this; a bigger one is refused as its
    // header arrives, and the link is closed and opened again.
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
    bool isUp() const;
    // The most bytes ever received from the host and not yet handed on (the
    // message being handed on included), as each message was handed on.
    qint64 peakBacklogBytes() const { return peakBacklog; }

signals:
    // A text message of the host, as UTF-8.
    void textFrame(const QByteArray &message);
    // The link is up and the authentication text sent.
    void linkUp();
    // An attempt failed or the link broke; retries go on by themselves.
    void linkFailed();

private:
#ifndef QT_NO_SSL
    using Connection = QSslSocket;
#else
    using Connection = QTcpSocket;
#endif
    enum class Stage { Down, Connecting, Handshake, Up, Closing };

    void open();
    void reconnect();
    void onHandshakeTimeout();
    void onTransportReady();
    void onStateChanged(QAbstractSocket::SocketState state);
    void onError(QAbstractSocket::SocketError error);
#ifndef QT_NO_SSL // Qt without TLS (the Windows build's) has no such type
    void onSslErrors(const QList<QSslError> &errors);
#endif
    // Reads what has arrived, in batches with the event loop turning between them.
    void schedulePump();
    void pump();
    bool readHandshake();
    void handleFrames();
    // Ends the link from this side: an unusable answer or frame.
    void refuse(quint16 closeCode);
    void goUp();
    void send(quint8 opcode, const QByteArray &payload);

    QTimer retryTimer;
    QTimer handshakeTimer;
    Connection socket;
    BridgeOptions options;
    QUrl url;
    Stage stage = Stage::Down;
    QByteArray key;
    QByteArray handshakeHead;
    WebSocketFrameReader reader;
    bool secure = false; // wss
    bool pumping = false;
    bool pumpQueued = false;
    int openCount = 0;
    qint64 peakBacklog = 0;
};
