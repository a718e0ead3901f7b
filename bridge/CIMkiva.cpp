#include "bridge/CIMkiva.h"

#include "bridge/WebSocketWire.h"
#include "platform/QtNetworkCompat.h"

#ifndef QT_NO_SSL
#include <QSslConfiguration>
#endif

#include <algorithm>

using namespace WebSocketWire;

CIMkiva::CIMkiva(QObject *parent)
    : CIMkiva(parent, BridgeOptions())
{}

CIMkiva::CIMkiva(QObject *parent, const BridgeOptions &bridgeOptions)
    : QObject(parent)
    , options(bridgeOptions)
    , reader(kMaxFrameBytes, kMaxMessageBytes)
{
    qRegisterMetaType<QAbstractSocket::SocketError>();
    qRegisterMetaType<QAbstractSocket::SocketState>();
#ifndef QT_NO_SSL
    qRegisterMetaType<QList<QSslError>>();
#endif
    handshakeTimer.setSingleShot(true);
    // Started when an attempt fails or the link breaks: an attempt under way
    // is never cut short by it (the handshake limit bounds that one).
    retryTimer.setSingleShot(true);
    // Once the connection holds a read's worth, it reads no more until the
    // link has taken it: the host waits in TCP.
    socket.setReadBufferSize(kReadChunkBytes);
}

CIMkiva::~CIMkiva()
{
    // The socket reports its own teardown; this object must not hear it half destroyed.
    socket.disconnect(this);
    retryTimer.stop();
    handshakeTimer.stop();
}

bool CIMkiva::isUp() const
{
    return stage == Stage::Up && socket.state() == QAbstractSocket::ConnectedState;
}

void CIMkiva::startLink()
{
    connect(&socket, &QAbstractSocket::connected, this, [this] {
        if (!secure)
            onTransportReady();
    });
    connect(&socket, &QAbstractSocket::stateChanged, this, &CIMkiva::onStateChanged);
    connect(&socket, &QAbstractSocket::errorOccurred, this, &CIMkiva::onError);
    connect(&socket, &QIODevice::readyRead, this, &CIMkiva::schedulePump);
    connect(&retryTimer, &QTimer::timeout, this, &CIMkiva::reconnect);
    connect(&handshakeTimer, &QTimer::timeout, this, &CIMkiva::onHandshakeTimeout);

#ifndef QT_NO_SSL
    connect(&socket, &QSslSocket::encrypted, this, &CIMkiva::onTransportReady);
    connect(&socket, QOverload<const QList<QSslError> &>::of(&QSslSocket::sslErrors), this,
            &CIMkiva::onSslErrors);
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
    url = QUrl(options.address, QUrl::TolerantMode);
    key = newKey();
    reader.clear();
    stage = Stage::Connecting;
    secure = url.scheme() == QLatin1String("wss");
#ifndef QT_NO_SSL
    if (secure) {
        socket.connectToHostEncrypted(url.host(), quint16(url.port(443)));
        return;
    }
#endif
    socket.connectToHost(url.host(), quint16(url.port(80)));
}

void CIMkiva::onTransportReady()
{
    if (stage != Stage::Connecting)
        return;
    stage = Stage::Handshake;
    socket.write(handshakeRequest(url, key));
}

void CIMkiva::goUp()
{
    stage = Stage::Up;
    retryTimer.stop();
    handshakeTimer.stop();
    send(Text, QByteArray(RoomProtocol::kAuthText));
    emit linkUp();
}

void CIMkiva::schedulePump()
{
    if (pumpQueued)
        return;
    pumpQueued = true;
    // Queued: each batch is handled from the event loop, which turns between batches.
    QMetaObject::invokeMethod(
        this,
        [this] {
            pumpQueued = false;
            pump();
        },
        Qt::QueuedConnection);
}

void CIMkiva::pump()
{
    // A handler that runs an event loop of its own must not start a batch
    // inside this one; this one looks again when it ends.
    if (pumping)
        return;
    pumping = true;
    if (stage == Stage::Handshake)
        readHandshake();
    if (stage == Stage::Up)
        handleFrames();
    pumping = false;
    if ((stage == Stage::Handshake || stage == Stage::Up) && socket.bytesAvailable() > 0)
        schedulePump();
}

bool CIMkiva::readHandshake()
{
    const QByteArray start = socket.peek(kMaxHandshakeBytes);
    const int end = start.indexOf("\r\n\r\n");
    if (end < 0) {
        if (start.size() >= kMaxHandshakeBytes)
            refuse(ProtocolError);
        return false;
    }
    const QByteArray head = socket.read(end + 4);
    if (!handshakeAccepted(head.left(end), key)) {
        refuse(ProtocolError);
        return false;
    }
    goUp();
    return stage == Stage::Up;
}

void CIMkiva::handleFrames()
{
    // All the connection holds (never more than a read): taking it whole
    // lets the connection read on from the host.
    reader.append(socket.read(kReadChunkBytes));
    // The backlog is largest before the batch is counted: measured once here,
    // not per message.
    peakBacklog = std::max(peakBacklog, socket.bytesAvailable() + reader.buffered());
    for (;;) {
        WebSocketFrameReader::Item item = reader.next();
        switch (item.kind) {
        case WebSocketFrameReader::Item::None:
            return;
        case WebSocketFrameReader::Item::Text:
            emit textFrame(item.payload);
            if (stage != Stage::Up)
                return;
            break;
        case WebSocketFrameReader::Item::Ping:
            send(Pong, item.payload);
            break;
        case WebSocketFrameReader::Item::Close:
            // The host ends the link: answered with its code, then closed once written.
            stage = Stage::Closing;
            send(Close, item.closeCode == 1005 ? QByteArray() : closePayload(item.closeCode));
            socket.disconnectFromHost();
            return;
        case WebSocketFrameReader::Item::Refused:
            refuse(item.closeCode);
            return;
        }
    }
}

void CIMkiva::send(quint8 opcode, const QByteArray &payload)
{
    socket.write(clientFrame(Opcode(opcode), payload));
}

void CIMkiva::refuse(quint16 closeCode)
{
    if (stage == Stage::Up) {
        send(Close, closePayload(closeCode));
        socket.flush();
    }
    stage = Stage::Closing;
    socket.abort();
    emit linkFailed();
}

void CIMkiva::onStateChanged(QAbstractSocket::SocketState state)
{
    if (state != QAbstractSocket::UnconnectedState || stage == Stage::Down)
        return;
    // Messages that had arrived whole before the host went away still count.
    if (stage == Stage::Up && !pumping)
        pump();
    stage = Stage::Down;
    reader.clear();
    retryTimer.start(options.retryIntervalMs);
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

void CIMkiva::onHandshakeTimeout()
{
    if (stage == Stage::Up)
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
