#pragma once

#include "bridge/RoomFrame.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include <vector>

// Tallies what reached the plug-in, read by the plug-in's own decoder: a room
// event whose msgid equals the previous one is a repeat and is dropped, a
// chat line votes for a team only when it equals the team's name, and a gift
// counts the pieces the plug-in reads.
class SendSummary : private RoomFrameReceiver
{
public:
    enum class Outcome { Counted, Repeat };

    // What a frame holds for the tally, read once and kept without its JSON:
    // what was sent is tallied again as it is delivered, without a second read.
    struct Reading
    {
        struct Vote
        {
            bool gift = false;
            QByteArray nick;
            QByteArray key; // the chat line, or the gift's product id
            int count = 0;
        };
        RoomFrame::Kind kind = RoomFrame::Kind::Ignored;
        bool hasMessageId = false;
        QByteArray messageId;
        std::vector<Vote> votes;
    };

    SendSummary(const QStringList &teams, const QByteArrayList &giftIds);

    // One frame written to the authenticated clients; `keep`, when given,
    // receives what was read from it.
    Outcome record(const QByteArray &frame, Reading *keep = nullptr);
    Outcome record(const Reading &reading);

    // Counts frames and repeats only, leaving the votes untallied: for a
    // summary whose votes nobody reads, at a fraction of the cost.
    void setCountsOnly(bool only) { countsOnly = only; }

    // A message queued for clients that all went away before it was written.
    void recordUndelivered() { ++undeliveredCount; }

    qint64 sent() const { return sentCount; }
    qint64 undelivered() const { return undeliveredCount; }
    qint64 repeats() const { return repeatCount; }
    qint64 chatter() const { return chatterCount; }
    qint64 chatVotes(const QString &team) const { return chat.value(team.toUtf8()); }
    qint64 giftPieces(const QByteArray &productId) const { return gifts.value(productId); }
    // Each viewer's chat votes for `team`, and pieces of gift `productId`.
    QMap<QString, qint64> chatVotesByNick(const QString &team) const
    {
        return byNick(votesByNick.value(team.toUtf8()));
    }
    QMap<QString, qint64> giftPiecesByNick(const QByteArray &productId) const
    {
        return byNick(piecesByNick.value(productId));
    }

    // {"sent":…,"undelivered":…,"repeats":…,"chat":{…},"gifts":{…},"chatter":…,
    //  "votesByNick":{…},"piecesByNick":{…},"firstChoice":{…},"lastChoice":{…}}
    // The choices map each chat voter to the team of their first and last vote.
    QByteArray toJson() const;

private:
    // Keyed by the UTF-8 bytes the plug-in compares: the simulator tallies a
    // flood as fast as it sends it.
    using Tally = QHash<QByteArray, qint64>;

    static QMap<QString, qint64> byNick(const Tally &tally);
    void onLogin(const RoomFrame::Login &) override {}
    void onChat(const char *nick, const char *text) override;
    void onGift(const char *nick, const char *productId, int count) override;

    QByteArrayList teams;
    qint64 sentCount = 0;
    qint64 repeatCount = 0;
    qint64 chatterCount = 0;
    qint64 undeliveredCount = 0;
    bool countsOnly = false;
    Tally chat;
    Tally gifts;
    QHash<QByteArray, Tally> votesByNick;
    QHash<QByteArray, Tally> piecesByNick;
    QHash<QByteArray, QByteArray> firstChoice;
    QHash<QByteArray, QByteArray> lastChoice;
};
