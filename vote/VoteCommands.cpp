#include "vote/VoteCommands.h"

#include "records/VoteRecorder.h"
#include "vote/VoteSession.h"

VoteCommands::VoteCommands(VoteSession &session, VoteRecorder *recorder, Reporter reporter,
                           QObject *parent)
    : QObject(parent)
    , vote(session)
    , records(recorder)
    , report(std::move(reporter))
{
    // The display follows a clock; precise ticks land on its seconds.
    countdownTimer.setTimerType(Qt::PreciseTimer);
    countdownTimer.setSingleShot(true);
    connect(&countdownTimer, &QTimer::timeout, this, &VoteCommands::countdownTick);
}

CommandResult VoteCommands::startCounting()
{
    if (vote.isCounting())
        return CommandResult::done();
    if (vote.firstUnnamedShownTeam() != 0)
        return CommandResult::refused(QStringLiteral("无法开始计票，请先编辑投票内容!"));
    report("1");
    vote.startCounting();
    if (records)
        records->started(vote, vote.question());
    emit countingChanged(true);
    return CommandResult::done();
}

CommandResult VoteCommands::stopCounting()
{
    if (!vote.isCounting())
        return CommandResult::done();
    vote.stopCounting();
    stoppedCounting();
    return CommandResult::done();
}

CommandResult VoteCommands::toggleCounting()
{
    return vote.isCounting() ? stopCounting() : startCounting();
}

// Counting has stopped, by hand or at time-up: the record first, then the view.
void VoteCommands::stoppedCounting()
{
    if (records)
        records->stopped(vote, vote.question());
    emit countingChanged(false);
}

CommandResult VoteCommands::clearTotals()
{
    vote.clearTotals();
    if (records)
        records->totalsCleared(vote, vote.question());
    emit totalsCleared();
    report("2");
    return CommandResult::done();
}

CommandResult VoteCommands::clearVoters()
{
    vote.clearVoters();
    if (records)
        records->votersCleared();
    emit votersCleared();
    report("3");
    return CommandResult::done();
}

CommandResult VoteCommands::startCountdown(qint32 seconds)
{
    if (vote.countdownOn())
        return CommandResult::refused(QStringLiteral("倒计时已在进行，请先停止"));
    report("4");
    const qint64 now = vote.clockMs();
    const Countdown::Reading reading = vote.startCountdown(seconds, now);
    timeUpRecorded = false;
    if (records)
        records->countdownStarted(seconds);
    countdownTimer.start(int(vote.countdown().msUntilNextStep(now)));
    showCountdown(reading);
    return CommandResult::done();
}

CommandResult VoteCommands::stopCountdown()
{
    if (!vote.countdownOn())
        return CommandResult::done();
    vote.stopCountdown();
    if (records)
        records->countdownStopped();
    countdownTimer.stop();
    countdownShown.clear();
    emit countdownChanged();
    return CommandResult::done();
}

CommandResult VoteCommands::toggleCountdown(qint32 seconds)
{
    return vote.countdownOn() ? stopCountdown() : startCountdown(seconds);
}

void VoteCommands::countdownTick()
{
    if (!vote.countdownOn())
        return;
    // Read off the clock: ticks that came late or merged still show the right second.
    const qint64 now = vote.clockMs();
    const Countdown::Reading reading = vote.countdown().read(now);
    showCountdown(reading);
    if (reading.expired) {
        countdownTimer.stop();
        timeUpReached();
        if (vote.stopCountingAtTimeUp())
            stoppedCounting();
    } else {
        countdownTimer.start(int(vote.countdown().msUntilNextStep(now)));
    }
}

void VoteCommands::showCountdown(const Countdown::Reading &reading)
{
    countdownShown = reading.expired ? QStringLiteral("时间到") : QString::number(reading.seconds);
    emit countdownChanged();
}

// The countdown is seen at 时间到, by its tick or by a vote that came first:
// recorded once per countdown.
void VoteCommands::timeUpReached()
{
    if (timeUpRecorded)
        return;
    timeUpRecorded = true;
    if (records)
        records->timeUp();
}

CommandResult VoteCommands::addVotes(int team, qint64 votes)
{
    return correct(team, votes, true);
}

CommandResult VoteCommands::subtractVotes(int team, qint64 votes)
{
    return correct(team, votes, false);
}

CommandResult VoteCommands::correct(int team, qint64 votes, bool add)
{
    if (votes == 0)
        return CommandResult::done();
    if (team < 1 || team > vote.voteMode())
        return CommandResult::refused(QStringLiteral("队伍%1未显示").arg(team));
    if (add)
        vote.addVotes(team, votes);
    else
        vote.subtractVotes(team, votes);
    if (records)
        records->corrected(vote, team, votes, add);
    emit teamCorrected(team);
    report(add ? "11" : "12");
    return CommandResult::done();
}

CountResult VoteCommands::countChat(const char *nick, const char *text)
{
    const CountResult result = vote.countChat(nick, text);
    // The vote that found the countdown run out is recorded after the stop.
    if (result.stoppedAtTimeUp) {
        timeUpReached();
        stoppedCounting();
    }
    if (records)
        records->countedChat(vote, nick, text, result);
    return result;
}

CountResult VoteCommands::countGift(const char *nick, const char *productId, int buyTimes)
{
    const CountResult result = vote.countGift(nick, productId, buyTimes);
    if (result.stoppedAtTimeUp) {
        timeUpReached();
        stoppedCounting();
    }
    if (records)
        records->countedGift(vote, nick, productId, buyTimes, result);
    return result;
}
