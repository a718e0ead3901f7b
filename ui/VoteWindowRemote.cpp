// The vote window driven from elsewhere: the control API on the results
// page's server, the global hotkeys and the 遥控 card. Every command goes
// through the same VoteCommands as the buttons.
#include "ui/kivaPlugInVote.h"

#include "overlay/OverlayServer.h"
#include "remote/ControlCommands.h"
#include "ui/GlobalHotkeys.h"
#include "ui/RemoteControlDialog.h"
#include "vote/VoteCommands.h"

#include <QDebug>
#include <QPushButton>

void kivaPlugInVote::enableRemoteControl(const QString &settingsPath, const QByteArray &token)
{
    if (hotkeys)
        return;
    remotePath = settingsPath;
    QString error;
    remote = RemoteSettings::load(settingsPath, &error);
    if (!error.isEmpty())
        qWarning().noquote() << error << settingsPath;
    if (!token.isEmpty()) {
        // For this run only (scripts, tests): the user's file stays as it is.
        remote.enabled = true;
        remote.token = token;
    }
    hotkeys = new GlobalHotkeys(this);
    connect(hotkeys, &GlobalHotkeys::triggered, this, &kivaPlugInVote::hotkeyPressed);
    if (overlay)
        overlay->setControlHandler([this](const QByteArray &command, const QByteArray &body) {
            return runControlCommand(*commands, command, body);
        });
    holdRemote();
    connect(addCountingRowButton(QStringLiteral("遥控"), "remoteButton"), &QPushButton::clicked,
            this, &kivaPlugInVote::showRemoteControl);
}

QString kivaPlugInVote::remoteAddress() const
{
    const QString page = overlayAddress();
    return page.isEmpty() ? QString() : page.left(page.lastIndexOf(QLatin1Char('/')))
            + QStringLiteral("/control");
}

// Puts `remote` in force: the API's token, and each hotkey; the line to show
// beside each hotkey that could not be held.
QMap<QString, QString> kivaPlugInVote::holdRemote()
{
    if (overlay)
        overlay->setControlToken(remote.enabled ? remote.token : QByteArray());
    QMap<QString, QString> lines;
    for (const QString &action : RemoteSettings::hotkeyActions()) {
        const QString sequence = remote.hotkeys.value(action);
        QString error;
        if (sequence.isEmpty())
            hotkeys->clear(action);
        else if (!hotkeys->set(action, QKeySequence::fromString(sequence), &error))
            lines.insert(action, error);
    }
    hotkeyLines = lines;
    return lines;
}

void kivaPlugInVote::showRemoteControl()
{
    RemoteControlDialog card(this, remote, remoteAddress(), [this](const RemoteSettings &settings) {
        remote = settings;
        QString error;
        QMap<QString, QString> lines = holdRemote();
        if (!remote.save(remotePath, &error))
            lines.insert(QString(), error);
        return lines;
    });
    card.showHotkeyLines(hotkeyLines);
    remoteCardOpen = true;
    card.exec();
    remoteCardOpen = false;
}

QString kivaPlugInVote::setHotkey(const QString &action, const QKeySequence &sequence)
{
    RemoteSettings next = remote;
    if (sequence.isEmpty())
        next.hotkeys.remove(action);
    else
        next.hotkeys.insert(action, sequence.toString(QKeySequence::PortableText));
    remote = next;
    QMap<QString, QString> lines = holdRemote();
    QString error;
    if (lines.contains(action))
        remote.hotkeys.remove(action); // not held: not kept either
    if (!remote.save(remotePath, &error))
        return error;
    return lines.value(action);
}

void kivaPlugInVote::hotkeyPressed(const QString &action)
{
    // While the card is open its key fields take the keys.
    if (remoteCardOpen)
        return;
    CommandResult result = CommandResult::done();
    if (action == QLatin1String(RemoteSettings::kToggleCounting))
        result = commands->toggleCounting();
    else if (action == QLatin1String(RemoteSettings::kClearTotals))
        result = commands->clearTotals();
    else if (action == QLatin1String(RemoteSettings::kToggleCountdown))
        result = commands->toggleCountdown(commands->countdownSeconds());
    else if (const int preset = RemoteSettings::presetOfAction(action); preset > 0)
        result = commands->startPreset(QString::number(preset));
    // A key pressed over a game: a card would take its focus, so a refusal is only logged.
    if (!result.ok)
        qWarning().noquote() << "hotkey" << action << "refused:" << result.error;
}
