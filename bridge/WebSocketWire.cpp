#include "bridge/WebSocketWire.h"

#include <QCryptographicHash>
#include <QList>
#include <QRandomGenerator>
#include <QUrl>

#include <cstring>

namespace WebSocketWire {

namespace {

const char kAcceptGuid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

// The value of header `name` (compared without case) in `head`; null when absent.
QByteArray headerValue(const QList<QByteArray> &lines, const QByteArray &name)
{
    for (const QByteArray &line : lines) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

} // namespace

QByteArray newKey()
{
    quint32 random[4];
    QRandomGenerator::global()->fillRange(random);
    return QByteArray(reinterpret_cast<const char *>(random), sizeof random).toBase64();
}

QByteArray handshakeRequest(const QUrl &url, const QByteArray &key)
{
    QByteArray resource = url.path(QUrl::FullyEncoded).toUtf8();
    if (url.hasQuery())
        resource += '?' + url.query(QUrl::FullyEncoded).toUtf8();
    if (resource.isEmpty())
        resource = "/";
    const QByteArray host =
        url.toString(QUrl::RemoveScheme | QUrl::RemoveUserInfo | QUrl::RemovePath
                     | QUrl::RemoveQuery | QUrl::RemoveFragment)
            .mid(2)
            .toUtf8();
    return "GET " + resource + " HTTP/1.1\r\nHost: " + host
        + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + key
        + "\r\nSec-WebSocket-Version: 13\r\n\r\n";
}

bool handshakeAccepted(const QByteArray &head, const QByteArray &key)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> status = lines.value(0).trimmed().split(' ');
    if (status.size() < 2 || !status.at(0).startsWith("HTTP/1.") || status.at(1) != "101")
        return false;
    const QByteArray expected =
        QCryptographicHash::hash(QByteArray(key + kAcceptGuid), QCryptographicHash::Sha1)
            .toBase64();
    return headerValue(lines, "upgrade").toLower() == "websocket"
        && headerValue(lines, "connection").toLower().contains("upgrade")
        && headerValue(lines, "sec-websocket-accept") == expected;
}

QByteArray clientFrame(Opcode opcode, const QByteArray &payload)
{
    QByteArray frame;
    frame.reserve(payload.size() + 14);
    frame.append(char(0x80 | opcode));
    const qint64 length = payload.size();
    if (length < 126) {
        frame.append(char(0x80 | length));
    } else if (length <= 0xffff) {
        frame.append(char(0x80 | 126));
        for (int shift = 8; shift >= 0; shift -= 8)
            frame.append(char((length >> shift) & 0xff));
    } else {
        frame.append(char(0x80 | 127));
        for (int shift = 56; shift >= 0; shift -= 8)
            frame.append(char((length >> shift) & 0xff));
    }
    const quint32 mask = QRandomGenerator::global()->generate();
    const char key[4] = {char(mask >> 24), char(mask >> 16), char(mask >> 8), char(mask)};
    frame.append(key, 4);
    for (qint64 i = 0; i < length; ++i)
        frame.append(char(payload.at(int(i)) ^ key[i % 4]));
    return frame;
}

QByteArray closePayload(quint16 code)
{
    QByteArray payload;
    payload.append(char(code >> 8));
    payload.append(char(code & 0xff));
    return payload;
}

bool isUtf8(const char *data, qint64 length)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    qint64 i = 0;
    while (i < length) {
        // Eight ASCII bytes at a time: the host's JSON is mostly ASCII.
        if (length - i >= 8) {
            quint64 word;
            std::memcpy(&word, bytes + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xbf;
        if (lead >= 0xc2 && lead <= 0xdf) {
            more = 1;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            more = 2;
            if (lead == 0xe0)
                low = 0xa0; // overlong
            else if (lead == 0xed)
                high = 0x9f; // surrogates
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            more = 3;
            if (lead == 0xf0)
                low = 0x90; // overlong
            else if (lead == 0xf4)
                high = 0x8f; // above U+10FFFF
        } else {
            return false;
        }
        if (length - i <= more)
            return false;
        if (bytes[i + 1] < low || bytes[i + 1] > high)
            return false;
        for (int k = 2; k <= more; ++k) {
            if ((bytes[i + k] & 0xc0) != 0x80)
                return false;
        }
        i += more + 1;
    }
    return true;
}

} // namespace WebSocketWire
