#pragma once

#include "vote/VoterRanking.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <map>

// One gift of the room's catalogue.
struct ProductRecord
{
    QString name;
    QByteArray imageUrl;
    QByteArray imageDir;
    QByteArray priceText;
    qint32 price = 0; // in the platform's coins
};

// One team of the vote. All four exist for the life of the window, shown or not.
struct TeamRecord
{
    qint64 votes = 0;
    QByteArray name; // UTF-8, what a chat line must equal to vote for the team
    QByteArray giftId; // the product id whose gifts vote for the team
    ProductRecord gift;
    VoterRanking voters; // votes given to this team by each viewer, highest first
};

// Team index 1..4 -> record, walked in ascending index order.
using TeamMap = std::map<int, TeamRecord>;

// Product id -> catalogue entry, in byte-wise id order.
using ProductMap = std::map<QByteArray, ProductRecord>;

inline constexpr int kTeamCount = 4;
