#pragma once

#include "vote/TeamRecord.h"
#include "vote/VoteRules.h"
#include "vote/VoteType.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QtGlobal>

// A vote's record: one journal file per vote in the records folder, one JSON
// object per line, appended as the vote happens. Every line carries the
// format version "v", the local time with milliseconds and its "kind".
namespace VoteRecordFormat {
inline constexpr int kVersion = 1;
inline constexpr char kJournalSuffix[] = ".jsonl";
// Votes kept in the folder; the oldest go first.
inline constexpr int kKeptVotes = 200;
} // namespace VoteRecordFormat

enum class RecordKind : int {
    Unknown = 0,
    Start, // counting started: the settings in force
    Stop, // counting stopped: the settings in force
    Carry, // what the board held when the record opened (a viewer's tally, or a total)
    Chat, // a counted chat vote
    Gift, // a counted gift
    Change, // a viewer's vote left this team (one vote per viewer, changing allowed)
    Add, // a manual addition
    Subtract, // a manual subtraction
    ClearTotals,
    ClearVoters,
    CountdownStart,
    CountdownStop,
    TimeUp,
    Ignored, // a chat vote the rules turned away
    End, // the record ends cleanly (totals cleared, window closed, another vote restored)
};

// The vote type's name in the journal and the summary.
inline const char *voteTypeName(VoteType type)
{
    return type == VoteType::Text ? "chat" : "gift";
}

// The kind's name in the journal and the CSV ("start", "clear_totals", …).
const char *recordKindName(RecordKind kind);
RecordKind recordKindFromName(const char *name, int length = -1);

// One team as the settings of a start or stop name it.
struct RecordTeam
{
    QByteArray name;
    QByteArray giftId;
    QString giftName;
    QByteArray priceText;
    QByteArray imageDir;
    qint32 price = 0;
};

// What a start or stop records of the window's settings.
struct RecordSettings
{
    QString question;
    int mode = 2;
    VoteType voteType = VoteType::Gift;
    VoteRules rules;
    qint32 noteColor = 1579032;
    RecordTeam teams[kTeamCount + 1]; // by team index 1..4
};

// One row of a record as read back, as the CSV export writes it: a journal
// line, except that a clear of the totals becomes one row per team it took
// votes from.
struct RecordRow
{
    RecordKind kind = RecordKind::Unknown;
    QByteArray time; // valid while the row is visited
    QByteArray viewer; // empty when the row names none
    bool hasViewer = false;
    int team = 0; // 1..4; 0 when the row names none
    QByteArray productId;
    qint64 pieces = -1; // -1 when not a gift
    bool hasVotes = false; // the row changes the team's total by `votes`
    qint64 votes = 0;
    qint64 teamTotal = 0; // the team's total after the row (when hasVotes)
    IgnoredReason reason = IgnoredReason::None;
};

// A record re-read: the vote exactly as the session that wrote it held it.
struct RecordedVote
{
    QString id;
    RecordSettings settings; // the newest start or stop
    TeamMap teams; // totals and voters (in the board's order)
    QByteArray started; // time of the first line
    QByteArray ended; // time of the last line
    bool cleanEnd = false; // the last line is an "end"
    bool leadShown = false; // the two-team lead line showed at the end
    bool team4GiftLabel = false; // team 4's label was last written by a gift (a trailing blank)
    int tornLines = 0; // lines skipped: cut off mid-write or unreadable
    qint64 lines = 0; // lines read
    // Since the totals were last cleared, as the session holds them: the
    // ignored votes by IgnoredReason, and under one vote per viewer each
    // viewer's standing vote (the teams, as bits).
    qint64 ignored[kIgnoredReasonCount] = {};
    QHash<QByteArray, quint8> standingVotes;
    // 清空票数 ends a vote: the totals and ignored votes it cleared are the vote's result.
    bool endedByClear = false;
    qint64 clearedTotals[kTeamCount + 1] = {};
    qint64 clearedIgnored[kIgnoredReasonCount] = {};

    // Team `index`'s result: its total when the vote ended.
    qint64 result(int index) const
    {
        return endedByClear ? clearedTotals[index] : teams.at(index).votes;
    }
    // The votes ignored for `reason` when the vote ended.
    qint64 ignoredResult(IgnoredReason reason) const
    {
        return endedByClear ? clearedIgnored[int(reason)] : ignored[int(reason)];
    }
};
