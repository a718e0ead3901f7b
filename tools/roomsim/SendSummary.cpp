#include "SendSummary.h"

#include "bridge/RoomFrame.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject byNick(const QMap<QString, qint64> &counts)
{
    QJsonObject out;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        out.insert(it.key(), double(it.value()));
    return out;
}

QJsonObject byNick(const QMap<QString, QString> &teams)
{
    QJsonObject out;
    for (auto it = teams.begin(); it != teams.end(); ++it)
        out.insert(it.key(), it.value());
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
    countText(QString::fromUtf8(nick), QString::fromUtf8(text));
}

void SendSummary::onGift(const char *nick, const char *productId, int count)
{
    countGift(QString::fromUtf8(nick), QByteArray(productId), count);
}

void SendSummary::countText(const QString &nick, const QString &text)
{
    if (!teams.contains(text)) {
        ++chatterCount;
        return;
    }
    ++chat[text];
    ++votesByNick[text][nick];
    if (!firstChoice.contains(nick))
        firstChoice.insert(nick, text);
    lastChoice.insert(nick, text);
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
    summary.insert(QStringLiteral("firstChoice"), byNick(firstChoice));
    summary.insert(QStringLiteral("lastChoice"), byNick(lastChoice));
    return QJsonDocument(summary).toJson(QJsonDocument::Compact);
}
