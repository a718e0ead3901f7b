#pragma once

#include "bridge/BridgeOptions.h"
#include "bridge/RoomProtocol.h"

#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QTimer>
#include <QWebSocket>

class kivaPlugInVote;

// Receives each text message of the host, as NUL-terminated UTF-8 valid only during the call.
using RoomMessageHandler = void (*)(const char *message, kivaPlugInVote *context);

// The WebSocket client of the host application's live room: opens the link,
// authenticates, hands every text message to the handler, retries while the
// link is down and tells the streamer once when it fails.
class CIMkiva : public QObject
{
    Q_OBJECT

public:
    explicit CIMkiva(QObject *parent);
    CIMkiva(QObject *parent, const BridgeOptions &options);
    ~CIMkiva() override;

    // Stores the handler and its context and opens the link.
    void startLink(RoomMessageHandler handler, kivaPlugInVote *context);

    // How many times the link has been opened so far.
    int attempts() const { return openCount; }
    bool isUp() const { return socket.state() == QAbstractSocket::ConnectedState; }
    bool failureShown() const { return errorShown; }

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
    void reportFailure();

    QTimer retryTimer;
    QTimer handshakeTimer;
    QWebSocket socket;
    RoomMessageHandler handler = nullptr;
    kivaPlugInVote *handlerContext = nullptr;
    bool errorShown = false;
    BridgeOptions options;
    int openCount = 0;
};
