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

SendSummary::Outcome SendSummary::record(const QByteArray &frame, Reading *keep)
{
    // Read with the plug-in's own decoder, so the summary cannot drift from it.
    RoomFrame decoded;
    decoded.decode(frame.constData());
    Reading local;
    Reading &reading = keep ? *keep : local;
    reading.kind = decoded.kind();
    reading.hasMessageId = decoded.messageId() != nullptr;
    reading.messageId = decoded.messageId();
    reading.votes.clear();
    if (reading.kind == RoomFrame::Kind::RoomEvents) {
        reading.votes.reserve(std::size_t(decoded.units().size()));
        for (const RoomFrame::Unit &unit : decoded.units()) {
            const bool gift = unit.type == RoomFrame::Unit::Type::Gift;
            reading.votes.push_back({gift, QByteArray(unit.nick),
                                     QByteArray(gift ? unit.productId : unit.text), unit.count});
        }
    }
    return record(reading);
}

SendSummary::Outcome SendSummary::record(const Reading &reading)
{
    // The walk of a decoded frame: a room event takes the repeat rule before its units.
    if (reading.kind == RoomFrame::Kind::RoomEvents) {
        if (!acceptRoomEvent(reading.hasMessageId ? reading.messageId.constData() : nullptr)) {
            ++repeatCount;
            return Outcome::Repeat;
        }
        if (!countsOnly) {
            for (const Reading::Vote &vote : reading.votes) {
                if (vote.gift)
                    onGift(vote.nick.constData(), vote.key.constData(), vote.count);
                else
                    onChat(vote.nick.constData(), vote.key.constData());
            }
        }
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
