#pragma once

#include "bridge/BridgeOptions.h"
#include "bridge/RoomProtocol.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QTimer>
#include <QWebSocket>

// The WebSocket client of the host application's live room: opens the link,
// authenticates, hands on every text message, and retries while the link is
// down. It shows nothing: whoever owns it decides what the streamer sees.
class CIMkiva : public QObject
{
    Q_OBJECT

public:
    // No real message comes near this; a bigger one is refused as it arrives,
    // and the link is closed and opened again.
    static constexpr qint64 kMaxMessageBytes = 16 * 1024 * 1024;

    explicit CIMkiva(QObject *parent);
    CIMkiva(QObject *parent, const BridgeOptions &options);
    ~CIMkiva() override;

    // Opens the link.
    void startLink();

    // How many times the link has been opened so far.
    int attempts() const { return openCount; }
    bool isUp() const { return socket.state() == QAbstractSocket::ConnectedState; }

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
    void onSslErrors(const QList<QSslError> &errors);
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
};
