#include "vote/VoteSession.h"

#include "bridge/RoomFrame.h"
#include "vote/DefaultTeams.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

#include <chrono>

namespace {

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

VoteSession::VoteSession()
    : clock(steadyMs)
{
    for (int index = 1; index <= kTeamCount; ++index)
        teamRecords.emplace(index, TeamRecord());
    stateRecord.setDefaults();
}

VoteType VoteSession::voteType() const
{
    return VoteType(stateRecord.value(StateKey::kVoteType));
}

void VoteSession::setVoteType(VoteType type)
{
    stateRecord.setValue(StateKey::kVoteType, int(type));
}

int VoteSession::voteMode() const
{
    return stateRecord.value(StateKey::kVoteMode);
}

void VoteSession::setVoteMode(int teams)
{
    stateRecord.setValue(StateKey::kVoteMode, teams);
}

bool VoteSession::moreSettingsShown() const
{
    return stateRecord.value(StateKey::kMoreSetting) != 0;
}

void VoteSession::setMoreSettingsShown(bool shown)
{
    stateRecord.setValue(StateKey::kMoreSetting, shown ? 1 : 0);
}

qint32 VoteSession::noteColor() const
{
    return stateRecord.value(StateKey::kNoteColor);
}

void VoteSession::setNoteColor(int red, int green, int blue)
{
    stateRecord.setValue(StateKey::kNoteColor, qint64(red) * 65536 + green * 256 + blue);
}

bool VoteSession::isCounting() const
{
    return stateRecord.value(StateKey::kStartGame) != 0;
}

int VoteSession::firstUnnamedShownTeam() const
{
    const int mode = voteMode();
    // Only the modes the streamer can choose check names.
    if (mode < 2 || mode > kTeamCount)
        return 0;
    for (int index = 1; index <= mode; ++index) {
        if (team(index).name.isEmpty())
            return index;
    }
    return 0;
}

bool VoteSession::startCounting()
{
    if (firstUnnamedShownTeam() != 0)
        return false;
    // A countdown that ran out before counting started stops nothing.
    if (timer.isRunning() && countdownExpired())
        timeUpSeen = true;
    timeUpStopped = false;
    stateRecord.setValue(StateKey::kStartGame, 1);
    return true;
}

void VoteSession::stopCounting()
{
    stateRecord.setValue(StateKey::kStartGame, 0);
}

void VoteSession::setTeamName(int index, const QByteArray &utf8)
{
    mutableTeam(index).name = utf8;
}

void VoteSession::applyDefaultGift(int index)
{
    ::applyDefaultGift(mutableTeam(index), index);
}

void VoteSession::chooseGift(int index, const QByteArray &productId, const ProductRecord &entry)
{
    TeamRecord &chosen = mutableTeam(index);
    chosen.giftId = productId;
    chosen.gift.name = entry.name;
    chosen.gift.imageDir = entry.imageDir;
    chosen.gift.priceText = entry.priceText;
    chosen.gift.price = entry.price;
}

bool VoteSession::setRules(const VoteRules &rules)
{
    if (isCounting())
        return false;
    voteRules = rules;
    voteRules.cooldownSeconds = qBound(0, rules.cooldownSeconds, VoteRules::kLongestCooldown);
    voteRules.allowChange = rules.onePerViewer && rules.allowChange;
    return true;
}

qint64 VoteSession::ignoredCount(IgnoredReason reason) const
{
    const int at = int(reason);
    return at > 0 && at < kIgnoredReasonCount ? ignoredCounts[at] : 0;
}

qint64 VoteSession::ignoredTotal() const
{
    qint64 total = 0;
    for (int at = 1; at < kIgnoredReasonCount; ++at)
        total += ignoredCounts[at];
    return total;
}

QString VoteSession::ruleLine() const
{
    if (!voteRules.anyOn())
        return QString();
    return ruleNames() + QStringLiteral(" · ") + ignoredText(ignoredTotal());
}

QString VoteSession::ignoredText(qint64 votes)
{
    return QStringLiteral("已忽略 %1 票").arg(votes);
}

QString VoteSession::ruleNames() const
{
    QStringList parts;
    if (voteRules.onePerViewer)
        parts << QStringLiteral("每人一票");
    if (voteRules.allowChange)
        parts << QStringLiteral("允许改票");
    if (voteRules.cooldownSeconds > 0)
        parts << QStringLiteral("冷却 %1 秒").arg(voteRules.cooldownSeconds);
    if (voteRules.stopAtTimeUp)
        parts << QStringLiteral("倒计时结束停止计票");
    return parts.join(QStringLiteral(" · "));
}

void VoteSession::setClock(Clock source)
{
    clock = source ? std::move(source) : Clock(steadyMs);
}

CountResult VoteSession::ignore(IgnoredReason reason)
{
    ++ignoredCounts[int(reason)];
    CountResult result;
    result.ignored = reason;
    return result;
}

CountResult VoteSession::countChat(const char *nick, const char *text)
{
    const bool stoppedNow = stopCountingAtTimeUp();
    CountingSettings settings = CountingSettings::read(stateRecord);
    settings.numberedTeams = voteRules.voteByNumber ? settings.voteMode : 0;
    CountResult result;
    if (settings.voteType != VoteType::Text || !text) {
        // Not a vote.
    } else if (!settings.counting) {
        if (timeUpStopped && VoteCounting::chatTeams(teamRecords, text, settings.numberedTeams))
            result = ignore(IgnoredReason::AfterTimeUp);
    } else if (voteRules.onePerViewer || voteRules.cooldownSeconds > 0) {
        result = countChatUnderRules(
            settings, nick, VoteCounting::chatTeams(teamRecords, text, settings.numberedTeams));
    } else {
        result = VoteCounting::countText(teamRecords, settings, nick, text);
    }
    result.stoppedAtTimeUp = stoppedNow;
    return result;
}

CountResult VoteSession::countChatUnderRules(const CountingSettings &settings, const char *nick,
                                             unsigned chosen)
{
    if (!chosen)
        return VoteCounting::creditChat(teamRecords, settings, QByteArray(), 0);
    const QByteArray who(nick ? nick : "");
    // The one look-up of the vote; a new viewer enters here.
    ViewerRuleState &viewer = viewerRules[who];
    if (voteRules.onePerViewer && viewer.teams
        && (!voteRules.allowChange || viewer.teams == chosen))
        return ignore(IgnoredReason::OnePerViewer);
    const qint64 cooldownMs = qint64(voteRules.cooldownSeconds) * 1000;
    const qint64 now = cooldownMs > 0 ? clockMs() : 0;
    if (cooldownMs > 0 && viewer.counted && now - viewer.lastCountedMs < cooldownMs)
        return ignore(IgnoredReason::Cooldown);

    // A changed vote leaves its old teams in the same step as it joins the new.
    const unsigned left = voteRules.onePerViewer ? viewer.teams : 0u;
    VoterRanking::Change taken[kTeamCount + 1];
    for (int index = 1; index <= kTeamCount; ++index) {
        if (!(left & (1u << index)))
            continue;
        TeamRecord &team = mutableTeam(index);
        // Exactly one vote leaves, even below a total the streamer lowered by
        // hand: the total stays the sum of its voters' rows and its record's.
        team.votes = VoteCounting::addVotes(team.votes, -1);
        taken[index] = team.voters.take(who, 1);
    }
    CountResult result = VoteCounting::creditChat(teamRecords, settings, who, chosen);
    for (int index = kTeamCount; index >= 1; --index) {
        if (!(left & (1u << index)))
            continue;
        result.voterRows[index].merge(taken[index]);
        result.changedTeams |= 1u << index;
        result.movedFrom = index;
    }
    viewer.teams = voteRules.onePerViewer ? quint8(chosen) : quint8(0);
    viewer.counted = true;
    viewer.lastCountedMs = now;
    return result;
}

CountResult VoteSession::countGift(const char *nick, const char *productId, int buyTimes)
{
    const bool stoppedNow = stopCountingAtTimeUp();
    CountResult result = VoteCounting::countGift(teamRecords, CountingSettings::read(stateRecord),
                                                 nick, productId, buyTimes);
    result.stoppedAtTimeUp = stoppedNow;
    return result;
}

bool VoteSession::leadDue() const
{
    return voteMode() == 2;
}

bool VoteSession::addVotes(int index, qint64 votes)
{
    TeamRecord &target = mutableTeam(index);
    target.votes = VoteCounting::addVotes(target.votes, votes);
    return leadDue();
}

bool VoteSession::subtractVotes(int index, qint64 votes)
{
    TeamRecord &target = mutableTeam(index);
    target.votes = VoteCounting::addVotes(target.votes, -votes);
    if (target.votes <= 0)
        target.votes = 0;
    return leadDue();
}

void VoteSession::clearTotals()
{
    for (auto &entry : teamRecords)
        entry.second.votes = 0;
    // The standing votes were in the totals: every viewer may vote afresh.
    viewerRules.clear();
    std::fill(std::begin(ignoredCounts), std::end(ignoredCounts), 0);
}

void VoteSession::clearVoters()
{
    for (auto &entry : teamRecords)
        entry.second.voters.clear();
}

void VoteSession::restoreCount(int index, qint64 votes, VoterRanking voters)
{
    TeamRecord &target = mutableTeam(index);
    target.votes = votes;
    target.voters = std::move(voters);
}

void VoteSession::restoreRuleState(const qint64 (&ignored)[kIgnoredReasonCount],
                                   const QHash<QByteArray, quint8> &standingVotes)
{
    std::copy(std::begin(ignored), std::end(ignored), std::begin(ignoredCounts));
    viewerRules.clear();
    viewerRules.reserve(standingVotes.size());
    for (auto standing = standingVotes.cbegin(); standing != standingVotes.cend(); ++standing)
        viewerRules[standing.key()].teams = standing.value();
}

QString VoteSession::leadText() const
{
    return VoteCounting::leadText(team(1).name, team(1).votes, team(2).name, team(2).votes);
}

bool VoteSession::addProduct(const QByteArray &productId, const ProductRecord &entry)
{
    if (productId.isEmpty() || catalogue.count(productId))
        return false;
    catalogue.emplace(productId, entry);
    return true;
}

bool VoteSession::hasProduct(const QByteArray &productId) const
{
    return catalogue.count(productId) != 0;
}

bool VoteSession::acceptRoomEvent(const char *msgId)
{
    return takeMessageId(msgId, lastMsgId);
}

void VoteSession::setLogin(const QByteArray &kivaid, const QByteArray &roomid,
                           const QByteArray &token)
{
    loginIds = LoginIds {kivaid, roomid, token};
}

bool VoteSession::countdownOn() const
{
    return stateRecord.value(StateKey::kStartTimeMeter) != 0;
}

Countdown::Reading VoteSession::startCountdown(qint32 seconds, qint64 nowMs)
{
    stateRecord.setValue(StateKey::kStartTimeMeter, 1);
    timer.start(seconds, nowMs);
    timeUpSeen = false;
    return timer.read(nowMs);
}

void VoteSession::stopCountdown()
{
    stateRecord.setValue(StateKey::kStartTimeMeter, 0);
    timer.stop();
}

bool VoteSession::countdownExpired() const
{
    return timer.read(clockMs()).expired;
}

bool VoteSession::stopCountingAtTimeUp()
{
    if (!voteRules.stopAtTimeUp || timeUpSeen || !timer.isRunning() || !countdownExpired())
        return false;
    timeUpSeen = true;
    if (!isCounting())
        return false;
    stopCounting();
    timeUpStopped = true;
    return true;
}
