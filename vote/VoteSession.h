#pragma once

#include "vote/Countdown.h"
#include "vote/TeamRecord.h"
#include "vote/VoteCounting.h"
#include "vote/VoteStateRecord.h"
#include "vote/VoteType.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

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

    // The question the streamer asks (the announcement), as typed.
    const QString &question() const { return questionText; }
    void setQuestion(const QString &text) { questionText = text; }

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
    // The fair-vote rules of chat votes (all off by default). They change
    // only while counting is off (false otherwise); the cooldown is capped to
    // 0..3600 s and changing counts only with one vote per viewer.
    const VoteRules &rules() const { return voteRules; }
    bool setRules(const VoteRules &rules);
    // Chat votes the rules turned away since the totals were last cleared.
    qint64 ignoredCount(IgnoredReason reason) const;
    qint64 ignoredTotal() const;
    // What the board and the results page say of the rules in force, e.g.
    // "每人一票 · 已忽略 37 票": the rules' names, then the ignored votes. Empty
    // with every rule off.
    QString ruleLine() const;
    QString ruleNames() const;
    static QString ignoredText(qint64 votes);
    // Counting was stopped by time-up and has not been started since.
    bool stoppedAtTimeUp() const { return timeUpStopped; }

    // The monotonic clock, in ms, that the countdown and the cooldown read
    // (a steady clock unless replaced, e.g. by a test's).
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);
    qint64 clockMs() const { return clock(); }

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
    // type differs. Chat votes go through the rules.
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
    // A restored vote's ignored votes by reason, and each viewer's standing
    // vote under one vote per viewer (the teams, as bits), so nobody votes twice.
    void restoreRuleState(const qint64 (&ignored)[kIgnoredReasonCount],
                          const QHash<QByteArray, quint8> &standingVotes);
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
    // The same, now on the session's clock.
    Countdown::Reading startCountdown(qint32 seconds) { return startCountdown(seconds, clockMs()); }
    void stopCountdown();
    const Countdown &countdown() const { return timer; }
    // Stop at time-up: once the countdown has reached time-up, counting stops
    // (once per countdown). True when this call stopped it.
    bool stopCountingAtTimeUp();

private:
    // What the rules remember of a viewer who has cast a counted chat vote.
    struct ViewerRuleState
    {
        qint64 lastCountedMs = 0;
        quint8 teams = 0; // one vote per viewer: the teams of the standing vote (bits)
        bool counted = false;
    };

    TeamRecord &mutableTeam(int index) { return teamRecords.at(index); }
    bool leadDue() const;
    bool countdownExpired() const;
    CountResult countChatUnderRules(const CountingSettings &settings, const char *nick,
                                    unsigned chosen);
    CountResult ignore(IgnoredReason reason);

    TeamMap teamRecords;
    QString questionText;
    ProductMap catalogue;
    VoteStateRecord stateRecord;
    QByteArray lastMsgId = "none";
    LoginIds loginIds;
    Countdown timer;
    VoteRules voteRules;
    Clock clock;
    // Chat voters, by nick: one look-up per vote, only while a rule needs it.
    QHash<QByteArray, ViewerRuleState> viewerRules;
    qint64 ignoredCounts[kIgnoredReasonCount] = {};
    bool timeUpSeen = false; // this countdown's time-up has been acted on
    bool timeUpStopped = false;
};
