#pragma once

#include "bridge/RoomFrame.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QMap>
#include <QString>
#include <QStringList>

// Tallies what reached the plug-in, read by the plug-in's own decoder: a room
// event whose msgid equals the previous one is a repeat and is dropped, a
// chat line votes for a team only when it equals the team's name, and a gift
// counts the pieces the plug-in reads.
class SendSummary : private RoomFrameReceiver
{
public:
    enum class Outcome { Counted, Repeat };

    SendSummary(const QStringList &teams, const QByteArrayList &giftIds);

    // One frame written to the authenticated clients.
    Outcome record(const QByteArray &frame);

    qint64 sent() const { return sentCount; }
    qint64 repeats() const { return repeatCount; }
    qint64 chatter() const { return chatterCount; }
    qint64 chatVotes(const QString &team) const { return chat.value(team); }
    qint64 giftPieces(const QByteArray &productId) const { return gifts.value(productId); }

    // {"sent":…,"repeats":…,"chat":{…},"gifts":{…},"chatter":…,
    //  "votesByNick":{…},"piecesByNick":{…},"firstChoice":{…},"lastChoice":{…}}
    // The choices map each chat voter to the team of their first and last vote.
    QByteArray toJson() const;

private:
    void onLogin(const RoomFrame::Login &) override {}
    void onChat(const char *nick, const char *text) override;
    void onGift(const char *nick, const char *productId, int count) override;
    void countText(const QString &nick, const QString &text);
    void countGift(const QString &nick, const QByteArray &productId, qint64 pieces);

    QStringList teams;
    qint64 sentCount = 0;
    qint64 repeatCount = 0;
    qint64 chatterCount = 0;
    QMap<QString, qint64> chat;
    QMap<QByteArray, qint64> gifts;
    QMap<QString, QMap<QString, qint64>> votesByNick;
    QMap<QByteArray, QMap<QString, qint64>> piecesByNick;
    QMap<QString, QString> firstChoice;
    QMap<QString, QString> lastChoice;
};
