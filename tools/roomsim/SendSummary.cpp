#include "SendSummary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <climits>
#include <cmath>

namespace {

QByteArray asciiLower(QByteArray text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return text;
}

// The plug-in looks keys up without regard to ASCII case.
QJsonValue member(const QJsonValue &object, const char *key)
{
    if (!object.isObject())
        return QJsonValue(QJsonValue::Undefined);
    const QJsonObject members = object.toObject();
    const QString exact = QString::fromLatin1(key);
    if (members.contains(exact))
        return members.value(exact);
    const QByteArray wanted = asciiLower(QByteArray(key));
    for (auto it = members.begin(); it != members.end(); ++it) {
        if (asciiLower(it.key().toUtf8()) == wanted)
            return it.value();
    }
    return QJsonValue(QJsonValue::Undefined);
}

// Object members and array items alike, as the plug-in walks them.
QList<QJsonValue> children(const QJsonValue &value)
{
    QList<QJsonValue> out;
    if (value.isArray()) {
        const QJsonArray items = value.toArray();
        for (const QJsonValue &item : items)
            out.append(item);
    } else if (value.isObject()) {
        const QJsonObject members = value.toObject();
        for (auto it = members.begin(); it != members.end(); ++it)
            out.append(it.value());
    }
    return out;
}

// The plug-in reads buyCount as an int cut toward zero; true reads as 1 and
// any other non-number as 0; a missing one means a single piece.
qint64 buyCount(const QJsonValue &value)
{
    if (value.isUndefined())
        return 1;
    if (value.isBool())
        return value.toBool() ? 1 : 0;
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (number >= double(INT_MAX))
        return INT_MAX;
    if (number <= double(INT_MIN))
        return INT_MIN;
    return qint64(std::trunc(number));
}

// The plug-in reads strings as C strings: an escaped NUL ends them.
QString cString(const QJsonValue &value)
{
    const QString text = value.toString();
    const int end = text.indexOf(QChar(0));
    return end < 0 ? text : text.left(end);
}

QJsonObject byNick(const QMap<QString, qint64> &counts)
{
    QJsonObject out;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        out.insert(it.key(), double(it.value()));
    return out;
}

} // namespace

SendSummary::SendSummary(const QStringList &teamNames, const QByteArrayList &giftIds)
{
    for (const QString &team : teamNames) {
        if (!teams.contains(team))
            teams.append(team);
        chat.insert(team, 0);
    }
    for (const QByteArray &id : giftIds)
        gifts.insert(id, 0);
}

SendSummary::Outcome SendSummary::record(const QByteArray &frame)
{
    const QJsonDocument document = QJsonDocument::fromJson(frame);
    const QJsonValue root = document.isObject() ? QJsonValue(document.object()) : QJsonValue();
    const QJsonValue type = member(root, "type");
    if (!type.isString() || type.toString() != QLatin1String("group")) {
        ++sentCount;
        return Outcome::Counted;
    }
    const QJsonValue groups = member(root, "groups");
    if (groups.isUndefined()) {
        ++sentCount;
        return Outcome::Counted;
    }
    const QJsonValue msgId = member(groups, "msgid");
    if (msgId.isString()) {
        const QByteArray id = cString(msgId).toUtf8();
        if (id == lastMsgId) {
            ++repeatCount;
            return Outcome::Repeat;
        }
        lastMsgId = id;
    }
    ++sentCount;

    for (const QJsonValue &group : children(groups)) {
        const QJsonValue nickValue = member(group, "nick");
        const QString nick = nickValue.isString() ? cString(nickValue) : QString();
        for (const QJsonValue &unit : children(member(group, "units"))) {
            const QJsonValue unitType = member(unit, "type");
            if (!unitType.isString())
                continue;
            const QString kind = unitType.toString();
            if (kind == QLatin1String("Message") || kind == QLatin1String("SuspendMessage")) {
                const QByteArray key = kind == QLatin1String("Message")
                    ? QByteArrayLiteral("Msg.Message.data")
                    : QByteArrayLiteral("Msg.SuspendMessage.data");
                const QJsonValue data = member(unit, key.constData());
                const QJsonValue text = member(data, "text");
                if (data.isObject() && text.isString())
                    countText(nick, cString(text));
            } else if (kind == QLatin1String("Gift")) {
                const QJsonValue data = member(unit, "Pay.Gift.data");
                const QJsonValue productId = member(data, "product_id");
                if (data.isObject() && productId.isString())
                    countGift(nick, cString(productId).toUtf8(),
                              buyCount(member(data, "buyCount")));
            }
        }
    }
    return Outcome::Counted;
}

void SendSummary::countText(const QString &nick, const QString &text)
{
    if (!teams.contains(text)) {
        ++chatterCount;
        return;
    }
    ++chat[text];
    ++votesByNick[text][nick];
}

void SendSummary::countGift(const QString &nick, const QByteArray &productId, qint64 pieces)
{
    gifts[productId] += pieces;
    piecesByNick[productId][nick] += pieces;
}

QByteArray SendSummary::toJson() const
{
    QJsonObject chatObject;
    for (auto it = chat.begin(); it != chat.end(); ++it)
        chatObject.insert(it.key(), double(it.value()));
    QJsonObject giftObject;
    for (auto it = gifts.begin(); it != gifts.end(); ++it)
        giftObject.insert(QString::fromUtf8(it.key()), double(it.value()));
    QJsonObject votesObject;
    for (auto it = votesByNick.begin(); it != votesByNick.end(); ++it)
        votesObject.insert(it.key(), byNick(it.value()));
    QJsonObject piecesObject;
    for (auto it = piecesByNick.begin(); it != piecesByNick.end(); ++it)
        piecesObject.insert(QString::fromUtf8(it.key()), byNick(it.value()));

    QJsonObject summary;
    summary.insert(QStringLiteral("sent"), double(sentCount));
    summary.insert(QStringLiteral("repeats"), double(repeatCount));
    summary.insert(QStringLiteral("chat"), chatObject);
    summary.insert(QStringLiteral("gifts"), giftObject);
    summary.insert(QStringLiteral("chatter"), double(chatterCount));
    summary.insert(QStringLiteral("votesByNick"), votesObject);
    summary.insert(QStringLiteral("piecesByNick"), piecesObject);
    return QJsonDocument(summary).toJson(QJsonDocument::Compact);
}
