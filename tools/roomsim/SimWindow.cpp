#include "SimWindow.h"

#include "CrowdDriver.h"
#include "RoomSimulator.h"
#include "SimSession.h"

#include "vote/DefaultTeams.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTime>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kLogLines = 2000;

QString tr8(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

SimWindow::SimWindow(SimSession &simSession, QWidget *parent)
    : QWidget(parent)
    , session(simSession)
{
    setWindowTitle(tr8("直播间模拟器"));
    // The family the product's styles use; FontSetup maps it to an installed CJK font.
    QFont base(tr8("微软雅黑"));
    base.setPointSize(10);
    setFont(base);

    // The link.
    auto *linkBox = new QGroupBox(tr8("连接"));
    statusLabel = new QLabel;
    statusLabel->setTextFormat(Qt::RichText);
    portLabel = new QLabel;
    portLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    countersLabel = new QLabel;
    dropButton = new QPushButton(tr8("断开连接"));
    resumeButton = new QPushButton(tr8("恢复连接"));
    auto *linkGrid = new QGridLayout(linkBox);
    linkGrid->addWidget(statusLabel, 0, 0);
    linkGrid->addWidget(portLabel, 0, 1);
    linkGrid->addWidget(countersLabel, 1, 0);
    auto *linkButtons = new QHBoxLayout;
    linkButtons->addWidget(dropButton);
    linkButtons->addWidget(resumeButton);
    linkGrid->addLayout(linkButtons, 1, 1);
    linkGrid->setColumnStretch(0, 1);

    // A viewer by hand.
    auto *viewerBox = new QGroupBox(tr8("观众"));
    nickEdit = new QLineEdit(tr8("观众001"));
    textEdit = new QLineEdit(session.options().crowdOptions.teams.value(0));
    textEdit->setPlaceholderText(tr8("弹幕内容"));
    auto *chatButton = new QPushButton(tr8("发送弹幕"));
    giftCombo = new QComboBox;
    for (int index = 1; index <= kTeamCount; ++index) {
        const DefaultTeam *team = defaultTeam(index);
        const QString label =
            tr8(team->giftName) + QStringLiteral("  ") + QLatin1String(team->giftId);
        const QString image = QLatin1String(team->image);
        if (QFile::exists(image))
            giftCombo->addItem(QIcon(image), label, QByteArray(team->giftId));
        else
            giftCombo->addItem(label, QByteArray(team->giftId));
    }
    giftCombo->setIconSize(QSize(20, 20));
    giftCount = new QSpinBox;
    giftCount->setRange(1, 9999);
    giftCount->setPrefix(tr8("× "));
    auto *giftButton = new QPushButton(tr8("送礼物"));
    auto *viewerGrid = new QGridLayout(viewerBox);
    viewerGrid->addWidget(new QLabel(tr8("昵称")), 0, 0);
    viewerGrid->addWidget(nickEdit, 0, 1, 1, 3);
    viewerGrid->addWidget(new QLabel(tr8("弹幕")), 1, 0);
    viewerGrid->addWidget(textEdit, 1, 1, 1, 2);
    viewerGrid->addWidget(chatButton, 1, 3);
    viewerGrid->addWidget(new QLabel(tr8("礼物")), 2, 0);
    viewerGrid->addWidget(giftCombo, 2, 1);
    viewerGrid->addWidget(giftCount, 2, 2);
    viewerGrid->addWidget(giftButton, 2, 3);
    viewerGrid->setColumnStretch(1, 1);

    // The crowd.
    auto *crowdBox = new QGroupBox(tr8("自动观众"));
    crowdSwitch = new QCheckBox(tr8("开启"));
    rateSpin = new QSpinBox;
    rateSpin->setRange(1, 10000);
    rateSpin->setSuffix(tr8(" 条/秒"));
    rateSpin->setValue(int(std::lround(std::max(1.0, session.crowd().rate()))));
    auto *crowdRow = new QHBoxLayout(crowdBox);
    crowdRow->addWidget(crowdSwitch);
    crowdRow->addSpacing(16);
    crowdRow->addWidget(new QLabel(tr8("速度")));
    crowdRow->addWidget(rateSpin);
    crowdRow->addStretch(1);

    // The frames.
    auto *logBox = new QGroupBox(tr8("日志"));
    logView = new QPlainTextEdit;
    logView->setReadOnly(true);
    logView->setMaximumBlockCount(kLogLines);
    logView->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto *logLayout = new QVBoxLayout(logBox);
    logLayout->addWidget(logView);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(linkBox);
    layout->addWidget(viewerBox);
    layout->addWidget(crowdBox);
    layout->addWidget(logBox, 1);
    resize(720, 560);
    // Beside the vote window (which opens at 5, 40 and is 774 wide), not under it.
    move(800, 40);

    RoomSimulator &room = session.simulator();
    CrowdDriver &crowd = session.crowd();
    connect(dropButton, &QPushButton::clicked, this, [this] {
        session.simulator().stopAccepting();
        refreshStatus();
    });
    connect(resumeButton, &QPushButton::clicked, this, [this] {
        session.simulator().resumeAccepting();
        refreshStatus();
    });
    connect(chatButton, &QPushButton::clicked, this, &SimWindow::sendChat);
    connect(textEdit, &QLineEdit::returnPressed, this, &SimWindow::sendChat);
    connect(giftButton, &QPushButton::clicked, this, &SimWindow::sendGift);
    connect(crowdSwitch, &QCheckBox::toggled, this,
            [this](bool on) { session.crowd().setRunning(on); });
    connect(rateSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int perSecond) { session.crowd().setRate(perSecond); });
    connect(&crowd, &CrowdDriver::runningChanged, this, [this](bool on) {
        const QSignalBlocker quiet(crowdSwitch);
        crowdSwitch->setChecked(on);
        refreshStatus();
    });
    connect(&room, &RoomSimulator::clientsChanged, this, &SimWindow::refreshStatus);
    connect(&room, &RoomSimulator::eventLog, this, &SimWindow::appendLog);
    connect(&room, &RoomSimulator::frameLog, this, &SimWindow::appendLog);
    connect(&refreshTimer, &QTimer::timeout, this, &SimWindow::refreshStatus);
    refreshTimer.start(250);

    {
        const QSignalBlocker quiet(crowdSwitch);
        crowdSwitch->setChecked(crowd.isRunning());
    }
    refreshStatus();
}

void SimWindow::appendLog(const QString &line)
{
    logView->appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + line);
}

void SimWindow::refreshStatus()
{
    const RoomSimulator &room = session.simulator();
    QString colour = QStringLiteral("#9e9e9e");
    QString text;
    if (!room.isAccepting()) {
        colour = QStringLiteral("#e53935");
        text = tr8("已断开，不接受连接");
    } else if (room.authenticatedCount() > 0) {
        colour = QStringLiteral("#43a047");
        text = tr8("已连接 %1 个客户端").arg(room.authenticatedCount());
    } else if (room.clientCount() > 0) {
        colour = QStringLiteral("#fb8c00");
        text = tr8("客户端已连上，等待认证…");
    } else {
        text = tr8("等待插件连接…");
    }
    statusLabel->setText(
        QStringLiteral("<span style=\"color:%1\">●</span> <b>%2</b>").arg(colour, text));
    portLabel->setText(tr8("127.0.0.1 端口 %1").arg(room.port()));
    countersLabel->setText(tr8("已发送 %1 条消息，重复 %2 条")
                               .arg(room.summary().sent())
                               .arg(room.summary().repeats()));
    dropButton->setEnabled(room.isAccepting());
    resumeButton->setEnabled(!room.isAccepting());
    const CrowdDriver &crowd = session.crowd();
    crowdSwitch->setEnabled(!crowd.isFinished());
    crowdSwitch->setText(crowd.isFinished() ? tr8("已发完") : tr8("开启"));
}

void SimWindow::sendChat()
{
    const QByteArray nick = nickEdit->text().toUtf8();
    const QByteArray text = textEdit->text().toUtf8();
    if (!session.sendChat(nick, text))
        appendLog(tr8("未发送：没有已认证的客户端"));
    refreshStatus();
}

void SimWindow::sendGift()
{
    const QByteArray nick = nickEdit->text().toUtf8();
    const QByteArray productId = giftCombo->currentData().toByteArray();
    if (!session.sendGift(nick, productId, giftCount->value()))
        appendLog(tr8("未发送：没有已认证的客户端"));
    refreshStatus();
}
