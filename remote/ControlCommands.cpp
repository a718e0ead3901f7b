#include "remote/ControlCommands.h"

#include "vote/TeamRecord.h"
#include "vote/VoteCommands.h"
#include "vote/VotePresets.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <functional>

namespace {

ControlAnswer answer(const CommandResult &result)
{
    if (!result.ok)
        return {409, result.error, QString()};
    return {200, QString(), result.note};
}

ControlAnswer badBody(const QString &why)
{
    return {400, why, QString()};
}

// A whole number in [low, high] under `key`; false when absent or otherwise.
bool wholeNumber(const QJsonObject &body, const char *key, qint64 low, qint64 high, qint64 *out)
{
    const QJsonValue value = body.value(QLatin1String(key));
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (std::floor(number) != number || number < double(low) || number > double(high))
        return false;
    *out = qint64(number);
    return true;
}

ControlAnswer correct(VoteCommands &commands, const QJsonObject &body, bool add)
{
    qint64 team = 0;
    qint64 amount = 0;
    if (!wholeNumber(body, "team", 1, kTeamCount, &team))
        return badBody(QStringLiteral("\"team\" must be a team number from 1 to %1").arg(kTeamCount));
    if (!wholeNumber(body, "amount", 1, VoteCommands::kMaxManualVotes, &amount))
        return badBody(QStringLiteral("\"amount\" must be a whole number from 1 to %1")
                           .arg(VoteCommands::kMaxManualVotes));
    return answer(add ? commands.addVotes(int(team), amount)
                      : commands.subtractVotes(int(team), amount));
}

ControlAnswer startCountdown(VoteCommands &commands, const QJsonObject &body)
{
    qint64 seconds = commands.countdownSeconds();
    if (body.contains(QLatin1String("seconds"))
        && !wholeNumber(body, "seconds", 1, VoteCommands::kMaxCountdownSeconds, &seconds))
        return badBody(QStringLiteral("\"seconds\" must be a whole number from 1 to %1")
                           .arg(VoteCommands::kMaxCountdownSeconds));
    return answer(commands.startCountdown(qint32(seconds)));
}

// {"preset": N} or {"preset": "name"}: the preset's number or name, or empty.
QString presetNamed(const QJsonObject &body)
{
    const QJsonValue value = body.value(QLatin1String("preset"));
    if (value.isString())
        return value.toString();
    if (value.isDouble() && value.toDouble() == double(qint64(value.toDouble())))
        return QString::number(qint64(value.toDouble()));
    return QString();
}

ControlAnswer usePreset(VoteCommands &commands, const QJsonObject &body, bool start)
{
    const QString which = presetNamed(body);
    if (which.isEmpty())
        return badBody(QStringLiteral("\"preset\" must be a preset's number or name"));
    if (!commands.presetList() || commands.presetList()->find(which) < 0)
        return {404, QStringLiteral("no such preset: %1").arg(which.left(64)), QString()};
    const CommandResult result = start ? commands.startPreset(which) : commands.loadPreset(which);
    return answer(result);
}

ControlAnswer savePreset(VoteCommands &commands, const QJsonObject &body)
{
    const QJsonValue name = body.value(QLatin1String("name"));
    if (!name.isString() || name.toString().trimmed().isEmpty())
        return badBody(QStringLiteral("\"name\" must be the preset's name"));
    qint64 seconds = 0;
    if (body.contains(QLatin1String("countdown"))
        && !wholeNumber(body, "countdown", 0, VoteCommands::kMaxCountdownSeconds, &seconds))
        return badBody(QStringLiteral("\"countdown\" must be a whole number from 0 to %1")
                           .arg(VoteCommands::kMaxCountdownSeconds));
    return answer(commands.savePreset(name.toString(), qint32(seconds)));
}

using Handler = std::function<ControlAnswer(VoteCommands &, const QJsonObject &)>;

struct Entry
{
    const char *name;
    Handler handler;
};

const QList<Entry> &table()
{
    static const QList<Entry> entries {
        {"start", [](VoteCommands &c, const QJsonObject &) { return answer(c.startCounting()); }},
        {"stop", [](VoteCommands &c, const QJsonObject &) { return answer(c.stopCounting()); }},
        {"toggle", [](VoteCommands &c, const QJsonObject &) { return answer(c.toggleCounting()); }},
        {"clear-totals", [](VoteCommands &c, const QJsonObject &) { return answer(c.clearTotals()); }},
        {"clear-voters", [](VoteCommands &c, const QJsonObject &) { return answer(c.clearVoters()); }},
        {"countdown-start", startCountdown},
        {"countdown-stop",
         [](VoteCommands &c, const QJsonObject &) { return answer(c.stopCountdown()); }},
        {"add", [](VoteCommands &c, const QJsonObject &body) { return correct(c, body, true); }},
        {"subtract",
         [](VoteCommands &c, const QJsonObject &body) { return correct(c, body, false); }},
        {"preset-save", savePreset},
        {"preset-load",
         [](VoteCommands &c, const QJsonObject &body) { return usePreset(c, body, false); }},
        {"preset-start",
         [](VoteCommands &c, const QJsonObject &body) { return usePreset(c, body, true); }},
    };
    return entries;
}

} // namespace

ControlAnswer runControlCommand(VoteCommands &commands, const QByteArray &name,
                                const QByteArray &body)
{
    const Entry *found = nullptr;
    for (const Entry &entry : table()) {
        if (name == entry.name)
            found = &entry;
    }
    if (!found)
        return {404, QStringLiteral("unknown command: %1").arg(QString::fromUtf8(name.left(64))),
                QString()};
    QJsonObject object;
    if (!body.trimmed().isEmpty()) {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
        if (parseError.error != QJsonParseError::NoError || !document.isObject())
            return badBody(QStringLiteral("the body must be a JSON object"));
        object = document.object();
    }
    return found->handler(commands, object);
}

QStringList controlCommandNames()
{
    QStringList names;
    for (const Entry &entry : table())
        names.append(QString::fromLatin1(entry.name));
    return names;
}

QByteArray controlPresetsJson(const VoteCommands &commands)
{
    QJsonArray list;
    if (const VotePresets *presets = commands.presetList()) {
        for (int position = 0; position < presets->size(); ++position) {
            const VotePreset &preset = presets->list().at(position);
            list.append(QJsonObject {
                {QStringLiteral("number"), position + 1},
                {QStringLiteral("name"), preset.name},
                {QStringLiteral("question"), preset.setup.question},
                {QStringLiteral("mode"), preset.setup.mode},
                {QStringLiteral("vote_type"),
                 QString::fromLatin1(voteTypeName(preset.setup.voteType))},
                {QStringLiteral("countdown_seconds"), preset.countdownSeconds},
            });
        }
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}
