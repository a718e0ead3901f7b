#include "ui/PresetsDialog.h"

#include "records/VoteRecord.h"
#include "remote/RemoteSettings.h"
#include "shell/CTitleBar.h"
#include "ui/CardDialog.h"
#include "ui/StyleFill.h"
#include "vote/VoteCommands.h"
#include "vote/VotePresets.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int kPanelWidth = 560;
constexpr int kPanelHeight = 493;

QString rowTextOf(int position, const VotePreset &preset)
{
    const RecordSettings &setup = preset.setup;
    QStringList names;
    for (int index = 1; index <= setup.mode; ++index) {
        const QByteArray &name = setup.teams[index].name;
        names << (name.isEmpty() ? QStringLiteral("%1队").arg(index) : QString::fromUtf8(name));
    }
    QString second = names.join(QStringLiteral(" · ")) + QStringLiteral("    ")
        + (setup.voteType == VoteType::Text ? QStringLiteral("文字投票") : QStringLiteral("礼物投票"));
    if (preset.countdownSeconds > 0)
        second += QStringLiteral("    倒计时 %1 秒").arg(preset.countdownSeconds);
    QString first = QStringLiteral("%1. %2").arg(position + 1).arg(preset.name);
    if (!setup.question.isEmpty())
        first += QStringLiteral("    ") + setup.question;
    return first + QLatin1Char('\n') + second;
}

QPushButton *cardButton(const QString &text, const char *name, int width)
{
    auto *button = new QPushButton(text);
    button->setObjectName(QLatin1String(name));
    button->setFixedSize(width, 36);
    button->setStyleSheet(QString::fromUtf8(VoteStyles::kConfirmButton)
                          + QString::fromUtf8(VoteStyles::kRecordsDisabledButton));
    return button;
}

} // namespace

PresetsDialog::PresetsDialog(QWidget *parent, VoteCommands *voteCommands, VotePresets *list_,
                             Hotkeys keys)
    : QDialog(parent)
    , commands(voteCommands)
    , presets(list_)
    , hotkeys(std::move(keys))
{
    titleBar = CardDialog::setUp(this, "预设");

    auto *panel = new QFrame(this);
    list = new QListWidget;
    list->setObjectName(QStringLiteral("presetList"));
    list->setStyleSheet(QString::fromUtf8(VoteStyles::kRecordsList));
    list->verticalScrollBar()->setStyleSheet(QString::fromUtf8(VoteStyles::kScrollBar));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setUniformItemSizes(true);

    nameEdit = new QLineEdit;
    nameEdit->setObjectName(QStringLiteral("presetNameEdit"));
    nameEdit->setPlaceholderText(QStringLiteral("预设名称"));
    nameEdit->setMaxLength(32);
    nameEdit->setFixedHeight(30);
    nameEdit->setStyleSheet(QString::fromUtf8(VoteStyles::kNumberEdit));
    countdownCheck = new QCheckBox(
        QStringLiteral("含倒计时（%1 秒）").arg(commands->countdownSeconds()));
    countdownCheck->setObjectName(QStringLiteral("presetCountdownCheck"));
    countdownCheck->setStyleSheet(QString::fromUtf8(VoteStyles::kRuleCheck));

    status = new QLabel;
    status->setObjectName(QStringLiteral("presetStatus"));
    status->setWordWrap(true);
    status->setTextFormat(Qt::PlainText);

    saveButton = cardButton(QStringLiteral("保存当前"), "presetSaveButton", 100);
    loadButton = cardButton(QStringLiteral("载入"), "presetLoadButton", 80);
    removeButton = cardButton(QStringLiteral("删除"), "presetRemoveButton", 80);
    upButton = cardButton(QStringLiteral("上移"), "presetUpButton", 70);
    downButton = cardButton(QStringLiteral("下移"), "presetDownButton", 70);

    auto *nameRow = new QHBoxLayout;
    nameRow->setContentsMargins(0, 0, 0, 0);
    nameRow->setSpacing(10);
    nameRow->addWidget(nameEdit, 1);
    nameRow->addWidget(countdownCheck);

    // The first nine presets can each have a hotkey that loads and starts it.
    auto *hotkeyRow = new QHBoxLayout;
    hotkeyRow->setContentsMargins(0, 0, 0, 0);
    hotkeyRow->setSpacing(10);
    if (hotkeys.set) {
        hotkeyCaption = new QLabel;
        hotkeyCaption->setStyleSheet(
            VoteStyles::fill(VoteStyles::kRecordsNote, QStringLiteral("51,51,51,1")));
        hotkeyEdit = new QKeySequenceEdit;
        hotkeyEdit->setObjectName(QStringLiteral("presetHotkeyEdit"));
        hotkeyEdit->setFixedSize(160, 28);
        hotkeyEdit->setStyleSheet(QString::fromUtf8(VoteStyles::kHotkeyEdit));
        auto *clear = cardButton(QStringLiteral("清除"), "presetHotkeyClear", 60);
        clear->setFixedHeight(28);
        hotkeyRow->addWidget(hotkeyCaption);
        hotkeyRow->addWidget(hotkeyEdit);
        hotkeyRow->addWidget(clear);
        hotkeyRow->addStretch();
        connect(hotkeyEdit, &QKeySequenceEdit::editingFinished, this, &PresetsDialog::hotkeyChanged);
        connect(clear, &QPushButton::clicked, this, [this] {
            hotkeyEdit->clear();
            hotkeyChanged();
        });
    }

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(10);
    for (QPushButton *button : {saveButton, loadButton, removeButton, upButton, downButton})
        buttons->addWidget(button);

    auto *panelLayout = new QVBoxLayout;
    panelLayout->setContentsMargins(26, 0, 26, 20);
    panelLayout->setSpacing(10);
    panelLayout->addWidget(titleBar);
    panelLayout->addWidget(list, 1);
    panelLayout->addLayout(nameRow);
    panelLayout->addLayout(hotkeyRow);
    panelLayout->addWidget(status);
    panelLayout->addLayout(buttons);
    CardDialog::placePanel(this, panel, panelLayout, QSize(kPanelWidth, kPanelHeight));

    connect(titleBar, &CTitleBar::OnClose, this, &QDialog::reject);
    connect(list, &QListWidget::currentRowChanged, this, &PresetsDialog::choiceChanged);
    connect(saveButton, &QPushButton::clicked, this, &PresetsDialog::saveCurrent);
    connect(loadButton, &QPushButton::clicked, this, &PresetsDialog::loadChosen);
    connect(removeButton, &QPushButton::clicked, this, &PresetsDialog::removeChosen);
    connect(upButton, &QPushButton::clicked, this, [this] { moveChosen(-1); });
    connect(downButton, &QPushButton::clicked, this, [this] { moveChosen(1); });
    fill(0);
}

QString PresetsDialog::statusText() const
{
    return status->text();
}

void PresetsDialog::fill(int current)
{
    const QSignalBlocker quiet(list);
    list->clear();
    for (int position = 0; position < presets->size(); ++position)
        new QListWidgetItem(rowTextOf(position, presets->list().at(position)), list);
    if (presets->size() == 0) {
        auto *item = new QListWidgetItem(QStringLiteral("还没有预设：设好投票后，填写名称并点「保存当前」"), list);
        item->setFlags(Qt::NoItemFlags);
    } else {
        list->setCurrentRow(qBound(0, current, presets->size() - 1));
    }
    choiceChanged();
}

void PresetsDialog::choiceChanged()
{
    const int row = presets->size() > 0 ? list->currentRow() : -1;
    const bool chosen = row >= 0;
    for (QPushButton *button : {loadButton, removeButton})
        button->setEnabled(chosen);
    upButton->setEnabled(chosen && row > 0);
    downButton->setEnabled(chosen && row < presets->size() - 1);
    if (chosen) {
        // Saving goes over the chosen one unless another name is typed.
        nameEdit->setText(presets->list().at(row).name);
        countdownCheck->setChecked(presets->list().at(row).countdownSeconds > 0);
    }
    if (hotkeyEdit) {
        const bool keyed = chosen && row < RemoteSettings::kPresetHotkeys;
        hotkeyEdit->setEnabled(keyed);
        hotkeyEdit->setKeySequence(keyed ? hotkeys.of(row + 1) : QKeySequence());
        hotkeyCaption->setText(keyed ? QStringLiteral("第%1个的快捷键（载入并开始）").arg(row + 1)
                                     : QStringLiteral("前9个预设可设快捷键"));
    }
}

void PresetsDialog::hotkeyChanged()
{
    const int row = list->currentRow();
    if (row < 0 || row >= RemoteSettings::kPresetHotkeys || row >= presets->size())
        return;
    const QString line = hotkeys.set(row + 1, hotkeyEdit->keySequence());
    if (!line.isEmpty()) {
        hotkeyEdit->clear();
        say(line, true);
    } else {
        say(hotkeyEdit->keySequence().isEmpty()
                ? QStringLiteral("已清除第%1个预设的快捷键").arg(row + 1)
                : QStringLiteral("第%1个预设的快捷键：%2")
                      .arg(row + 1)
                      .arg(hotkeyEdit->keySequence().toString(QKeySequence::NativeText)),
            false);
    }
}

void PresetsDialog::say(const QString &text, bool error)
{
    status->setStyleSheet(VoteStyles::fill(
        VoteStyles::kRecordsNote,
        error ? QStringLiteral("255,43,100,1") : QStringLiteral("155,155,155,1")));
    status->setText(text);
}

void PresetsDialog::saveCurrent()
{
    const QString name = nameEdit->text().trimmed();
    const CommandResult result = commands->savePreset(
        name, countdownCheck->isChecked() ? commands->countdownSeconds() : 0);
    if (!result.ok) {
        say(result.error, true);
        return;
    }
    fill(presets->find(name));
    say(QStringLiteral("已保存「%1」").arg(name), false);
}

void PresetsDialog::loadChosen()
{
    const int row = list->currentRow();
    const CommandResult result = commands->loadPreset(QString::number(row + 1));
    if (!result.ok)
        say(result.error, true);
    else if (!result.note.isEmpty())
        say(result.note, true);
    else
        say(QStringLiteral("已载入「%1」").arg(presets->list().at(row).name), false);
}

void PresetsDialog::removeChosen()
{
    const int row = list->currentRow();
    const QString name = presets->list().value(row).name;
    QString error;
    if (!presets->remove(row, &error)) {
        say(error, true);
        return;
    }
    fill(row);
    say(QStringLiteral("已删除「%1」").arg(name), false);
}

void PresetsDialog::moveChosen(int by)
{
    const int row = list->currentRow();
    QString error;
    if (!presets->move(row, row + by, &error)) {
        say(error, true);
        return;
    }
    fill(row + by);
}
