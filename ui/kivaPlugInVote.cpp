#include "ui/kivaPlugInVote.h"

#include "bridge/CIMkiva.h"
#include "catalogue/ApiUrls.h"
#include "catalogue/GiftCatalogue.h"
#include "overlay/OverlayServer.h"
#include "platform/Platform.h"
#include "records/VoteRecorder.h"
#include "report/ReportSender.h"
#include "shell/CWndRemind.h"
#include "shell/CardShadow.h"
#include "ui/RoomMessageDecoder.h"
#include "ui/StyleFill.h"
#include "ui/VoterListWidget.h"
#include "ui/WidgetFactory.h"
#include "vote/DefaultTeams.h"
#include "vote/HowToVote.h"
#include "vote/VoteCommands.h"
#include "vote/VotePresets.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDebug>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace {

constexpr int kWindowWidth = 774;
constexpr int kClosedPanelHeight = 550;
constexpr int kOpenPanelHeight = 785;

// The team boxes name the teams; their texts map to team indices.
int teamIndexOfBoxText(const QString &text)
{
    for (int index = 1; index <= kTeamCount; ++index) {
        if (text == WidgetFactory::teamBoxText(index))
            return index;
    }
    return 0;
}

// A count edit's text read as a base-10 number; 0 when it is none.
qint64 numberIn(const QLineEdit *edit)
{
    bool ok = false;
    const qint64 value = edit->text().toLongLong(&ok, 10);
    return ok ? value : 0;
}

} // namespace

kivaPlugInVote::kivaPlugInVote(QWidget *parent)
    : kivaPlugInVote(parent, BridgeOptions(), OverlayServer::portFromEnvironment(),
                     Platform::voteRecordsFolder())
{}

kivaPlugInVote::kivaPlugInVote(QWidget *parent, const BridgeOptions &bridge, int overlayPort,
                               const QString &recordsFolder)
    : QDialog(parent)
    , catalogue(new GiftCatalogue(this))
    , reports(std::make_unique<ReportSender>())
    , records(recordsFolder.isEmpty() ? nullptr : std::make_unique<VoteRecorder>(recordsFolder))
    , commands(new VoteCommands(
          vote, records.get(), [this](const char *button) { reportInteraction(button); }, this))
{
    buildWindow();
    connectCommands();
    startRecords();
    connectServices(bridge);

    if (overlayPort >= 0) {
        // What the page publishes is in the vote's record first.
        overlay = new OverlayServer(
            [this] {
                if (records)
                    records->flush();
                return overlayState();
            },
            this);
        if (!overlay->listen(quint16(overlayPort))) {
            // The vote goes on without the page; the streamer hears of it once,
            // when the window is up.
            QTimer::singleShot(0, this, [this] {
                showRemind(QStringLiteral("提示"), overlay->errorString(), this);
            });
        }
    }
    connect(questionEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        vote.setQuestion(text);
        overlayChanged();
    });
}

// The view follows the commands, whoever gave them.
void kivaPlugInVote::connectCommands()
{
    connect(commands, &VoteCommands::countingChanged, this, &kivaPlugInVote::showCounting);
    connect(commands, &VoteCommands::totalsCleared, this, &kivaPlugInVote::showTotalsCleared);
    connect(commands, &VoteCommands::votersCleared, this, [this] {
        for (int index = 1; index <= kTeamCount; ++index)
            teamWidgets[index].voterList->votersCleared();
    });
    connect(commands, &VoteCommands::teamCorrected, this, &kivaPlugInVote::showCorrected);
    connect(commands, &VoteCommands::countdownChanged, this, &kivaPlugInVote::showCountdown);
    connect(commands, &VoteCommands::setupChanged, this, &kivaPlugInVote::showSetup);
    // A countdown started from elsewhere runs for what the duration edit says.
    connect(secondsEdit, &QLineEdit::textChanged, this,
            [this] { commands->setCountdownSeconds(qint32(numberIn(secondsEdit))); });
}

OverlayState kivaPlugInVote::overlayState() const
{
    OverlayState state;
    state.question = vote.question();
    state.questionColour =
        QStringLiteral("#%1").arg(vote.noteColor() & 0xffffff, 6, 16, QLatin1Char('0'));
    state.mode = vote.voteMode();
    for (int index = 1; index <= kTeamCount && index <= state.mode; ++index) {
        OverlayTeam team;
        team.index = index;
        team.name = QString::fromUtf8(vote.team(index).name);
        team.votes = vote.team(index).votes;
        team.colour = QString::fromLatin1(defaultTeam(index)->colour);
        state.teams.append(team);
    }
    if (state.mode == 2)
        state.lead = leadLabel->text();
    state.countdown = commands->countdownText();
    state.counting = vote.isCounting();
    state.rules = vote.rules();
    for (int reason = 1; reason < kIgnoredReasonCount; ++reason)
        state.ignored[reason] = vote.ignoredCount(IgnoredReason(reason));
    state.ruleLine = vote.ruleLine();
    const HowToVote howTo = HowToVote::of(vote);
    state.howTo = howTo.text;
    state.howToShort = howTo.brief;
    return state;
}

QString kivaPlugInVote::overlayAddress() const
{
    return overlay ? overlay->pageUrl() : QString();
}

void kivaPlugInVote::overlayChanged()
{
    if (overlay)
        overlay->markChanged();
}

kivaPlugInVote::~kivaPlugInVote()
{
    // The page's server asks this window for its state, and the catalogue's
    // answers land in it: both go while the window is whole.
    delete overlay;
    delete catalogue;
}

void kivaPlugInVote::connectServices(const BridgeOptions &bridge)
{
    connect(catalogue, &GiftCatalogue::listReady, this, &kivaPlugInVote::listReady);
    connect(catalogue, &GiftCatalogue::listFailed, this, &kivaPlugInVote::listFailed);
    connect(catalogue, &GiftCatalogue::imageReady, this, &kivaPlugInVote::imageReady);

    imClient = new CIMkiva(this, bridge);
    // The decoder calls the slots while the message is handled, as it arrives.
    connect(imClient, &CIMkiva::textFrame, this,
            [this](const QByteArray &message) { dispatchRoomMessage(message.constData(), this); });
    connect(imClient, &CIMkiva::linkUp, this, &kivaPlugInVote::linkUp);
    // Queued: the socket finishes its failure (and starts the retry) before
    // a card runs its own loop.
    connect(imClient, &CIMkiva::linkFailed, this, &kivaPlugInVote::linkFailed,
            Qt::QueuedConnection);
    if (bridge.enabled)
        imClient->startLink();
}

void kivaPlugInVote::linkFailed()
{
    // Once per process; retries go on while the card is open. A failure the
    // link has already recovered from has nothing left to tell.
    if (linkReminderShown || imClient->isUp())
        return;
    linkReminderShown = true;
    showRemind(QStringLiteral("错误"), QStringLiteral("连接失败<br>请开启KIVA开播!"), this,
               &linkCard);
}

void kivaPlugInVote::linkUp()
{
    // The vote runs again: a failure card still open has nothing left to say.
    if (linkCard)
        linkCard->reject();
}

void kivaPlugInVote::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void kivaPlugInVote::paintEvent(QPaintEvent *event)
{
    // Nothing shows on the board that is not in the vote's record.
    if (records)
        records->flush();
    // The frame fills the window; its shadow shows only at the rounded corners.
    if (cornerShadow.size() != size())
        cornerShadow.swap(otherCornerShadow);
    if (cornerShadow.size() != size()) {
        QImage frame(size(), QImage::Format_ARGB32_Premultiplied);
        frame.fill(Qt::transparent);
        backgroundFrame->render(&frame, backgroundFrame->pos(), QRegion(), QWidget::RenderFlags());
        cornerShadow = cardShadowPicture(frame);
    }
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawImage(0, 0, cornerShadow);
}

void kivaPlugInVote::reportInteraction(const std::string &button)
{
    // Sent in the background: a slow or unreachable platform must not freeze the window.
    reports->send(reportUrl(QByteArray::fromStdString(button), vote.login()));
}

// Ends the vote window's run; start-up then ends the process with status 0.
void kivaPlugInVote::on_cancel_clicked()
{
    done(QDialog::Rejected);
}

void kivaPlugInVote::setVoteControlsEnabled(bool enabled)
{
    for (QWidget *control : {static_cast<QWidget *>(giftRadio), static_cast<QWidget *>(textRadio),
                             static_cast<QWidget *>(mode2Radio), static_cast<QWidget *>(mode3Radio),
                             static_cast<QWidget *>(mode4Radio)})
        control->setEnabled(enabled);
    for (int index = 1; index <= kTeamCount; ++index)
        teamWidgets[index].giftButton->setEnabled(enabled);
    // The rules hold for a whole count.
    for (QWidget *control :
         {static_cast<QWidget *>(onePerViewerCheck), static_cast<QWidget *>(cooldownCheck),
          static_cast<QWidget *>(cooldownEdit), static_cast<QWidget *>(stopAtTimeUpCheck),
          static_cast<QWidget *>(voteByNumberCheck)})
        control->setEnabled(enabled);
    allowChangeCheck->setEnabled(enabled && onePerViewerCheck->isChecked());
}

void kivaPlugInVote::showCounting(bool counting)
{
    startButton->setStyleSheet(
        VoteStyles::toggle(VoteStyles::kToggleStartButton,
                           counting ? VoteStyles::kRunningFill : VoteStyles::kStoppedFill));
    showLead(QString());
    setVoteControlsEnabled(!counting);
    startButton->setText(counting ? QStringLiteral("停止计票") : QStringLiteral("开始计票"));
    overlayChanged();
}

void kivaPlugInVote::on_start_clicked()
{
    const CommandResult result = commands->toggleCounting();
    if (!result.ok)
        showRemind(QStringLiteral("提示"), result.error, this);
}

void kivaPlugInVote::on_clear_ballot_clicked()
{
    commands->clearTotals();
}

void kivaPlugInVote::showTotalsCleared()
{
    for (int index = 1; index <= kTeamCount; ++index)
        teamWidgets[index].votesLabel->setText(QStringLiteral("0票"));
    showLead(QString());
    overlayChanged();
}

void kivaPlugInVote::on_clear_team_clicked()
{
    commands->clearVoters();
}

void kivaPlugInVote::showCountdown()
{
    const bool running = vote.countdownOn();
    startTimeButton->setText(running ? QStringLiteral("停止显示倒计时")
                                     : QStringLiteral("开始显示倒计时"));
    startTimeButton->setStyleSheet(
        VoteStyles::toggle(VoteStyles::kToggleCountdownButton,
                           running ? VoteStyles::kRunningFill : VoteStyles::kStoppedFill));
    secondsEdit->setEnabled(!running);
    countdownLabel->setText(commands->countdownText());
    overlayChanged();
}

void kivaPlugInVote::on_start_time_clicked()
{
    commands->toggleCountdown(qint32(numberIn(secondsEdit)));
}

void kivaPlugInVote::on_timer_event()
{
    commands->countdownTick();
}

void kivaPlugInVote::on_moreSetting_clicked()
{
    if (vote.moreSettingsShown()) {
        vote.setMoreSettingsShown(false);
        moreSettingButton->setText(QStringLiteral("更多设置 ﹀"));
        moreSettingPanel->hide();
        setFixedSize(kWindowWidth, kClosedPanelHeight);
    } else {
        vote.setMoreSettingsShown(true);
        moreSettingButton->setText(QStringLiteral("更多设置 ︿"));
        moreSettingPanel->show();
        setFixedSize(kWindowWidth, kOpenPanelHeight);
    }
}

void kivaPlugInVote::showVoteType(VoteType type)
{
    const bool gifts = type == VoteType::Gift;
    (gifts ? giftRadio : textRadio)->setChecked(true);
    vote.setVoteType(type);
    for (int index = 1; index <= kTeamCount; ++index)
        teamWidgets[index].giftButton->setVisible(gifts);
    overlayChanged(); // the page tells the audience how to vote
}

void kivaPlugInVote::on_gift_clicked()
{
    showVoteType(VoteType::Gift);
    reportInteraction("5");
}

void kivaPlugInVote::on_text_clicked()
{
    showVoteType(VoteType::Text);
    reportInteraction("6");
}

void kivaPlugInVote::setMode(int teams, bool report)
{
    divider23->setVisible(teams >= 3);
    divider34->setVisible(teams >= 4);
    teamWidgets[3].column->setVisible(teams >= 3);
    teamWidgets[4].column->setVisible(teams >= 4);
    vote.setVoteMode(teams);
    leadLabel->setVisible(teams == 2);
    ruleLineLeadLength = -1;
    refreshRuleLine();

    for (QComboBox *box : {addTeamBox, subTeamBox}) {
        box->clear();
        for (int index = 1; index <= teams; ++index)
            box->addItem(WidgetFactory::teamBoxText(index));
    }
    // Longer names than the new limit are cut; the edit reports the change.
    const int maxLength = maxTeamNameLength(teams);
    for (int index = 1; index <= teams; ++index)
        teamWidgets[index].nameEdit->setMaxLength(maxLength);
    overlayChanged();
    if (report)
        reportInteraction(teams == 2 ? "7" : teams == 3 ? "8" : "9");
}

void kivaPlugInVote::on_mode2_clicked()
{
    setMode(2);
}

void kivaPlugInVote::on_mode3_clicked()
{
    setMode(3);
}

void kivaPlugInVote::on_mode4_clicked()
{
    setMode(4);
}

void kivaPlugInVote::on_node_clicked()
{
    const qint32 packed = vote.noteColor();
    const QColor initial((packed / 65536) % 256, (packed / 256) % 256, packed % 256);
    const QColor chosen = QColorDialog::getColor(initial, this, QStringLiteral("选择颜色"));
    if (!chosen.isValid())
        return;
    showNoteColor(chosen.red(), chosen.green(), chosen.blue());
    reportInteraction("10");
}

void kivaPlugInVote::showNoteColor(int red, int green, int blue)
{
    questionEdit->setStyleSheet(VoteStyles::fill(VoteStyles::kQuestionColour, red, green, blue));
    questionEdit->update();
    swatchButton->setStyleSheet(VoteStyles::fill(VoteStyles::kSwatchTemplate, red, green, blue, red,
                                                 green, blue, red, green, blue));
    vote.setNoteColor(red, green, blue);
    noteColorShown = vote.noteColor();
    overlayChanged();
    swatchButton->update();
    questionEdit->update();
}

void kivaPlugInVote::adjustManualVotes(QLineEdit *countEdit, QComboBox *teamBox, bool add)
{
    const qint64 votes = numberIn(countEdit);
    const int index = teamIndexOfBoxText(teamBox->currentText());
    if (add)
        commands->addVotes(index, votes);
    else
        commands->subtractVotes(index, votes);
}

void kivaPlugInVote::showCorrected(int index)
{
    showVotes(index);
    if (vote.voteMode() == 2)
        refreshLead();
    overlayChanged();
}

void kivaPlugInVote::on_add_clicked()
{
    adjustManualVotes(addCountEdit, addTeamBox, true);
}

void kivaPlugInVote::on_sub_clicked()
{
    adjustManualVotes(subCountEdit, subTeamBox, false);
}

void kivaPlugInVote::applyRules()
{
    VoteRules rules;
    rules.onePerViewer = onePerViewerCheck->isChecked();
    rules.allowChange = allowChangeCheck->isChecked();
    if (cooldownCheck->isChecked())
        rules.cooldownSeconds =
            int(std::clamp<qint64>(numberIn(cooldownEdit), 1, VoteRules::kLongestCooldown));
    rules.stopAtTimeUp = stopAtTimeUpCheck->isChecked();
    rules.voteByNumber = voteByNumberCheck->isChecked();
    // Changing is a choice within one vote per viewer.
    allowChangeCheck->setEnabled(!vote.isCounting() && rules.onePerViewer);
    if (!vote.setRules(rules))
        return;
    for (int index = 1; index <= kTeamCount; ++index)
        teamWidgets[index].numberLabel->setVisible(rules.voteByNumber);
    ruleNames = vote.ruleNames();
    ruleLineLeadLength = -1;
    refreshRuleLine();
    overlayChanged();
}

void kivaPlugInVote::showRules(const VoteRules &rules)
{
    onePerViewerCheck->setChecked(rules.onePerViewer);
    allowChangeCheck->setChecked(rules.onePerViewer && rules.allowChange);
    cooldownCheck->setChecked(rules.cooldownSeconds > 0);
    if (rules.cooldownSeconds > 0) {
        const QSignalBlocker quiet(cooldownEdit);
        cooldownEdit->setText(QString::number(rules.cooldownSeconds));
    }
    stopAtTimeUpCheck->setChecked(rules.stopAtTimeUp);
    voteByNumberCheck->setChecked(rules.voteByNumber);
    applyRules();
}
