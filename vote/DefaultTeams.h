#pragma once

#include "vote/TeamRecord.h"

// What each team index starts with: its gift and its fixed colour.
struct DefaultTeam
{
    const char *giftId;
    const char *giftName;
    const char *priceText;
    qint32 price;
    const char *colour; // "r,g,b,a", placed inside rgba( ) by the styles
    const char *image; // the gift's compiled-in picture
};

// Row of team `index` (1..4); null for any other index.
const DefaultTeam *defaultTeam(int index);

// The longest team name (in UTF-16 units, as the name edits count) with
// `teams` teams shown: the columns narrow as teams are added.
inline int maxTeamNameLength(int teams)
{
    return teams == 2 ? 8 : teams == 3 ? 5 : 2;
}

// Writes the default gift of team `index` into `team`.
void applyDefaultGift(TeamRecord &team, int index);
