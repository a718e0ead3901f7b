#pragma once

#include "bridge/RoomEventWriter.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QStringList>

// Makes the room events of a generated crowd: chat votes naming a team,
// chatter (including near misses such as " 红队" or "红队!" that must not
// count) and gifts, from a fixed set of viewers. The same options and seed
// always give the same messages, so runs can be compared and replayed.
class CrowdGenerator
{
public:
    struct Options
    {
        QStringList teams = {QStringLiteral("红队"), QStringLiteral("蓝队")};
        QByteArrayList gifts = {QByteArrayLiteral("1450928358"), QByteArrayLiteral("1477978817")};
        int votePercent = 50; // the three shares are weights; they need not add up to 100
        int chatterPercent = 30;
        int giftPercent = 20;
        int viewers = 200;
        int maxBuy = 3; // a gift's buyCount is uniform in 1..maxBuy
        int repeatPercent = 0; // messages the host sends twice in a row
        quint64 seed = 1;
    };

    struct Message
    {
        QByteArray msgId;
        QList<RoomEventWriter::Group> groups;
        QByteArray frame;
        bool repeat = false; // send the frame a second time right after the first
    };

    explicit CrowdGenerator(const Options &options);

    // The next message, carrying the given id.
    Message next(const QByteArray &msgId);

    const QByteArrayList &nicks() const { return viewerNicks; }
    const QByteArrayList &chatterLines() const { return chatter; }

private:
    quint64 draw();
    int below(int bound);
    QByteArray pickNick();
    RoomEventWriter::Unit pickUnit();

    Options options;
    quint64 state;
    QByteArrayList teamNames;
    QByteArrayList viewerNicks;
    QByteArrayList chatter;
};
