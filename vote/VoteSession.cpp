#include "vote/VoteSession.h"

#include "bridge/RoomFrame.h"
#include "vote/DefaultTeams.h"

VoteSession::VoteSession()
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

CountResult VoteSession::countChat(const char *nick, const char *text)
{
    return VoteCounting::countText(teamRecords, CountingSettings::read(stateRecord), nick, text);
}

CountResult VoteSession::countGift(const char *nick, const char *productId, int buyTimes)
{
    return VoteCounting::countGift(teamRecords, CountingSettings::read(stateRecord), nick,
                                   productId, buyTimes);
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

QString VoteSession::leadText() const
{
    const TeamRecord &first = team(1);
    const TeamRecord &second = team(2);
    const bool secondLeads = first.votes < second.votes;
    const TeamRecord &leader = secondLeads ? second : first;
    const TeamRecord &other = secondLeads ? first : second;
    const qint64 margin = secondLeads ? second.votes - first.votes : first.votes - second.votes;
    return QStringLiteral("【%1】领先【%2】%3票")
        .arg(QString::fromUtf8(leader.name), QString::fromUtf8(other.name))
        .arg(margin);
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
    return timer.read(nowMs);
}

void VoteSession::stopCountdown()
{
    stateRecord.setValue(StateKey::kStartTimeMeter, 0);
    timer.stop();
}
