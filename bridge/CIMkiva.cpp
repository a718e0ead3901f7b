#include "bridge/CIMkiva.h"

#include "platform/QtNetworkCompat.h"

#include <QUrl>
#ifndef QT_NO_SSL
#include <QSslConfiguration>
#include <QSslError>
#endif

#include <algorithm>

CIMkiva::CIMkiva(QObject *parent)
    : CIMkiva(parent, BridgeOptions())
{}

CIMkiva::CIMkiva(QObject *parent, const BridgeOptions &bridgeOptions)
    : QObject(parent)
    , socket(QString(), QWebSocketProtocol::Version13)
    , options(bridgeOptions)
{
    qRegisterMetaType<QAbstractSocket::SocketError>();
#ifndef QT_NO_SSL
    qRegisterMetaType<QList<QSslError>>();
#endif
    handshakeTimer.setSingleShot(true);
    socket.setMaxAllowedIncomingMessageSize(quint64(kMaxMessageBytes));
    socket.setMaxAllowedIncomingFrameSize(quint64(kMaxFrameBytes));
    socket.setReadBufferSize(kReadChunkBytes);
}

CIMkiva::~CIMkiva()
{
    // The socket reports its own teardown; this object must not hear it half destroyed.
    socket.disconnect(this);
    retryTimer.stop();
    handshakeTimer.stop();
}

void CIMkiva::startLink()
{
    connect(&socket, &QWebSocket::connected, this, &CIMkiva::onConnected);
#ifndef QT_NO_SSL
    connect(&socket, &QWebSocket::sslErrors, this, &CIMkiva::onSslErrors);
#endif
    connect(&socket, &QWebSocket::disconnected, this, &CIMkiva::onDisConnected);
    connect(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
            &CIMkiva::onError);
    connect(&retryTimer, &QTimer::timeout, this, &CIMkiva::reconnect);
    connect(&handshakeTimer, &QTimer::timeout, this, &CIMkiva::onHandshakeTimeout);

#ifndef QT_NO_SSL
    QSslConfiguration tls = socket.sslConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls.setProtocol(QtCompat::kTlsV1SslV3);
    socket.setSslConfiguration(tls);
#endif

    open();
}

void CIMkiva::open()
{
    ++openCount;
    handshakeTimer.start(options.handshakeTimeoutMs);
    socket.open(QUrl(options.address, QUrl::TolerantMode));
}

void CIMkiva::onConnected()
{
    // The link comes up again after every drop; each message must reach the handler once.
    connect(&socket, &QWebSocket::textMessageReceived, this, &CIMkiva::onTextMessageReceived,
            Qt::UniqueConnection);
    retryTimer.stop();
    handshakeTimer.stop();
    connection = nullptr;
    for (QAbstractSocket *child : socket.findChildren<QAbstractSocket *>()) {
        if (child->state() == QAbstractSocket::ConnectedState)
            connection = child;
    }
    connectionSeen = connectionSeen || connection;
    socket.sendTextMessage(QString::fromUtf8(RoomProtocol::kAuthText));
    emit linkUp();
}

// The one place where the host's messages come in.
void CIMkiva::onTextMessageReceived(const QString &message)
{
    const QByteArray bytes = message.toUtf8();
    if (connection)
        peakBacklog = std::max(peakBacklog, connection->bytesAvailable() + bytes.size());
    emit textFrame(bytes);
}

void CIMkiva::onError(QAbstractSocket::SocketError)
{
    emit linkFailed();
}

#ifndef QT_NO_SSL
void CIMkiva::onSslErrors(const QList<QSslError> &)
{
    socket.ignoreSslErrors();
}
#endif

void CIMkiva::onDisConnected()
{
    retryTimer.start(options.retryIntervalMs);
}

void CIMkiva::onHandshakeTimeout()
{
    if (socket.state() == QAbstractSocket::ConnectedState)
        return;
    socket.abort();
    // A failed attempt like any other: reported, and retried.
    emit linkFailed();
    if (!retryTimer.isActive())
        retryTimer.start(options.retryIntervalMs);
}

void CIMkiva::reconnect()
{
    socket.abort();
    open();
}
