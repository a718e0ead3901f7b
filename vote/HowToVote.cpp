#include "vote/HowToVote.h"

#include "vote/VoteSession.h"

#include <QStringList>

namespace {

// "A 或 B", "A、B 或 C".
QString either(const QStringList &choices)
{
    if (choices.size() < 2)
        return choices.value(0);
    return QStringList(choices.mid(0, choices.size() - 1)).join(QStringLiteral("、"))
        + QStringLiteral(" 或 ") + choices.last();
}

} // namespace

HowToVote HowToVote::of(const VoteSession &session)
{
    HowToVote howTo;
    const int shown = session.voteMode();
    if (session.voteType() == VoteType::Text) {
        QStringList choices;
        for (int index = 1; index <= shown; ++index) {
            const QByteArray &name = session.team(index).name;
            // By number every shown team can be voted for, named or not.
            if (session.rules().voteByNumber)
                choices << QString::number(index);
            else if (!name.isEmpty())
                choices << QString::fromUtf8(name);
        }
        if (choices.isEmpty())
            return howTo;
        howTo.text = QStringLiteral("发送 %1 投票").arg(either(choices));
        howTo.brief = QStringLiteral("发送 %1 投票").arg(choices.join(QLatin1Char('/')));
        return howTo;
    }
    QStringList full;
    QStringList brief;
    for (int index = 1; index <= shown; ++index) {
        const TeamRecord &team = session.team(index);
        if (team.giftId.isEmpty() || team.gift.name.isEmpty())
            continue;
        const QString name = team.name.isEmpty() ? QStringLiteral("队伍%1").arg(index)
                                                 : QString::fromUtf8(team.name);
        full << QStringLiteral("送出 %1 为 %2 投票").arg(team.gift.name, name);
        brief << team.gift.name + QStringLiteral("→") + name;
    }
    howTo.text = full.join(QStringLiteral("，"));
    howTo.brief = brief.join(QStringLiteral(" · "));
    return howTo;
}
