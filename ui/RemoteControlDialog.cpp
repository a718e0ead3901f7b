#include "ui/RemoteControlDialog.h"

#include "shell/CTitleBar.h"
#include "ui/CardDialog.h"
#include "ui/GlobalHotkeys.h"
#include "ui/StyleFill.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using VoteStyles::fill;

namespace {

constexpr int kPanelWidth = 460;
constexpr int kPanelHeight = 500;
constexpr int kCaptionWidth = 104;
// How long 复制 says 已复制.
constexpr int kCopiedMs = 1500;

const char kGrey[] = "155,155,155,1";
const char kPink[] = "231,22,106,1";

QLabel *caption(const QString &text, int width = 0)
{
    auto *label = new QLabel(text);
    label->setStyleSheet(fill(VoteStyles::kSelectorLabel, 13, 500, QStringLiteral("51,51,51,1"),
                              QStringLiteral("0,0,0,0"), 0));
    if (width)
        label->setFixedWidth(width);
    return label;
}

QLabel *note(const char *colour, const QString &text = QString())
{
    auto *label = new QLabel(text);
    label->setStyleSheet(fill(VoteStyles::kRecordsNote, QString::fromLatin1(colour)));
    label->setWordWrap(true);
    return label;
}

QPushButton *smallButton(const QString &text, const char *objectName)
{
    auto *button = new QPushButton(text);
    button->setFixedSize(60, 24);
    button->setStyleSheet(QString::fromUtf8(VoteStyles::kRemoteButton));
    button->setObjectName(QString::fromLatin1(objectName));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel *valueLabel(const QString &family)
{
    auto *label = new QLabel;
    label->setFixedHeight(26);
    label->setStyleSheet(fill(VoteStyles::kRemoteValue, family));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QFrame *section(QLayout *layout)
{
    auto *frame = new QFrame;
    frame->setStyleSheet(QString::fromUtf8(VoteStyles::kRemoteSection));
    layout->setContentsMargins(16, 14, 16, 14);
    frame->setLayout(layout);
    return frame;
}

QString hotkeyName(const QString &action)
{
    if (action == QLatin1String(RemoteSettings::kToggleCounting))
        return QStringLiteral("开始/停止计票");
    if (action == QLatin1String(RemoteSettings::kClearTotals))
        return QStringLiteral("清空票数");
    return QStringLiteral("开始/停止倒计时");
}

} // namespace

const QStringList &RemoteControlDialog::actions()
{
    static const QStringList all {QString::fromLatin1(RemoteSettings::kToggleCounting),
                                  QString::fromLatin1(RemoteSettings::kClearTotals),
                                  QString::fromLatin1(RemoteSettings::kToggleCountdown)};
    return all;
}

RemoteControlDialog::RemoteControlDialog(QWidget *parent, const RemoteSettings &settings,
                                         const QString &apiAddress, Apply applySettings)
    : QDialog(parent)
    , current(settings)
    , address(apiAddress)
    , apply(std::move(applySettings))
{
    titleBar = CardDialog::setUp(this, "遥控");

    auto *panel = new QFrame(this);
    auto *done = new QPushButton(QStringLiteral("完成"));
    done->setFixedSize(120, 40);
    done->setStyleSheet(QString::fromUtf8(VoteStyles::kConfirmButton));
    done->setObjectName(QStringLiteral("doneButton"));

    auto *panelLayout = new QVBoxLayout;
    panelLayout->setContentsMargins(26, 0, 26, 20);
    panelLayout->setSpacing(12);
    panelLayout->addWidget(titleBar);
    panelLayout->addWidget(buildRemoteSection());
    panelLayout->addWidget(buildHotkeySection());
    panelLayout->addStretch();
    panelLayout->addWidget(done, 0, Qt::AlignHCenter);
    CardDialog::placePanel(this, panel, panelLayout, QSize(kPanelWidth, kPanelHeight));

    connect(titleBar, &CTitleBar::OnClose, this, &QDialog::reject);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
}

QWidget *RemoteControlDialog::buildRemoteSection()
{
    enabledBox = new QCheckBox(QStringLiteral("允许遥控"));
    enabledBox->setStyleSheet(QString::fromUtf8(VoteStyles::kRuleCheck));
    enabledBox->setObjectName(QStringLiteral("remoteSwitch"));
    enabledBox->setChecked(current.enabled);
    enabledBox->setCursor(Qt::PointingHandCursor);

    auto *what = note(kGrey,
                      QStringLiteral("开启后，本机的遥控工具（Stream Deck、Companion、kiva-remote）"
                                     "凭下面的地址和令牌控制投票。"));

    addressLabel = valueLabel(QStringLiteral("微软雅黑"));
    addressLabel->setText(address);
    addressLabel->setObjectName(QStringLiteral("remoteAddress"));
    auto *addressRow = new QHBoxLayout;
    addressRow->setSpacing(8);
    addressRow->addWidget(caption(QStringLiteral("地址"), 40));
    addressRow->addWidget(addressLabel, 1);

    showButton = smallButton(QStringLiteral("显示"), "showTokenButton");
    copyButton = smallButton(QStringLiteral("复制"), "copyTokenButton");
    newTokenButton = smallButton(QStringLiteral("换一个"), "newTokenButton");
    newTokenButton->setToolTip(QStringLiteral("换一个新令牌：旧令牌立即失效，遥控工具要填新的"));
    auto *tokenRow = new QHBoxLayout;
    tokenRow->setSpacing(8);
    tokenRow->addWidget(caption(QStringLiteral("令牌"), 40));
    tokenRow->addStretch();
    tokenRow->addWidget(showButton);
    tokenRow->addWidget(copyButton);
    tokenRow->addWidget(newTokenButton);

    tokenLabel = valueLabel(QStringLiteral("monospace"));
    tokenLabel->setObjectName(QStringLiteral("tokenLabel"));

    auto *layout = new QVBoxLayout;
    layout->setSpacing(8);
    layout->addWidget(enabledBox);
    layout->addWidget(what);
    layout->addLayout(addressRow);
    layout->addLayout(tokenRow);
    layout->addWidget(tokenLabel);
    showToken();

    connect(enabledBox, &QCheckBox::toggled, this, &RemoteControlDialog::switched);
    connect(showButton, &QPushButton::clicked, this, [this] {
        tokenShown = !tokenShown;
        showToken();
    });
    connect(copyButton, &QPushButton::clicked, this, &RemoteControlDialog::copyToken);
    connect(newTokenButton, &QPushButton::clicked, this, &RemoteControlDialog::replaceToken);
    return section(layout);
}

QWidget *RemoteControlDialog::buildHotkeySection()
{
    auto *head = new QHBoxLayout;
    head->setSpacing(8);
    head->addWidget(caption(QStringLiteral("全局快捷键")));
    QString why;
    const bool here = GlobalHotkeys::available(&why);
    hotkeysNote = note(here ? kGrey : kPink, here ? QStringLiteral("窗口不在前台时也有效") : why);
    hotkeysNote->setObjectName(QStringLiteral("hotkeysNote"));
    head->addWidget(hotkeysNote, 1);

    auto *layout = new QVBoxLayout;
    layout->setSpacing(2);
    layout->addLayout(head);
    layout->addSpacing(6);
    for (const QString &action : actions()) {
        Row row;
        row.edit = new QKeySequenceEdit(
            QKeySequence::fromString(current.hotkeys.value(action), QKeySequence::PortableText));
        row.edit->setFixedSize(150, 28);
        row.edit->setStyleSheet(QString::fromUtf8(VoteStyles::kHotkeyEdit));
        row.edit->setObjectName(QStringLiteral("hotkeyEdit-") + action);
        if (auto *line = row.edit->findChild<QLineEdit *>())
            line->setPlaceholderText(QStringLiteral("点这里按下按键"));
        row.clear = smallButton(QStringLiteral("清除"), "");
        row.clear->setObjectName(QStringLiteral("hotkeyClear-") + action);
        row.line = note(kPink);
        row.line->setObjectName(QStringLiteral("hotkeyLine-") + action);
        row.line->setFixedHeight(16);
        row.line->setWordWrap(false);

        auto *keys = new QHBoxLayout;
        keys->setSpacing(8);
        keys->addWidget(caption(hotkeyName(action), kCaptionWidth));
        keys->addWidget(row.edit);
        keys->addWidget(row.clear);
        keys->addStretch();
        auto *lineRow = new QHBoxLayout;
        lineRow->addSpacing(kCaptionWidth + 8);
        lineRow->addWidget(row.line, 1);
        layout->addLayout(keys);
        layout->addLayout(lineRow);
        rows.insert(action, row);

        connect(row.edit, &QKeySequenceEdit::editingFinished, this,
                [this, action] { hotkeyEdited(action); });
        connect(row.clear, &QPushButton::clicked, this, [this, action] { hotkeyCleared(action); });
    }
    return section(layout);
}

void RemoteControlDialog::showHotkeyLines(const QMap<QString, QString> &lines)
{
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        const QString text = lines.value(it.key());
        it->line->setText(text);
        it->line->setToolTip(text);
    }
}

void RemoteControlDialog::switched(bool on)
{
    current.enabled = on;
    // The first switch-on makes the token; it stays when switched off.
    if (on && current.token.isEmpty())
        current.token = RemoteSettings::newToken();
    showToken();
    applyNow();
}

void RemoteControlDialog::showToken()
{
    const bool haveToken = !current.token.isEmpty();
    if (!haveToken)
        tokenLabel->setText(QStringLiteral("开启遥控后生成"));
    else if (tokenShown)
        tokenLabel->setText(QString::fromLatin1(current.token));
    else
        tokenLabel->setText(QString(current.token.size(), QChar(0x2022)));
    showButton->setText(tokenShown ? QStringLiteral("隐藏") : QStringLiteral("显示"));
    showButton->setEnabled(haveToken);
    copyButton->setEnabled(haveToken);
}

void RemoteControlDialog::copyToken()
{
    QGuiApplication::clipboard()->setText(QString::fromLatin1(current.token));
    copyButton->setText(QStringLiteral("已复制"));
    QTimer::singleShot(kCopiedMs, copyButton, [button = QPointer<QPushButton>(copyButton)] {
        if (button)
            button->setText(QStringLiteral("复制"));
    });
}

void RemoteControlDialog::replaceToken()
{
    current.token = RemoteSettings::newToken();
    showToken();
    applyNow();
}

void RemoteControlDialog::hotkeyEdited(const QString &action)
{
    QKeySequenceEdit *edit = rows.value(action).edit;
    QKeySequence sequence = edit->keySequence();
    // A hotkey is one combination: the first one pressed holds.
    if (sequence.count() > 1) {
        sequence = QKeySequence(sequence[0]);
        edit->setKeySequence(sequence);
    }
    const QString text = sequence.toString(QKeySequence::PortableText);
    if (text == current.hotkeys.value(action))
        return;
    if (text.isEmpty())
        current.hotkeys.remove(action);
    else
        current.hotkeys.insert(action, text);
    applyNow();
}

void RemoteControlDialog::hotkeyCleared(const QString &action)
{
    rows.value(action).edit->clear();
    if (!current.hotkeys.remove(action))
        return;
    applyNow();
}

void RemoteControlDialog::applyNow()
{
    showHotkeyLines(apply ? apply(current) : QMap<QString, QString>());
}
