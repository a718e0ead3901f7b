#include "overlay/OverlayState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QByteArray>

#include <algorithm>

namespace {

qint64 countable(qint64 votes)
{
    return votes > 0 ? votes : 0;
}

// Summed as double: four totals near the 64-bit limit must not overflow.
double shownTotal(const OverlayState &state)
{
    double total = 0;
    for (const OverlayTeam &team : state.teams)
        total += double(countable(team.votes));
    return total;
}

} // namespace

bool operator==(const OverlayTeam &a, const OverlayTeam &b)
{
    return a.index == b.index && a.votes == b.votes && a.name == b.name && a.colour == b.colour;
}

bool operator==(const OverlayState &a, const OverlayState &b)
{
    return a.mode == b.mode && a.counting == b.counting && a.teams == b.teams
        && a.question == b.question && a.questionColour == b.questionColour && a.lead == b.lead
        && a.countdown == b.countdown && a.rules == b.rules
        && std::equal(std::begin(a.ignored), std::end(a.ignored), std::begin(b.ignored))
        && a.ruleLine == b.ruleLine && a.howTo == b.howTo && a.howToShort == b.howToShort;
}

QList<double> overlayShares(const OverlayState &state)
{
    const double total = shownTotal(state);
    QList<double> shares;
    shares.reserve(state.teams.size());
    for (const OverlayTeam &team : state.teams)
        shares.append(total > 0 ? double(countable(team.votes)) / total : 0.0);
    return shares;
}

int overlayLeader(const OverlayState &state)
{
    int leader = 0;
    qint64 best = 0;
    bool shared = false;
    for (const OverlayTeam &team : state.teams) {
        if (team.votes > best) {
            best = team.votes;
            leader = team.index;
            shared = false;
        } else if (team.votes == best && best > 0) {
            shared = true;
        }
    }
    return shared ? 0 : leader;
}

QByteArray overlayStateJson(const OverlayState &state)
{
    const QList<double> shares = overlayShares(state);
    QJsonArray teams;
    for (int i = 0; i < state.teams.size(); ++i) {
        const OverlayTeam &team = state.teams.at(i);
        teams.append(QJsonObject {
            {QStringLiteral("index"), team.index},
            {QStringLiteral("name"), team.name},
            {QStringLiteral("votes"), double(team.votes)},
            {QStringLiteral("share"), shares.at(i)},
            {QStringLiteral("colour"), team.colour},
        });
    }
    const QJsonObject rules {
        {QStringLiteral("onePerViewer"), state.rules.onePerViewer},
        {QStringLiteral("allowChange"), state.rules.allowChange},
        {QStringLiteral("cooldownSeconds"), state.rules.cooldownSeconds},
        {QStringLiteral("stopAtTimeUp"), state.rules.stopAtTimeUp},
        {QStringLiteral("voteByNumber"), state.rules.voteByNumber},
    };
    QJsonObject ignored;
    for (int reason = 1; reason < kIgnoredReasonCount; ++reason)
        ignored.insert(QLatin1String(ignoredReasonKey(IgnoredReason(reason))),
                       double(state.ignored[reason]));
    const QJsonObject message {
        {QStringLiteral("question"), state.question},
        {QStringLiteral("questionColour"), state.questionColour},
        {QStringLiteral("mode"), state.mode},
        {QStringLiteral("counting"), state.counting},
        {QStringLiteral("countdown"), state.countdown},
        {QStringLiteral("lead"), state.lead},
        {QStringLiteral("leader"), overlayLeader(state)},
        {QStringLiteral("total"), shownTotal(state)},
        {QStringLiteral("teams"), teams},
        {QStringLiteral("rules"), rules},
        {QStringLiteral("ignored"), ignored},
        {QStringLiteral("ruleLine"), state.ruleLine},
        {QStringLiteral("howTo"), state.howTo},
        {QStringLiteral("howToShort"), state.howToShort},
    };
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

bool overlayStateFromJson(const QByteArray &json, OverlayState *state)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject message = document.object();
    const QJsonValue teams = message.value(QStringLiteral("teams"));
    if (!teams.isArray())
        return false;

    OverlayState read;
    read.question = message.value(QStringLiteral("question")).toString();
    read.questionColour = message.value(QStringLiteral("questionColour")).toString();
    read.mode = message.value(QStringLiteral("mode")).toInt(2);
    read.counting = message.value(QStringLiteral("counting")).toBool();
    read.countdown = message.value(QStringLiteral("countdown")).toString();
    read.lead = message.value(QStringLiteral("lead")).toString();
    const QJsonObject rules = message.value(QStringLiteral("rules")).toObject();
    read.rules.onePerViewer = rules.value(QStringLiteral("onePerViewer")).toBool();
    read.rules.allowChange = rules.value(QStringLiteral("allowChange")).toBool();
    read.rules.cooldownSeconds = rules.value(QStringLiteral("cooldownSeconds")).toInt();
    read.rules.stopAtTimeUp = rules.value(QStringLiteral("stopAtTimeUp")).toBool();
    read.rules.voteByNumber = rules.value(QStringLiteral("voteByNumber")).toBool();
    const QJsonObject ignored = message.value(QStringLiteral("ignored")).toObject();
    for (int reason = 1; reason < kIgnoredReasonCount; ++reason)
        read.ignored[reason] = qint64(
            ignored.value(QLatin1String(ignoredReasonKey(IgnoredReason(reason)))).toDouble());
    read.ruleLine = message.value(QStringLiteral("ruleLine")).toString();
    read.howTo = message.value(QStringLiteral("howTo")).toString();
    read.howToShort = message.value(QStringLiteral("howToShort")).toString();
    for (const QJsonValue &value : teams.toArray()) {
        if (!value.isObject())
            return false;
        const QJsonObject entry = value.toObject();
        OverlayTeam team;
        team.index = entry.value(QStringLiteral("index")).toInt();
        team.name = entry.value(QStringLiteral("name")).toString();
        team.votes = qint64(entry.value(QStringLiteral("votes")).toDouble());
        team.colour = entry.value(QStringLiteral("colour")).toString();
        read.teams.append(team);
    }
    *state = read;
    return true;
}

char *toString(const OverlayState &state)
{
    return qstrdup(overlayStateJson(state).constData());
}
