#include "SendSummary.h"

#include "bridge/RoomFrame.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <type_traits>

namespace {

// A text of the frame being read, looked up without a copy.
QByteArray borrowed(const char *text)
{
    return QByteArray::fromRawData(text, int(qstrlen(text)));
}

// Adds `amount` to the entry of `key`, copying the key only when it is new:
// a borrowed key must not stay in the table.
void add(QHash<QByteArray, qint64> &tally, const char *key, qint64 amount)
{
    auto it = tally.find(borrowed(key));
    if (it == tally.end())
        it = tally.insert(QByteArray(key), 0);
    *it += amount;
}

template<typename Value> QJsonObject toObject(const QHash<QByteArray, Value> &table)
{
    QJsonObject out;
    for (auto it = table.begin(); it != table.end(); ++it) {
        if constexpr (std::is_same_v<Value, qint64>)
            out.insert(QString::fromUtf8(it.key()), double(it.value()));
        else if constexpr (std::is_same_v<Value, QByteArray>)
            out.insert(QString::fromUtf8(it.key()), QString::fromUtf8(it.value()));
        else
            out.insert(QString::fromUtf8(it.key()), toObject(it.value()));
    }
    return out;
}

} // namespace

SendSummary::SendSummary(const QStringList &teamNames, const QByteArrayList &giftIds)
{
    for (const QString &team : teamNames) {
        const QByteArray name = team.toUtf8();
        if (!teams.contains(name))
            teams.append(name);
        chat.insert(name, 0);
    }
    for (const QByteArray &id : giftIds)
        gifts.insert(id, 0);
}

SendSummary::Outcome SendSummary::record(const QByteArray &frame)
{
    // Read with the plug-in's own decoder and walk, so the summary cannot drift from it.
    RoomFrame decoded;
    decoded.decode(frame.constData());
    if (applyRoomFrame(decoded, *this) == RoomWalk::Repeat) {
        ++repeatCount;
        return Outcome::Repeat;
    }
    ++sentCount;
    return Outcome::Counted;
}

void SendSummary::onChat(const char *nick, const char *text)
{
    const int index = teams.indexOf(borrowed(text));
    if (index < 0) {
        ++chatterCount;
        return;
    }
    const QByteArray &team = teams.at(index);
    ++chat[team];
    add(votesByNick[team], nick, 1);
    const auto first = firstChoice.constFind(borrowed(nick));
    if (first == firstChoice.constEnd()) {
        firstChoice.insert(QByteArray(nick), team);
        lastChoice.insert(QByteArray(nick), team);
    } else {
        *lastChoice.find(borrowed(nick)) = team;
    }
}

void SendSummary::onGift(const char *nick, const char *productId, int count)
{
    add(gifts, productId, count);
    auto it = piecesByNick.find(borrowed(productId));
    if (it == piecesByNick.end())
        it = piecesByNick.insert(QByteArray(productId), Tally());
    add(*it, nick, count);
}

QMap<QString, qint64> SendSummary::byNick(const Tally &tally)
{
    QMap<QString, qint64> out;
    for (auto it = tally.begin(); it != tally.end(); ++it)
        out.insert(QString::fromUtf8(it.key()), it.value());
    return out;
}

QByteArray SendSummary::toJson() const
{
    QJsonObject summary;
    summary.insert(QStringLiteral("sent"), double(sentCount));
    summary.insert(QStringLiteral("undelivered"), double(undeliveredCount));
    summary.insert(QStringLiteral("repeats"), double(repeatCount));
    summary.insert(QStringLiteral("chat"), toObject(chat));
    summary.insert(QStringLiteral("gifts"), toObject(gifts));
    summary.insert(QStringLiteral("chatter"), double(chatterCount));
    summary.insert(QStringLiteral("votesByNick"), toObject(votesByNick));
    summary.insert(QStringLiteral("piecesByNick"), toObject(piecesByNick));
    summary.insert(QStringLiteral("firstChoice"), toObject(firstChoice));
    summary.insert(QStringLiteral("lastChoice"), toObject(lastChoice));
    return QJsonDocument(summary).toJson(QJsonDocument::Compact);
}
