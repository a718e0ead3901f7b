#pragma once

#include "vote/TeamRecord.h"
#include "vote/VoteRules.h"
#include "vote/VoteType.h"

#include <QString>

class VoteStateRecord;

// The settings counting depends on, read at the moment a message arrives.
struct CountingSettings
{
    VoteType voteType = VoteType::Gift;
    bool counting = false;
    int voteMode = 2; // number of teams shown
    int numberedTeams = 0; // vote by number: the teams "1".."N" name; 0 when off

    static CountingSettings read(const VoteStateRecord &state);
};

// What a counted message changed, so the caller refreshes just that.
struct CountResult
{
    unsigned changedTeams = 0; // bit `1 << index` per team that received votes
    bool refreshLead = false; // the two-team lead line is due for a refresh
    VoterRanking::Change voterRows[kTeamCount + 1]; // per team index: the rows that moved
    // A chat vote the rules turned away (nothing changed), and why.
    IgnoredReason ignored = IgnoredReason::None;
    // A changed vote (one vote per viewer, changing allowed): the team it left, else 0.
    int movedFrom = 0;
    // The countdown reached time-up under stop at time-up: counting stopped
    // before this message was looked at.
    bool stoppedAtTimeUp = false;

    bool changed(int index) const { return changedTeams & (1u << index); }
};

// The counting rules, free of widgets.
namespace VoteCounting {

// The price of one vote: the lowest positive gift price among the teams the
// mode shows, capped at 9999 (also 9999 for a mode other than 2, 3 or 4).
qint32 votePrice(const TeamMap &teams, int voteMode);

// Votes one gift of `price` is worth: price / votePrice, rounded half up.
// A price of 0 or below is worth nothing.
qint64 giftUnit(qint64 price, qint64 votePrice);

// Adds without wrapping around; totals stop at the largest value.
qint64 addVotes(qint64 total, qint64 votes);

// The teams (bit `1 << index`) whose name a chat line equals exactly, and
// the team it names by number ("1" or "１" to the `numberedTeams`th).
unsigned chatTeams(const TeamMap &teams, const char *text, int numberedTeams = 0);

// One chat vote of `nick` for each team of `chosen` (bits `1 << index`).
CountResult creditChat(TeamMap &teams, const CountingSettings &settings, const QByteArray &nick,
                       unsigned chosen);

// A chat line votes once for every team whose name it equals exactly.
CountResult countText(TeamMap &teams, const CountingSettings &settings, const char *nick,
                      const char *text);

// A gift event votes for every team whose gift it is, weighted by price.
CountResult countGift(TeamMap &teams, const CountingSettings &settings, const char *nick,
                      const char *productId, int buyTimes);

// "【leader】领先【other】margin票" for two teams' names and totals (the
// first leads a tie).
QString leadText(const QByteArray &firstName, qint64 firstVotes, const QByteArray &secondName,
                 qint64 secondVotes);

} // namespace VoteCounting
