#pragma once

#include "vote/Countdown.h"
#include "vote/VoteCounting.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class VotePresets;
class VoteRecorder;
class VoteSession;
struct VotePreset;

// What a command did: done, or refused with the sentence the streamer reads
// (the window shows it in a card, the control API returns it).
struct CommandResult
{
    bool ok = false;
    QString error;
    QString note; // done, with something the streamer should know (e.g. a gift kept)

    static CommandResult done() { return {true, QString(), QString()}; }
    static CommandResult refused(const QString &why) { return {false, why, QString()}; }
};

// The controls of a vote, one function each, whoever asks: the window's
// buttons, the control API and the hotkeys all come here, so a command does
// the same checks, usage report and records events from any of them. The
// view follows the signals; nothing here knows a widget.
class VoteCommands : public QObject
{
    Q_OBJECT

public:
    // The usage report of a control ("1" to "13").
    using Reporter = std::function<void(const char *button)>;

    static constexpr qint64 kMaxManualVotes = 9999; // as the window's count edits take
    static constexpr qint32 kMaxCountdownSeconds = 9999;

    VoteCommands(VoteSession &session, VoteRecorder *records, Reporter report,
                 QObject *parent = nullptr);

    // 开始计票 / 停止计票.
    CommandResult startCounting();
    CommandResult stopCounting();
    CommandResult toggleCounting();
    // 清空票数, 清空投票纪录.
    CommandResult clearTotals();
    CommandResult clearVoters();
    // The countdown display: `seconds` as the duration edit gives it.
    CommandResult startCountdown(qint32 seconds);
    CommandResult stopCountdown();
    CommandResult toggleCountdown(qint32 seconds);
    // Manual corrections of a shown team's total; 0 votes change nothing.
    CommandResult addVotes(int team, qint64 votes);
    CommandResult subtractVotes(int team, qint64 votes);

    // The countdown's length as the window's duration edit holds it, for a
    // start that names none.
    qint32 countdownSeconds() const { return defaultSeconds; }
    void setCountdownSeconds(qint32 seconds) { defaultSeconds = seconds; }

    // Prepared votes (none until set): the session's setup saved as preset
    // `name` (over one of that name), or preset `which` (its number 1.. or
    // its name) put into the session, not counting. A gift the room's list
    // does not hold keeps the team's current one, and the note says which.
    // Starting a preset also starts counting, and the countdown it has.
    void setPresets(VotePresets *list) { presets = list; }
    VotePresets *presetList() const { return presets; }
    CommandResult savePreset(const QString &name, qint32 countdownSeconds);
    CommandResult loadPreset(const QString &which);
    CommandResult startPreset(const QString &which);

    // The countdown's clock has reached its next second.
    void countdownTick();
    // What the countdown display shows: "" when off, the seconds, or "时间到".
    const QString &countdownText() const { return countdownShown; }

    // Votes from the room, counted, stopped at time-up and recorded.
    CountResult countChat(const char *nick, const char *text);
    CountResult countGift(const char *nick, const char *productId, int buyTimes);

signals:
    // Counting went on or off (by a command or at time-up).
    void countingChanged(bool counting);
    void totalsCleared();
    void votersCleared();
    // A team's total changed by hand.
    void teamCorrected(int team);
    // The countdown started, stopped or shows another second.
    void countdownChanged();
    // A preset replaced the setup (names, question, colour, mode, vote type,
    // gifts, rules, countdown length).
    void setupChanged();
    // The presets' list changed.
    void presetsChanged();

private:
    CommandResult correct(int team, qint64 votes, bool add);
    void stoppedCounting();
    void timeUpReached();
    void showCountdown(const Countdown::Reading &reading);
    QString applySetup(const VotePreset &preset);

    VoteSession &vote;
    VoteRecorder *records;
    VotePresets *presets = nullptr;
    Reporter report;
    QTimer countdownTimer;
    QString countdownShown;
    qint32 defaultSeconds = 100;
    bool timeUpRecorded = false; // this countdown's 时间到 is in the record
};
