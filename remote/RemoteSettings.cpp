#include "remote/RemoteSettings.h"

#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>

namespace {

// No settings file is anywhere near this; a bigger one is not ours.
constexpr qint64 kMaxFileBytes = 64 * 1024;
constexpr int kTokenBytes = 24;

} // namespace

QString RemoteSettings::presetAction(int number)
{
    return QStringLiteral("preset-%1").arg(number);
}

int RemoteSettings::presetOfAction(const QString &action)
{
    if (!action.startsWith(QLatin1String("preset-")))
        return 0;
    bool ok = false;
    const int number = action.mid(7).toInt(&ok);
    return ok && number >= 1 && number <= kPresetHotkeys ? number : 0;
}

QStringList RemoteSettings::hotkeyActions()
{
    QStringList actions {QLatin1String(kToggleCounting), QLatin1String(kClearTotals),
                         QLatin1String(kToggleCountdown)};
    for (int number = 1; number <= kPresetHotkeys; ++number)
        actions << presetAction(number);
    return actions;
}

QString RemoteSettings::defaultPath()
{
    return Platform::kivaFile(QStringLiteral("remote.json"));
}

RemoteSettings RemoteSettings::load(const QString &path, QString *error)
{
    RemoteSettings settings;
    QFile file(path);
    if (!file.exists())
        return settings;
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return RemoteSettings();
    };
    if (file.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("无法读取遥控设置"));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return fail(QStringLiteral("遥控设置已损坏"));
    const QJsonObject object = document.object();
    settings.enabled = object.value(QStringLiteral("enabled")).toBool(false);
    const QByteArray token = object.value(QStringLiteral("token")).toString().toLatin1();
    // A token too short to guard the vote is no token: a new one is made at switch-on.
    if (token.size() >= 32)
        settings.token = token;
    else
        settings.enabled = false;
    const QJsonObject hotkeys = object.value(QStringLiteral("hotkeys")).toObject();
    for (auto it = hotkeys.begin(); it != hotkeys.end(); ++it) {
        const QString sequence = it.value().toString();
        if (!sequence.isEmpty())
            settings.hotkeys.insert(it.key(), sequence);
    }
    return settings;
}

bool RemoteSettings::save(const QString &path, QString *error) const
{
    QJsonObject hotkeyObject;
    for (auto it = hotkeys.begin(); it != hotkeys.end(); ++it)
        hotkeyObject.insert(it.key(), it.value());
    const QJsonObject object {
        {QStringLiteral("enabled"), enabled},
        {QStringLiteral("token"), QString::fromLatin1(token)},
        {QStringLiteral("hotkeys"), hotkeyObject},
    };
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    // The token opens the vote: the file is the user's alone from its first byte.
    const bool written = file.open(QIODevice::WriteOnly)
        && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        && file.write(QJsonDocument(object).toJson()) >= 0 && file.commit();
    if (!written && error)
        *error = QStringLiteral("无法保存遥控设置：%1").arg(file.errorString());
    return written;
}

QByteArray RemoteSettings::newToken()
{
    QByteArray bytes(kTokenBytes, Qt::Uninitialized);
    QRandomGenerator *source = QRandomGenerator::system();
    for (char &byte : bytes)
        byte = char(source->bounded(256));
    return bytes.toHex();
}

bool RemoteSettings::tokenMatches(const QByteArray &expected, const QByteArray &given)
{
    if (expected.isEmpty())
        return false;
    // Every byte is looked at whatever differs; only the length shows.
    unsigned difference = unsigned(expected.size() ^ given.size());
    for (int index = 0; index < expected.size(); ++index) {
        const uchar other = given.isEmpty() ? 0 : uchar(given.at(index % given.size()));
        difference |= unsigned(uchar(expected.at(index)) ^ other);
    }
    return difference == 0;
}
