#pragma once

#include <QByteArray>
#include <QtGlobal>

// Reads the host's WebSocket frames (RFC 6455) out of the bytes of the
// connection, as they are handed to it: whole text messages, pings and the
// close, and a refusal for what breaks the protocol or the limits. It waits
// for the rest of a frame as long as it takes: a host may stop mid-frame
// (busy, or held back by TCP), and that is no reason to end the link.
class WebSocketFrameReader
{
public:
    struct Item
    {
        enum Kind {
            None, // more bytes are needed
            Text, // a whole text message, UTF-8
            Ping,
            Close, // the host closes the link
            Refused, // against the protocol or the limits: the link must end
        } kind = None;
        QByteArray payload; // the message, or the ping's data
        quint16 closeCode = 0; // Close: the host's code (1005 when none); Refused: ours
    };

    WebSocketFrameReader(qint64 maxFrameBytes, qint64 maxMessageBytes);

    // Bytes of the connection, in order.
    void append(const QByteArray &bytes);
    // The next item in what was appended. A frame is refused as soon as its
    // header shows it too long, before its payload is waited for. Binary
    // messages and pongs are passed over; so is a text message that is not
    // UTF-8, so that the rest still counts.
    Item next();

    // Bytes appended and not yet taken as items (a message being assembled included).
    qint64 buffered() const { return qint64(buffer.size()) - start + message.size(); }
    // Forgets everything (a new link).
    void clear();

private:
    qint64 maxFrame;
    qint64 maxMessage;
    QByteArray buffer;
    qint64 start = 0; // of the unread bytes in `buffer`
    // A text or binary message that came in several frames, while it lasts.
    bool inMessage = false;
    bool messageIsText = false;
    qint64 messageBytes = 0;
    QByteArray message; // a text message's frames so far
};
