// The vote window's prepared votes: the 预设 button and card, and the
// controls following a setup put into the session.
#include "ui/kivaPlugInVote.h"

#include "shell/CWndRemind.h"
#include "ui/PresetsDialog.h"
#include "ui/StyleFill.h"
#include "ui/WidgetFactory.h"
#include "ui/productsSelector.h"
#include "vote/DefaultTeams.h"
#include "vote/VoteCommands.h"
#include "vote/VotePresets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

QPushButton *kivaPlugInVote::addCountingRowButton(const QString &text, const char *name)
{
    QPushButton *button = WidgetFactory::sizedButton(
        QString::fromUtf8(VoteStyles::kOutlineButton), text, 65, 24);
    button->setObjectName(QLatin1String(name));
    // Before the row's closing stretch: the buttons there stay where they are.
    const int end = countingRow->count() - 1;
    countingRow->insertWidget(end, button);
    countingRow->insertSpacing(end, 15);
    return button;
}

void kivaPlugInVote::enablePresets(const QString &path)
{
    if (presets)
        return;
    presets = std::make_unique<VotePresets>(path);
    QString error;
    if (!presets->load(&error)) {
        QTimer::singleShot(0, this, [this, error] { showRemind(QStringLiteral("提示"), error, this); });
    }
    commands->setPresets(presets.get());
    connect(addCountingRowButton(QStringLiteral("预设"), "presetsButton"), &QPushButton::clicked,
            this, &kivaPlugInVote::showPresets);
}

void kivaPlugInVote::showPresets()
{
    if (!presets)
        return;
    PresetsDialog::Hotkeys keys;
    if (hotkeys) {
        keys.set = [this](int number, const QKeySequence &sequence) {
            return setHotkey(RemoteSettings::presetAction(number), sequence);
        };
        keys.of = [this](int number) {
            return QKeySequence::fromString(remote.hotkeys.value(RemoteSettings::presetAction(number)));
        };
    }
    PresetsDialog dialog(this, commands, presets.get(), keys);
    dialog.exec();
}

void kivaPlugInVote::showTeamGift(int index)
{
    const TeamRecord &team = vote.team(index);
    if (!team.gift.imageDir.isEmpty()) {
        showChosenGift(index);
        return;
    }
    // A compiled-in gift has its picture with the program.
    for (int other = 1; other <= kTeamCount; ++other) {
        if (team.giftId == defaultTeam(other)->giftId)
            teamWidgets[index].giftButton->setStyleSheet(VoteStyles::fill(
                VoteStyles::kGiftButton, QString::fromLatin1(defaultTeam(other)->image)));
    }
}

void kivaPlugInVote::showSetup()
{
    const int mode = vote.voteMode();
    (mode == 4 ? mode4Radio : mode == 3 ? mode3Radio : mode2Radio)->setChecked(true);
    {
        // The session holds the names, already cut to the mode's length: the
        // edits only show them.
        const QSignalBlocker quiet1(teamWidgets[1].nameEdit);
        const QSignalBlocker quiet2(teamWidgets[2].nameEdit);
        const QSignalBlocker quiet3(teamWidgets[3].nameEdit);
        const QSignalBlocker quiet4(teamWidgets[4].nameEdit);
        const QSignalBlocker quietQuestion(questionEdit);
        setMode(mode, false);
        for (int index = 1; index <= kTeamCount; ++index)
            teamWidgets[index].nameEdit->setText(QString::fromUtf8(vote.team(index).name));
        questionEdit->setText(vote.question());
    }
    showVoteType(vote.voteType());
    // The question keeps its first look until a colour other than the one shown is chosen.
    const qint32 colour = vote.noteColor();
    if (colour != noteColorShown)
        showNoteColor((colour >> 16) & 0xff, (colour >> 8) & 0xff, colour & 0xff);
    for (int index = 1; index <= kTeamCount; ++index)
        showTeamGift(index);
    showRules(vote.rules());
    secondsEdit->setText(QString::number(commands->countdownSeconds()));
    refreshVoterCounts();
    // The lead names the teams: it follows new names at once.
    if (mode == 2 && !leadLabel->text().isEmpty())
        refreshLead();
    overlayChanged();
}
