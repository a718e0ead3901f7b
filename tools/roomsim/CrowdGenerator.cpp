#include "CrowdGenerator.h"

#include <algorithm>

namespace {

// Shares of message shapes, in percent: most carry one viewer's single unit,
// some several units of one viewer, a few several viewers.
constexpr int kSeveralUnitsPercent = 5;
constexpr int kSeveralGroupsPercent = 2;
// Chat lines sent as SuspendMessage instead of Message.
constexpr int kSuspendPercent = 3;

const char *const kLatinNicks[] = {"Lucky", "mika", "Tom",  "xiaoyu", "Sunny",
                                   "ACE",   "bobo", "Nova", "kiki",   "Leo"};

const char *const kChatter[] = {
    "哈哈哈", "主播好",   "666",    "来了来了", "这局稳了", "前排",     "关注了",   "gg",
    "😂😂😂",    "主播加油", "好家伙", "？？？",   "冲冲冲",   "晚上好呀", "第一次来", "awsl",
};

QByteArray viewerNick(int index, int viewers)
{
    // Every eighth viewer has a latin nick; all nicks carry their number, so they stay distinct.
    if (index % 8 == 5) {
        const int kinds = int(sizeof kLatinNicks / sizeof kLatinNicks[0]);
        return QByteArray(kLatinNicks[(index / 8) % kinds]) + '_' + QByteArray::number(index + 1);
    }
    const int width = std::max(3, int(QByteArray::number(viewers).size()));
    return QByteArray("观众") + QByteArray::number(index + 1).rightJustified(width, '0');
}

} // namespace

CrowdGenerator::CrowdGenerator(const Options &crowdOptions)
    : options(crowdOptions)
    , state(crowdOptions.seed)
{
    for (const QString &team : options.teams)
        teamNames.append(team.toUtf8());
    if (options.gifts.isEmpty())
        options.gifts.append(QByteArrayLiteral("1450928358"));
    options.viewers = std::max(1, options.viewers);
    options.maxBuy = std::max(1, options.maxBuy);
    if (options.votePercent + options.chatterPercent + options.giftPercent <= 0)
        options.votePercent = 1;

    for (int i = 0; i < options.viewers; ++i)
        viewerNicks.append(viewerNick(i, options.viewers));

    QByteArrayList lines;
    for (const char *line : kChatter)
        lines.append(line);
    for (const QByteArray &team : teamNames) {
        lines.append(' ' + team);
        lines.append(team + '!');
        lines.append(team + QByteArray("！"));
        lines.append(team + ' ');
        lines.append(team + team);
        lines.append(QByteArray("投") + team);
        lines.append(team + QByteArray("加油"));
    }
    // A near miss that happens to be another team's exact name would be a vote.
    for (const QByteArray &line : qAsConst(lines)) {
        if (!teamNames.contains(line) && !chatter.contains(line))
            chatter.append(line);
    }
}

quint64 CrowdGenerator::draw()
{
    // splitmix64: tiny, and the same sequence on every platform and library.
    quint64 z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

int CrowdGenerator::below(int bound)
{
    return bound <= 1 ? 0 : int(draw() % quint64(bound));
}

QByteArray CrowdGenerator::pickNick()
{
    // The smaller of two draws: low numbers chat more, as regulars do.
    const int a = below(viewerNicks.size());
    const int b = below(viewerNicks.size());
    return viewerNicks.at(std::min(a, b));
}

RoomEventWriter::Unit CrowdGenerator::pickUnit()
{
    const int total = std::max(0, options.votePercent) + std::max(0, options.chatterPercent)
        + std::max(0, options.giftPercent);
    const int roll = below(total);
    const int voteShare = std::max(0, options.votePercent);
    const int chatterShare = std::max(0, options.chatterPercent);

    if (roll < voteShare + chatterShare) {
        const bool vote = roll < voteShare && !teamNames.isEmpty();
        const QByteArray text =
            vote ? teamNames.at(below(teamNames.size())) : chatter.at(below(chatter.size()));
        RoomEventWriter::Unit unit = RoomEventWriter::chat(text);
        if (below(100) < kSuspendPercent)
            unit.kind = RoomEventWriter::Unit::SuspendMessage;
        return unit;
    }
    const QByteArray productId = options.gifts.at(below(options.gifts.size()));
    return RoomEventWriter::gift(productId, 1 + below(options.maxBuy));
}

CrowdGenerator::Message CrowdGenerator::next(const QByteArray &msgId)
{
    Message message;
    message.msgId = msgId;

    const int shape = below(100);
    if (shape < kSeveralGroupsPercent) {
        const int groups = 2 + below(2);
        for (int i = 0; i < groups; ++i)
            message.groups.append(RoomEventWriter::Group {pickNick(), {pickUnit()}});
    } else {
        RoomEventWriter::Group group {pickNick(), {pickUnit()}};
        if (shape < kSeveralGroupsPercent + kSeveralUnitsPercent) {
            const int more = 1 + below(2);
            for (int i = 0; i < more; ++i)
                group.units.append(pickUnit());
        }
        message.groups.append(group);
    }
    message.repeat = below(100) < options.repeatPercent;
    message.frame = RoomEventWriter::roomEvent(msgId, message.groups);
    return message;
}
