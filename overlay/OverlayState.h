#pragma once

#include "vote/VoteRules.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// One shown team as the on-stream page draws it.
struct OverlayTeam
{
    int index = 0; // team index 1..4
    QString name; // as the streamer typed it (may be empty)
    qint64 votes = 0;
    QString colour; // the team colour as "r,g,b,a", e.g. "98,54,255,1"
};

// What the on-stream page shows: a picture of the vote, built by the window.
struct OverlayState
{
    QString question; // the announcement text (may be empty)
    QString questionColour; // "#rrggbb"
    int mode = 2; // number of teams shown (2, 3 or 4)
    QList<OverlayTeam> teams; // the shown teams, in index order
    QString lead; // the two-team lead line; empty when none
    QString countdown; // "" when no countdown is shown; otherwise the digits or "时间到"
    bool counting = false; // counting is on
    VoteRules rules; // the counting rules in force
    qint64 ignored[kIgnoredReasonCount] = {}; // chat votes the rules turned away, by reason
    QString ruleLine; // what the page says of the rules; empty with every rule off
    QString howTo; // how the audience votes, under the question; empty when nobody can yet
    QString howToShort; // the same for a narrow page
};

bool operator==(const OverlayTeam &a, const OverlayTeam &b);
inline bool operator!=(const OverlayTeam &a, const OverlayTeam &b)
{
    return !(a == b);
}
bool operator==(const OverlayState &a, const OverlayState &b);
inline bool operator!=(const OverlayState &a, const OverlayState &b)
{
    return !(a == b);
}

// Each team's share of the shown teams' votes, in the order of `teams`; all 0
// when nobody has votes. Negative totals count as 0.
QList<double> overlayShares(const OverlayState &state);

// Index (1..4) of the one team with the most votes; 0 when no team has votes
// or the top is shared, since crowning one of two equal teams would show a
// result the count does not hold.
int overlayLeader(const OverlayState &state);

// The message the page receives, compact JSON, always the whole state:
//   {"question":"…","questionColour":"#rrggbb","mode":2,"counting":true,
//    "countdown":"","lead":"…","leader":1,"total":12,
//    "teams":[{"index":1,"name":"…","votes":9,"share":0.75,"colour":"98,54,255,1"},…],
//    "rules":{"onePerViewer":false,"allowChange":false,"cooldownSeconds":0,
//             "stopAtTimeUp":false},
//    "ignored":{"one_per_viewer":0,"cooldown":0,"after_time_up":0},"ruleLine":"",
//    "howTo":"发送 红队 或 蓝队 投票","howToShort":"发送 红队/蓝队 投票"}
// "share" is votes / total (0 when total is 0), "leader" as overlayLeader().
QByteArray overlayStateJson(const OverlayState &state);

// Reads a message of overlayStateJson() back (shares and leader are derived,
// so they are not read). False, leaving `state` alone, when it is not one.
bool overlayStateFromJson(const QByteArray &json, OverlayState *state);

// Readable form for test failures.
char *toString(const OverlayState &state);
