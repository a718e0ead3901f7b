#include "vote/VotePresets.h"

#include "platform/Platform.h"
#include "vote/VoteSession.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

constexpr int kFormatVersion = 1;

QJsonObject toJson(const VotePreset &preset)
{
    const RecordSettings &setup = preset.setup;
    QJsonArray teams;
    for (int index = 1; index <= kTeamCount; ++index) {
        const RecordTeam &team = setup.teams[index];
        teams.append(QJsonObject {
            {QStringLiteral("name"), QString::fromUtf8(team.name)},
            {QStringLiteral("gift_id"), QString::fromUtf8(team.giftId)},
            {QStringLiteral("gift_name"), team.giftName},
        });
    }
    return QJsonObject {
        {QStringLiteral("name"), preset.name},
        {QStringLiteral("question"), setup.question},
        {QStringLiteral("note_color"), setup.noteColor},
        {QStringLiteral("mode"), setup.mode},
        {QStringLiteral("vote_type"), QString::fromLatin1(voteTypeName(setup.voteType))},
        {QStringLiteral("countdown_seconds"), preset.countdownSeconds},
        {QStringLiteral("rules"),
         QJsonObject {
             {QStringLiteral("one_per_viewer"), setup.rules.onePerViewer},
             {QStringLiteral("allow_change"), setup.rules.allowChange},
             {QStringLiteral("cooldown_seconds"), setup.rules.cooldownSeconds},
             {QStringLiteral("stop_at_time_up"), setup.rules.stopAtTimeUp},
             {QStringLiteral("vote_by_number"), setup.rules.voteByNumber},
         }},
        {QStringLiteral("teams"), teams},
    };
}

// Strict: a value of another type than ours means the file is not ours to
// rewrite, so nothing is taken from it.
struct Reader
{
    bool ok = true;

    QString text(const QJsonObject &object, const char *key, int longest)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isString() || value.toString().size() > longest)
            ok = false;
        return value.toString();
    }

    qint64 number(const QJsonObject &object, const char *key, qint64 low, qint64 high)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        const double number = value.toDouble(-1);
        if (!value.isDouble() || number < double(low) || number > double(high)
            || number != double(qint64(number)))
            ok = false;
        return ok ? qint64(number) : low;
    }

    bool flag(const QJsonObject &object, const char *key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isBool())
            ok = false;
        return value.toBool();
    }

    VotePreset preset(const QJsonValue &entry)
    {
        VotePreset preset;
        const QJsonObject object = entry.toObject();
        if (!entry.isObject())
            ok = false;
        RecordSettings &setup = preset.setup;
        preset.name = text(object, "name", 64);
        setup.question = text(object, "question", 256);
        setup.noteColor = qint32(number(object, "note_color", 0, 0xffffff));
        setup.mode = int(number(object, "mode", 2, kTeamCount));
        const QString type = text(object, "vote_type", 8);
        if (type != QLatin1String(voteTypeName(VoteType::Text))
            && type != QLatin1String(voteTypeName(VoteType::Gift)))
            ok = false;
        setup.voteType = type == QLatin1String(voteTypeName(VoteType::Text)) ? VoteType::Text
                                                                            : VoteType::Gift;
        preset.countdownSeconds = qint32(number(object, "countdown_seconds", 0, 9999));
        const QJsonValue rules = object.value(QStringLiteral("rules"));
        if (!rules.isObject())
            ok = false;
        const QJsonObject ruleObject = rules.toObject();
        setup.rules.onePerViewer = flag(ruleObject, "one_per_viewer");
        setup.rules.allowChange = flag(ruleObject, "allow_change") && setup.rules.onePerViewer;
        setup.rules.cooldownSeconds =
            int(number(ruleObject, "cooldown_seconds", 0, VoteRules::kLongestCooldown));
        setup.rules.stopAtTimeUp = flag(ruleObject, "stop_at_time_up");
        setup.rules.voteByNumber = flag(ruleObject, "vote_by_number");
        const QJsonValue teams = object.value(QStringLiteral("teams"));
        if (!teams.isArray() || teams.toArray().size() != kTeamCount)
            ok = false;
        for (int index = 1; index <= kTeamCount && ok; ++index) {
            const QJsonValue team = teams.toArray().at(index - 1);
            if (!team.isObject())
                ok = false;
            const QJsonObject teamObject = team.toObject();
            setup.teams[index].name = text(teamObject, "name", 64).toUtf8();
            setup.teams[index].giftId = text(teamObject, "gift_id", 64).toUtf8();
            setup.teams[index].giftName = text(teamObject, "gift_name", 64);
        }
        return preset;
    }
};

} // namespace

VotePreset VotePreset::of(const VoteSession &session, const QString &name, qint32 countdownSeconds)
{
    VotePreset preset;
    preset.name = name;
    preset.countdownSeconds = countdownSeconds;
    RecordSettings &setup = preset.setup;
    setup.question = session.question();
    setup.mode = session.voteMode();
    setup.voteType = session.voteType();
    setup.rules = session.rules();
    setup.noteColor = session.noteColor();
    for (int index = 1; index <= kTeamCount; ++index) {
        const TeamRecord &team = session.team(index);
        setup.teams[index].name = team.name;
        setup.teams[index].giftId = team.giftId;
        setup.teams[index].giftName = team.gift.name;
    }
    return preset;
}

bool VotePreset::operator==(const VotePreset &other) const
{
    if (name != other.name || countdownSeconds != other.countdownSeconds
        || setup.question != other.setup.question || setup.mode != other.setup.mode
        || setup.voteType != other.setup.voteType || setup.rules != other.setup.rules
        || setup.noteColor != other.setup.noteColor)
        return false;
    for (int index = 1; index <= kTeamCount; ++index) {
        const RecordTeam &a = setup.teams[index];
        const RecordTeam &b = other.setup.teams[index];
        if (a.name != b.name || a.giftId != b.giftId || a.giftName != b.giftName)
            return false;
    }
    return true;
}

QString VotePresets::defaultPath()
{
    return Platform::kivaFile(QStringLiteral("presets.json"));
}

VotePresets::VotePresets(const QString &path)
    : file(path)
{}

bool VotePresets::load(QString *error)
{
    presets.clear();
    QFile in(file);
    if (file.isEmpty() || !in.exists())
        return true;
    QList<VotePreset> read;
    Reader reader;
    if (in.size() > kMaxFileBytes || !in.open(QIODevice::ReadOnly)) {
        reader.ok = false;
    } else {
        const QJsonDocument document = QJsonDocument::fromJson(in.readAll());
        const QJsonValue list = document.object().value(QStringLiteral("presets"));
        reader.ok = document.isObject() && list.isArray()
            && list.toArray().size() <= kMaxPresets
            && document.object().value(QStringLiteral("version")).toInt() == kFormatVersion;
        for (const QJsonValue &entry : list.toArray()) {
            if (reader.ok)
                read.append(reader.preset(entry));
        }
    }
    in.close();
    if (reader.ok) {
        presets = read;
        return true;
    }
    // Not ours to overwrite: kept aside for the streamer, under a name of its own.
    const QString aside = file + QStringLiteral(".damaged-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const bool kept = QFile::rename(file, aside);
    if (error)
        *error = kept ? QStringLiteral("预设文件已损坏，已另存为 %1，预设列表为空。")
                            .arg(QDir::toNativeSeparators(aside))
                      : QStringLiteral("预设文件已损坏，无法读取：%1")
                            .arg(QDir::toNativeSeparators(file));
    return false;
}

int VotePresets::find(const QString &which) const
{
    bool isNumber = false;
    const int number = which.toInt(&isNumber);
    if (isNumber)
        return number >= 1 && number <= size() ? number - 1 : -1;
    for (int position = 0; position < size(); ++position) {
        if (presets.at(position).name == which)
            return position;
    }
    return -1;
}

bool VotePresets::saveAs(const VotePreset &preset, QString *error)
{
    const int same = find(preset.name);
    // A name that reads as a number would be found as that position instead.
    bool isNumber = false;
    preset.name.toInt(&isNumber);
    if (preset.name.trimmed().isEmpty() || isNumber) {
        if (error)
            *error = QStringLiteral("请填写预设名称（不能只是数字）");
        return false;
    }
    if (same >= 0)
        return replace(same, preset, error);
    if (size() >= kMaxPresets) {
        if (error)
            *error = QStringLiteral("预设已满（最多%1个）").arg(kMaxPresets);
        return false;
    }
    QList<VotePreset> next = presets;
    next.append(preset);
    return write(next, error);
}

bool VotePresets::replace(int position, const VotePreset &preset, QString *error)
{
    if (position < 0 || position >= size())
        return false;
    QList<VotePreset> next = presets;
    next[position] = preset;
    return write(next, error);
}

bool VotePresets::remove(int position, QString *error)
{
    if (position < 0 || position >= size())
        return false;
    QList<VotePreset> next = presets;
    next.removeAt(position);
    return write(next, error);
}

bool VotePresets::move(int from, int to, QString *error)
{
    if (from < 0 || from >= size() || to < 0 || to >= size())
        return false;
    QList<VotePreset> next = presets;
    next.move(from, to);
    return write(next, error);
}

bool VotePresets::write(const QList<VotePreset> &next, QString *error)
{
    QJsonArray list;
    for (const VotePreset &preset : next)
        list.append(toJson(preset));
    const QJsonObject document {
        {QStringLiteral("version"), kFormatVersion},
        {QStringLiteral("presets"), list},
    };
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(document).toJson()) < 0
        || !out.commit()) {
        if (error)
            *error = QStringLiteral("无法保存预设：%1").arg(out.errorString());
        return false;
    }
    presets = next;
    return true;
}
