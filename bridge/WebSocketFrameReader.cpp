#include "bridge/WebSocketFrameReader.h"

#include "bridge/WebSocketWire.h"

using namespace WebSocketWire;

namespace {

WebSocketFrameReader::Item refusal(quint16 code)
{
    WebSocketFrameReader::Item item;
    item.kind = WebSocketFrameReader::Item::Refused;
    item.closeCode = code;
    return item;
}

} // namespace

WebSocketFrameReader::WebSocketFrameReader(qint64 maxFrameBytes, qint64 maxMessageBytes)
    : maxFrame(maxFrameBytes)
    , maxMessage(maxMessageBytes)
{}

void WebSocketFrameReader::append(const QByteArray &bytes)
{
    // Only the start of a frame still waiting for its end is moved.
    if (start > 0) {
        buffer.remove(0, int(start));
        start = 0;
    }
    buffer.append(bytes);
}

void WebSocketFrameReader::clear()
{
    buffer.clear();
    start = 0;
    inMessage = false;
    message.clear();
}

WebSocketFrameReader::Item WebSocketFrameReader::next()
{
    for (;;) {
        const qint64 available = buffer.size() - start;
        if (available < 2)
            return Item();
        const auto *head = reinterpret_cast<const unsigned char *>(buffer.constData() + start);
        const bool final = head[0] & 0x80;
        const int opcode = head[0] & 0x0f;
        const bool masked = head[1] & 0x80;
        quint64 length = head[1] & 0x7f;
        qint64 headerBytes = 2;
        const bool control = opcode >= Close;
        if ((head[0] & 0x70) != 0 // no extension was agreed
            || (opcode > Binary && opcode < Close) || opcode > Pong
            || (control && (!final || length > 125)))
            return refusal(ProtocolError);
        if (length == 126) {
            if (available < 4)
                return Item();
            length = quint64(head[2]) << 8 | head[3];
            headerBytes = 4;
        } else if (length == 127) {
            if (available < 10)
                return Item();
            length = 0;
            for (int i = 2; i < 10; ++i)
                length = length << 8 | head[i];
            headerBytes = 10;
        }
        // Refused from its header: a longer frame is never waited for, nor held.
        if (length > quint64(maxFrame))
            return refusal(TooBig);
        if (masked)
            headerBytes += 4;
        if (available < headerBytes + qint64(length))
            return Item();

        QByteArray unmasked;
        const char *payload = buffer.constData() + start + headerBytes;
        if (masked) {
            const char *key = payload - 4;
            unmasked.resize(int(length));
            for (quint64 i = 0; i < length; ++i)
                unmasked[int(i)] = char(payload[i] ^ key[i % 4]);
            payload = unmasked.constData();
        }
        start += headerBytes + qint64(length);
        const int size = int(length);

        switch (opcode) {
        case Ping: {
            Item item;
            item.kind = Item::Ping;
            item.payload = QByteArray(payload, size);
            return item;
        }
        case Close: {
            Item item;
            item.kind = Item::Close;
            item.closeCode =
                size >= 2 ? quint16(quint8(payload[0]) << 8 | quint8(payload[1])) : quint16(1005);
            return item;
        }
        case Pong:
            continue;
        case Text:
        case Binary:
            if (inMessage)
                return refusal(ProtocolError);
            if (final) {
                if (opcode == Text && isUtf8(payload, size)) {
                    Item item;
                    item.kind = Item::Text;
                    item.payload = QByteArray(payload, size);
                    return item;
                }
                continue;
            }
            inMessage = true;
            messageIsText = opcode == Text;
            messageBytes = size;
            message = messageIsText ? QByteArray(payload, size) : QByteArray();
            continue;
        default: // Continuation
            if (!inMessage)
                return refusal(ProtocolError);
            messageBytes += size;
            if (messageBytes > maxMessage)
                return refusal(TooBig);
            if (messageIsText)
                message.append(payload, size);
            if (!final)
                continue;
            inMessage = false;
            Item item;
            item.payload.swap(message);
            if (messageIsText && isUtf8(item.payload.constData(), item.payload.size())) {
                item.kind = Item::Text;
                return item;
            }
            continue;
        }
    }
}
