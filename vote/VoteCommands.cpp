#include "vote/VoteCommands.h"

#include "records/VoteRecorder.h"
#include "vote/DefaultTeams.h"
#include "vote/VotePresets.h"
#include "vote/VoteSession.h"

#include <QStringList>

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

CommandResult VoteCommands::savePreset(const QString &name, qint32 countdownSeconds)
{
    if (!presets)
        return CommandResult::refused(QStringLiteral("预设不可用"));
    if (vote.isCounting())
        return CommandResult::refused(QStringLiteral("请先停止计票"));
    QString error;
    if (!presets->saveAs(VotePreset::of(vote, name.trimmed(), countdownSeconds), &error))
        return CommandResult::refused(error);
    emit presetsChanged();
    return CommandResult::done();
}

CommandResult VoteCommands::loadPreset(const QString &which)
{
    if (!presets)
        return CommandResult::refused(QStringLiteral("预设不可用"));
    // Like the vote type and the teams, the setup holds for a whole count.
    if (vote.isCounting())
        return CommandResult::refused(QStringLiteral("请先停止计票"));
    const int position = presets->find(which);
    if (position < 0)
        return CommandResult::refused(QStringLiteral("没有这个预设：%1").arg(which.left(64)));
    CommandResult result = CommandResult::done();
    result.note = applySetup(presets->list().at(position));
    return result;
}

CommandResult VoteCommands::startPreset(const QString &which)
{
    CommandResult loaded = loadPreset(which);
    if (!loaded.ok)
        return loaded;
    const CommandResult started = startCounting();
    if (!started.ok)
        return started;
    const qint32 seconds = presets->list().at(presets->find(which)).countdownSeconds;
    if (seconds > 0) {
        stopCountdown();
        startCountdown(seconds);
    }
    return loaded;
}

// Puts the preset into the session; returns what the streamer should know.
QString VoteCommands::applySetup(const VotePreset &preset)
{
    const RecordSettings &setup = preset.setup;
    vote.setVoteMode(setup.mode);
    vote.setVoteType(setup.voteType);
    vote.setQuestion(setup.question);
    vote.setNoteColor((setup.noteColor >> 16) & 0xff, (setup.noteColor >> 8) & 0xff,
                      setup.noteColor & 0xff);
    vote.setRules(setup.rules);
    if (preset.countdownSeconds > 0)
        defaultSeconds = preset.countdownSeconds;
    QStringList kept;
    for (int index = 1; index <= kTeamCount; ++index) {
        const RecordTeam &team = setup.teams[index];
        // As the name edit of that many teams would cut it.
        vote.setTeamName(index,
                         QString::fromUtf8(team.name).left(maxTeamNameLength(setup.mode)).toUtf8());
        if (team.giftId.isEmpty() || team.giftId == vote.team(index).giftId)
            continue;
        if (vote.hasProduct(team.giftId)) {
            vote.chooseGift(index, team.giftId, vote.products().at(team.giftId));
            continue;
        }
        // The compiled-in gifts are there in every room.
        bool found = false;
        for (int other = 1; other <= kTeamCount && !found; ++other) {
            const DefaultTeam *fallback = defaultTeam(other);
            if (team.giftId == fallback->giftId) {
                ProductRecord entry;
                entry.name = QString::fromUtf8(fallback->giftName);
                entry.priceText = fallback->priceText;
                entry.price = fallback->price;
                vote.chooseGift(index, team.giftId, entry);
                found = true;
            }
        }
        if (!found && index <= setup.mode)
            kept << QStringLiteral("队伍%1的礼物「%2」").arg(index).arg(
                team.giftName.isEmpty() ? QString::fromUtf8(team.giftId) : team.giftName);
    }
    emit setupChanged();
    if (kept.isEmpty())
        return QString();
    return kept.join(QStringLiteral("、")) + QStringLiteral("不在本房间的礼物列表中，保留了原礼物");
}
