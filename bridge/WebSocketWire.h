#pragma once

#include <QByteArray>
#include <QtGlobal>

class QUrl;

// The client's side of the WebSocket protocol (RFC 6455) that is not the
// reading of frames: the opening handshake and the frames the link writes.
namespace WebSocketWire {

enum Opcode : quint8 {
    Continuation = 0x0,
    Text = 0x1,
    Binary = 0x2,
    Close = 0x8,
    Ping = 0x9,
    Pong = 0xA,
};

// Close codes the link sends.
enum CloseCode : quint16 {
    NormalClosure = 1000,
    ProtocolError = 1002,
    TooBig = 1009,
};

// The host's answer to the opening handshake may not be longer than this.
inline constexpr int kMaxHandshakeBytes = 16 * 1024;

// A fresh Sec-WebSocket-Key: 16 random bytes in Base64.
QByteArray newKey();

// The upgrade request for `url`, as Qt's own WebSocket client writes it.
QByteArray handshakeRequest(const QUrl &url, const QByteArray &key);

// Whether `head` (the answer up to and without its empty line) accepts the
// upgrade asked for with `key`.
bool handshakeAccepted(const QByteArray &head, const QByteArray &key);

// One final frame of `opcode` carrying `payload`, masked as a client must.
QByteArray clientFrame(Opcode opcode, const QByteArray &payload);

// A close frame's payload: the code, big-endian.
QByteArray closePayload(quint16 code);

// Whether `length` bytes at `data` are well-formed UTF-8 (no overlong forms,
// no surrogates, nothing above U+10FFFF).
bool isUtf8(const char *data, qint64 length);

} // namespace WebSocketWire
