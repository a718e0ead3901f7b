#pragma once

#include "vote/Countdown.h"
#include "vote/TeamRecord.h"
#include "vote/VoteCounting.h"
#include "vote/VoteStateRecord.h"
#include "vote/VoteType.h"

#include <QByteArray>
#include <QString>

// The streamer's login in the live room, as the host last reported it.
struct LoginIds
{
    QByteArray kivaid;
    QByteArray roomid;
    QByteArray token;
};

// One vote from start to end, without widgets: the four teams with their
// totals, voters and gifts, the room's gift catalogue, the settings record,
// the room link's last message id and login, and the countdown. Each change
// returns what it changed, so the window repaints just that.
class VoteSession
{
public:
    VoteSession();

    const TeamMap &teams() const { return teamRecords; }
    // Team `index` (1..4).
    const TeamRecord &team(int index) const { return teamRecords.at(index); }
    const ProductMap &products() const { return catalogue; }
    const VoteStateRecord &state() const { return stateRecord; }
    const LoginIds &login() const { return loginIds; }
    const QByteArray &lastMessageId() const { return lastMsgId; }

    // Settings.
    VoteType voteType() const;
    void setVoteType(VoteType type);
    // Number of teams shown: 2, 3 or 4.
    int voteMode() const;
    void setVoteMode(int teams);
    bool moreSettingsShown() const;
    void setMoreSettingsShown(bool shown);
    // The announcement colour, packed as red * 65536 + green * 256 + blue.
    qint32 noteColor() const;
    void setNoteColor(int red, int green, int blue);
    // The fair-vote rules of chat votes (all off by default).
    const VoteRules &rules() const { return voteRules; }
    void setRules(const VoteRules &rules) { voteRules = rules; }

    // Counting on and off. Counting starts only when every shown team has a
    // name; otherwise nothing changes and the first unnamed team is returned.
    bool isCounting() const;
    int firstUnnamedShownTeam() const;
    bool startCounting();
    void stopCounting();

    // Teams.
    void setTeamName(int index, const QByteArray &utf8);
    // Writes the default gift of the team's index into it.
    void applyDefaultGift(int index);
    // The gift chosen for a team from the catalogue entry `productId`.
    void chooseGift(int index, const QByteArray &productId, const ProductRecord &entry);

    // Votes from the room; nothing counts while counting is off or the vote
    // type differs.
    CountResult countChat(const char *nick, const char *text);
    CountResult countGift(const char *nick, const char *productId, int buyTimes);
    // Manual corrections of a team's total (never of its voters). Subtracting
    // stops at 0. True when the two-team lead line is due for a refresh.
    bool addVotes(int index, qint64 votes);
    bool subtractVotes(int index, qint64 votes);
    void clearTotals();
    void clearVoters();
    // A team's total and voters as a record of the vote gives them back.
    void restoreCount(int index, qint64 votes, VoterRanking voters);
    // "【leader】领先【other】margin票" for teams 1 and 2.
    QString leadText() const;

    // The gift catalogue: the first entry for an id stays. False when the id
    // is empty or already known.
    bool addProduct(const QByteArray &productId, const ProductRecord &entry);
    bool hasProduct(const QByteArray &productId) const;

    // The room link.
    // The repeat rule: false for a room event carrying the last accepted id.
    bool acceptRoomEvent(const char *msgId);
    void setLogin(const QByteArray &kivaid, const QByteArray &roomid, const QByteArray &token);

    // The countdown display ("start_time_meter" is on from start to stop).
    bool countdownOn() const;
    Countdown::Reading startCountdown(qint32 seconds, qint64 nowMs);
    void stopCountdown();
    const Countdown &countdown() const { return timer; }

private:
    TeamRecord &mutableTeam(int index) { return teamRecords.at(index); }
    bool leadDue() const;

    TeamMap teamRecords;
    ProductMap catalogue;
    VoteStateRecord stateRecord;
    QByteArray lastMsgId = "none";
    LoginIds loginIds;
    Countdown timer;
    VoteRules voteRules;
};
