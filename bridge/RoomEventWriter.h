#pragma once

#include <QByteArray>
#include <QList>

// Writes messages in the host application's format: what the live-room
// simulator sends, and what tests and benchmarks feed the decoder.
namespace RoomEventWriter {

// One unit of a viewer's group.
struct Unit
{
    enum Kind { Message, SuspendMessage, Gift } kind = Message;
    QByteArray text; // chat line (Message, SuspendMessage)
    QByteArray productId; // gift (Gift)
    int buyCount = 1; // gift pieces; written only when `withBuyCount`
    bool withBuyCount = true;
};

struct Group
{
    QByteArray nick;
    QList<Unit> units;
};

Unit chat(const QByteArray &text);
Unit gift(const QByteArray &productId, int buyCount);

// A room event: "groups" is an object carrying "msgid" (when not empty) and
// one member per group.
QByteArray roomEvent(const QByteArray &msgId, const QList<Group> &groups);

// One viewer's single chat line or gift, the usual shape of a room event.
QByteArray chatEvent(const QByteArray &msgId, const QByteArray &nick, const QByteArray &text);
QByteArray giftEvent(const QByteArray &msgId, const QByteArray &nick, const QByteArray &productId,
                     int buyCount);

// The host's answer to the authentication text.
QByteArray authResult(int ec, const QByteArray &kivaid, const QByteArray &roomid,
                      const QByteArray &token);

// A JSON string literal, quotes included, with the escapes JSON needs; the
// other bytes stay as they are (a nick is compared byte for byte).
QByteArray quoted(const QByteArray &utf8);
// The same, appended to `out` without a copy in between (a journal line).
void appendQuoted(QByteArray &out, const char *bytes, qsizetype length);

} // namespace RoomEventWriter
