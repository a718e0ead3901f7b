#include "vote/VoteCounting.h"

#include "vote/VoteStateRecord.h"

#include <cstring>
#include <limits>

CountingSettings CountingSettings::read(const VoteStateRecord &state)
{
    CountingSettings settings;
    settings.voteType = VoteType(state.value(StateKey::kVoteType));
    settings.counting = state.value(StateKey::kStartGame) != 0;
    settings.voteMode = state.value(StateKey::kVoteMode);
    return settings;
}

namespace VoteCounting {

namespace {

constexpr qint32 kPriceCeiling = 9999;

bool sameBytes(const QByteArray &name, const char *text, std::size_t length)
{
    return std::size_t(name.size()) == length && std::memcmp(name.constData(), text, length) == 0;
}

qint64 teamVotes(const TeamMap &teams, int index)
{
    const auto it = teams.find(index);
    return it == teams.end() ? 0 : it->second.votes;
}

// In two-team mode the lead line follows every counted message once either team has votes.
bool leadDue(const TeamMap &teams, const CountingSettings &settings)
{
    return settings.voteMode == 2 && !(teamVotes(teams, 1) == 0 && teamVotes(teams, 2) == 0);
}

VoterRanking::Change credit(TeamRecord &team, const QByteArray &nick, qint64 votes)
{
    team.votes = addVotes(team.votes, votes);
    return team.voters.add(nick, votes);
}

} // namespace

qint32 votePrice(const TeamMap &teams, int voteMode)
{
    qint32 price = kPriceCeiling;
    if (voteMode < 2 || voteMode > kTeamCount)
        return price;
    for (int index = 1; index <= voteMode; ++index) {
        const auto it = teams.find(index);
        if (it == teams.end())
            continue;
        // A negative price from the catalogue would make votes negative; it sets no price.
        const qint32 p = it->second.gift.price;
        if (p > 0 && p <= price)
            price = p;
    }
    return price;
}

qint64 giftUnit(qint64 price, qint64 votePrice)
{
    if (price <= 0 || votePrice <= 0)
        return 0;
    return (price + votePrice / 2) / votePrice;
}

qint64 addVotes(qint64 total, qint64 votes)
{
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    if (votes > 0 && total > kMax - votes)
        return kMax;
    if (votes < 0 && total < kMin - votes)
        return kMin;
    return total + votes;
}

unsigned chatTeams(const TeamMap &teams, const char *text, int numberedTeams)
{
    unsigned chosen = 0;
    if (!text)
        return chosen;
    const std::size_t length = std::strlen(text);
    if (numberedTeams > 0) {
        // "1".."4", or the full-width digits a Chinese keyboard types (U+FF11..U+FF14).
        int number = 0;
        if (length == 1)
            number = text[0] - '0';
        else if (length == 3 && text[0] == '\xEF' && text[1] == '\xBC')
            number = int(uchar(text[2])) - 0x90;
        if (number >= 1 && number <= numberedTeams)
            chosen |= 1u << number;
    }
    for (const auto &[index, team] : teams) {
        // An empty line would otherwise vote for every team nobody has named.
        if (!team.name.isEmpty() && sameBytes(team.name, text, length))
            chosen |= 1u << index;
    }
    return chosen;
}

CountResult creditChat(TeamMap &teams, const CountingSettings &settings, const QByteArray &nick,
                       unsigned chosen)
{
    CountResult result;
    for (auto &[index, team] : teams) {
        if (!(chosen & (1u << index)))
            continue;
        result.voterRows[index] = credit(team, nick, 1);
        result.changedTeams |= 1u << index;
    }
    result.refreshLead = leadDue(teams, settings);
    return result;
}

CountResult countText(TeamMap &teams, const CountingSettings &settings, const char *nick,
                      const char *text)
{
    if (settings.voteType != VoteType::Text || !settings.counting || !text)
        return CountResult();
    const unsigned chosen = chatTeams(teams, text, settings.numberedTeams);
    // One copy of the nick, shared by every team it votes for.
    return creditChat(teams, settings, chosen ? QByteArray(nick ? nick : "") : QByteArray(),
                      chosen);
}

CountResult countGift(TeamMap &teams, const CountingSettings &settings, const char *nick,
                      const char *productId, int buyTimes)
{
    CountResult result;
    if (settings.voteType != VoteType::Gift || !settings.counting || !productId)
        return result;
    const qint64 price = votePrice(teams, settings.voteMode);
    // A negative count from the host must not take votes away.
    const qint64 pieces = buyTimes > 0 ? buyTimes : 0;
    const std::size_t length = std::strlen(productId);
    QByteArray who; // a copy of the nick only for a gift some team takes
    for (auto &[index, team] : teams) {
        if (team.giftId.isEmpty() || !sameBytes(team.giftId, productId, length))
            continue;
        if (!result.changedTeams)
            who = QByteArray(nick ? nick : "");
        result.voterRows[index] = credit(team, who, pieces * giftUnit(team.gift.price, price));
        result.changedTeams |= 1u << index;
    }
    result.refreshLead = leadDue(teams, settings);
    return result;
}

QString leadText(const QByteArray &firstName, qint64 firstVotes, const QByteArray &secondName,
                 qint64 secondVotes)
{
    const bool secondLeads = firstVotes < secondVotes;
    const qint64 margin = secondLeads ? secondVotes - firstVotes : firstVotes - secondVotes;
    // Put together, not formatted: a name holding "%1" stays as it is, and
    // this runs for every vote.
    const QString leader = QString::fromUtf8(secondLeads ? secondName : firstName);
    const QString other = QString::fromUtf8(secondLeads ? firstName : secondName);
    const QString votes = QString::number(margin);
    QString text;
    text.reserve(leader.size() + other.size() + votes.size() + 7);
    text += QStringLiteral("【");
    text += leader;
    text += QStringLiteral("】领先【");
    text += other;
    text += QStringLiteral("】");
    text += votes;
    text += QStringLiteral("票");
    return text;
}

} // namespace VoteCounting
