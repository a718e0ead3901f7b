#include "bridge/RoomEventWriter.h"

namespace RoomEventWriter {

void appendQuoted(QByteArray &out, const char *bytes, qsizetype length)
{
    out += '"';
    qsizetype plain = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(bytes + plain, int(i - plain));
        plain = i + 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default: {
            static const char kHex[] = "0123456789abcdef";
            const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
            out.append(escape, 6);
        }
        }
    }
    out.append(bytes + plain, int(length - plain));
    out += '"';
}

QByteArray quoted(const QByteArray &utf8)
{
    QByteArray out;
    out.reserve(utf8.size() + 2);
    appendQuoted(out, utf8.constData(), utf8.size());
    return out;
}

Unit chat(const QByteArray &text)
{
    Unit unit;
    unit.kind = Unit::Message;
    unit.text = text;
    return unit;
}

Unit gift(const QByteArray &productId, int buyCount)
{
    Unit unit;
    unit.kind = Unit::Gift;
    unit.productId = productId;
    unit.buyCount = buyCount;
    return unit;
}

namespace {

QByteArray unitJson(const Unit &unit)
{
    switch (unit.kind) {
    case Unit::Message:
        return "{\"type\":\"Message\",\"Msg.Message.data\":{\"text\":" + quoted(unit.text) + "}}";
    case Unit::SuspendMessage:
        return "{\"type\":\"SuspendMessage\",\"Msg.SuspendMessage.data\":{\"text\":"
            + quoted(unit.text) + "}}";
    case Unit::Gift: {
        QByteArray json =
            "{\"type\":\"Gift\",\"Pay.Gift.data\":{\"product_id\":" + quoted(unit.productId);
        if (unit.withBuyCount)
            json += ",\"buyCount\":" + QByteArray::number(unit.buyCount);
        return json + "}}";
    }
    }
    return QByteArray();
}

} // namespace

QByteArray roomEvent(const QByteArray &msgId, const QList<Group> &groups)
{
    QByteArray json = "{\"type\":\"group\",\"groups\":{";
    bool first = true;
    if (!msgId.isEmpty()) {
        json += "\"msgid\":" + quoted(msgId);
        first = false;
    }
    int number = 0;
    for (const Group &group : groups) {
        if (!first)
            json += ',';
        first = false;
        json += "\"g" + QByteArray::number(number++) + "\":{\"nick\":" + quoted(group.nick)
            + ",\"units\":[";
        for (int i = 0; i < group.units.size(); ++i) {
            if (i)
                json += ',';
            json += unitJson(group.units.at(i));
        }
        json += "]}";
    }
    return json + "}}";
}

QByteArray chatEvent(const QByteArray &msgId, const QByteArray &nick, const QByteArray &text)
{
    return roomEvent(msgId, {Group {nick, {chat(text)}}});
}

QByteArray giftEvent(const QByteArray &msgId, const QByteArray &nick, const QByteArray &productId,
                     int buyCount)
{
    return roomEvent(msgId, {Group {nick, {gift(productId, buyCount)}}});
}

QByteArray authResult(int ec, const QByteArray &kivaid, const QByteArray &roomid,
                      const QByteArray &token)
{
    return "{\"type\":\"sauth_ret\",\"data\":{\"ec\":" + QByteArray::number(ec) + ",\"kivaid\":"
        + quoted(kivaid) + ",\"roomid\":" + quoted(roomid) + ",\"token\":" + quoted(token) + "}}";
}

} // namespace RoomEventWriter
