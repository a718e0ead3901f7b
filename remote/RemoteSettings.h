#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// What the streamer chose for driving the vote from elsewhere: the control
// API's switch and token, and the global hotkeys. Kept in the user's data
// folder as kiva/remote.json, readable by the user only:
//   {"enabled": false, "token": "<48 hex digits>", "hotkeys": {"toggle-counting": "Ctrl+Alt+S"}}
struct RemoteSettings
{
    // The hotkeys' actions, as remote.json names them.
    static constexpr const char *kToggleCounting = "toggle-counting";
    static constexpr const char *kClearTotals = "clear-totals";
    static constexpr const char *kToggleCountdown = "toggle-countdown";
    // "preset-1" to "preset-9": load and start that preset.
    static constexpr int kPresetHotkeys = 9;
    static QString presetAction(int number);
    // The preset an action starts (1..9); 0 for another action.
    static int presetOfAction(const QString &action);
    // Every action a hotkey can have, in the order the card lists them.
    static QStringList hotkeyActions();

    bool enabled = false; // the control API answers commands
    QByteArray token; // empty until remote control is first switched on
    QMap<QString, QString> hotkeys; // action -> key sequence ("Ctrl+Alt+S"); none by default

    bool operator==(const RemoteSettings &other) const
    {
        return enabled == other.enabled && token == other.token && hotkeys == other.hotkeys;
    }
    bool operator!=(const RemoteSettings &other) const { return !(*this == other); }

    // kiva/remote.json in the user's data folder.
    static QString defaultPath();
    // The settings in `path`: the defaults when there is no file; the
    // defaults and `error` when it cannot be read as settings.
    static RemoteSettings load(const QString &path, QString *error = nullptr);
    // Replaces the file whole (a crash leaves the old one), readable by the
    // user only. False with `error` when it cannot be written.
    bool save(const QString &path, QString *error = nullptr) const;

    // A new token: 192 bits from the system's random source, as hex digits.
    static QByteArray newToken();
    // Compares a token without telling by the time taken where it differs.
    static bool tokenMatches(const QByteArray &expected, const QByteArray &given);
};
