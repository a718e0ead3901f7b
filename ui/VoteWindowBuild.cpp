// The vote window's widget tree: built once, in the constructor.
#include "ui/kivaPlugInVote.h"

#include "shell/CTitleBar.h"
#include "ui/StyleFill.h"
#include "ui/VoterListWidget.h"
#include "ui/WidgetFactory.h"
#include "vote/DefaultTeams.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

using namespace WidgetFactory;
using VoteStyles::fill;

namespace {

constexpr int kWindowX = 5;
constexpr int kWindowY = 40;
constexpr int kWindowWidth = 774;
constexpr int kClosedPanelHeight = 550;
// The counting rules' column at the more-settings panel's right edge.
constexpr int kRulesColumnWidth = 220;

QString sheet(const char *text)
{
    return QString::fromUtf8(text);
}

QString colourOf(int index)
{
    return QString::fromLatin1(defaultTeam(index)->colour);
}

QLabel *divider()
{
    auto *line = new QLabel;
    line->setStyleSheet(sheet(VoteStyles::kDivider));
    return line;
}

// The more-settings captions share one look.
QLabel *sectionCaption(const QString &text)
{
    return smallLabel(fill(VoteStyles::kSectionCaption, 12, 500, QStringLiteral("0,0,0,0.8")),
                      text);
}

QCheckBox *ruleCheck(const QString &text, int width)
{
    auto *check = new QCheckBox(text);
    check->setFixedSize(width, 16);
    check->setStyleSheet(QString::fromUtf8(VoteStyles::kRuleCheck));
    return check;
}

} // namespace

void kivaPlugInVote::buildWindow()
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);

    titleBar = new CTitleBar("", this);
    titleBar->setFixedHeight(61);
    titleBar->hideMaxButton(true);
    titleBar->hideMinButton(true);
    titleBar->setCloseIcon(":/res/resource/closebtn.png");
    const QByteArray titleStyle = fill(VoteStyles::kTitleText, 14, 600).toUtf8();
    titleBar->setTitle(QStringLiteral("计数器窗口"), titleStyle.constData());

    teamArea = new QWidget(this);
    teamArea->setFixedSize(730, 258);
    teamArea->setStyleSheet(sheet(VoteStyles::kAreaBackground));
    buildTeamArea();

    const QString caption13 = QStringLiteral("51,51,51,1");
    QLabel *countingCaption = sizedLabel(fill(VoteStyles::kCaption, 13, 500, caption13),
                                         QStringLiteral("票数计算"), 70, 20);
    startButton =
        sizedButton(sheet(VoteStyles::kOutlineButton), QStringLiteral("开始计票"), 65, 24);
    clearBallotButton =
        sizedButton(sheet(VoteStyles::kOutlineButton), QStringLiteral("清空票数"), 65, 24);
    clearTeamButton =
        sizedButton(sheet(VoteStyles::kOutlineButton), QStringLiteral("清空投票纪录"), 85, 24);
    // Only a window that keeps records shows them.
    if (records)
        recordsButton =
            sizedButton(sheet(VoteStyles::kOutlineButton), QStringLiteral("投票记录"), 65, 24);
    QLabel *countdownCaption = sizedLabel(fill(VoteStyles::kCaption, 13, 500, caption13),
                                          QStringLiteral("显示倒计时"), 90, 20);
    QLabel *durationCaption =
        sizedLabel(fill(VoteStyles::kCaption, 13, 400, caption13), QStringLiteral("时长"), 26, 18);
    secondsEdit = valuedNumberEdit(sheet(VoteStyles::kNumberEdit), QStringLiteral("100"), 60, 24);
    QLabel *secondsCaption =
        sizedLabel(fill(VoteStyles::kCaption, 13, 400, caption13), QStringLiteral("秒"), 13, 18);
    startTimeButton =
        sizedButton(sheet(VoteStyles::kOutlineButton), QStringLiteral("开始显示倒计时"), 115, 24);

    moreSettingButton = new QPushButton(QStringLiteral("更多设置 ﹀"), this);
    moreSettingButton->setFixedSize(78, 22);
    moreSettingButton->setStyleSheet(sheet(VoteStyles::kTextButton));

    moreSettingPanel = new QWidget;
    buildMoreSettings();
    moreSettingPanel->setStyleSheet(sheet(VoteStyles::kTransparentBackground));
    moreSettingPanel->setFixedSize(710, 300);
    moreSettingPanel->hide();

    countingRow = new QHBoxLayout;
    countingRow->setContentsMargins(0, 0, 0, 0);
    countingRow->addWidget(startButton);
    countingRow->addSpacing(15);
    countingRow->addWidget(clearBallotButton);
    countingRow->addSpacing(15);
    countingRow->addWidget(clearTeamButton);
    if (recordsButton) {
        countingRow->addSpacing(15);
        countingRow->addWidget(recordsButton);
    }
    countingRow->addStretch();

    auto *countdownRow = new QHBoxLayout;
    countdownRow->setContentsMargins(0, 0, 0, 0);
    countdownRow->addWidget(durationCaption);
    countdownRow->addWidget(secondsEdit);
    countdownRow->addWidget(secondsCaption);
    countdownRow->addWidget(startTimeButton);
    countdownRow->addStretch();

    auto *content = new QVBoxLayout;
    content->setContentsMargins(23, 0, 21, 0);
    content->addWidget(titleBar);
    content->addWidget(teamArea);
    content->addSpacing(20);
    content->addWidget(countingCaption);
    content->addSpacing(5);
    content->addLayout(countingRow);
    content->addSpacing(10);
    content->addWidget(countdownCaption);
    content->addSpacing(5);
    content->addLayout(countdownRow);
    content->addSpacing(10);
    content->addWidget(moreSettingButton);
    content->addSpacing(10);
    content->addWidget(moreSettingPanel);
    content->addStretch();

    backgroundFrame = new QFrame(this);
    backgroundFrame->setStyleSheet(sheet(VoteStyles::kFrameBackground));

    // Only the corner matters here: the resize below sets the size.
    setGeometry(kWindowX, kWindowY, qMax(1, backgroundFrame->width() - kWindowX),
                qMax(1, backgroundFrame->height() - kWindowY));

    // No drop shadow effect on this window: an effect re-renders and blurs the
    // whole window on every update, however small. The frame fills the
    // window, so the shadow shows only at the rounded corners; paintEvent
    // draws that part from a picture made once.

    backgroundFrame->setLayout(content);

    auto *outer = new QVBoxLayout;
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(backgroundFrame);
    setLayout(outer);

    resize(kWindowWidth, kClosedPanelHeight);

    // Names for finding the controls (tests, tools), after the members that hold them.
    startButton->setObjectName(QStringLiteral("startButton"));
    clearBallotButton->setObjectName(QStringLiteral("clearBallotButton"));
    clearTeamButton->setObjectName(QStringLiteral("clearTeamButton"));
    secondsEdit->setObjectName(QStringLiteral("secondsEdit"));
    startTimeButton->setObjectName(QStringLiteral("startTimeButton"));
    moreSettingButton->setObjectName(QStringLiteral("moreSettingButton"));
    moreSettingPanel->setObjectName(QStringLiteral("moreSettingPanel"));
    questionEdit->setObjectName(QStringLiteral("questionEdit"));
    countdownLabel->setObjectName(QStringLiteral("countdownLabel"));
    leadLabel->setObjectName(QStringLiteral("leadLabel"));
    ruleLabel->setObjectName(QStringLiteral("ruleLabel"));
    divider23->setObjectName(QStringLiteral("divider23"));
    divider34->setObjectName(QStringLiteral("divider34"));
    for (int index = 1; index <= kTeamCount; ++index) {
        const TeamWidgets &team = teamWidgets[index];
        const QString number = QString::number(index);
        team.column->setObjectName(QStringLiteral("column") + number);
        team.giftButton->setObjectName(QStringLiteral("giftButton") + number);
        team.numberLabel->setObjectName(QStringLiteral("numberLabel") + number);
        team.nameEdit->setObjectName(QStringLiteral("nameEdit") + number);
        team.votesLabel->setObjectName(QStringLiteral("votesLabel") + number);
        team.voterList->setObjectName(QStringLiteral("voterList") + number);
    }
    giftRadio->setObjectName(QStringLiteral("giftRadio"));
    textRadio->setObjectName(QStringLiteral("textRadio"));
    mode2Radio->setObjectName(QStringLiteral("mode2Radio"));
    mode3Radio->setObjectName(QStringLiteral("mode3Radio"));
    mode4Radio->setObjectName(QStringLiteral("mode4Radio"));
    swatchButton->setObjectName(QStringLiteral("swatchButton"));
    addTeamBox->setObjectName(QStringLiteral("addTeamBox"));
    addCountEdit->setObjectName(QStringLiteral("addCountEdit"));
    addButton->setObjectName(QStringLiteral("addButton"));
    subTeamBox->setObjectName(QStringLiteral("subTeamBox"));
    subCountEdit->setObjectName(QStringLiteral("subCountEdit"));
    subButton->setObjectName(QStringLiteral("subButton"));
    onePerViewerCheck->setObjectName(QStringLiteral("onePerViewerCheck"));
    allowChangeCheck->setObjectName(QStringLiteral("allowChangeCheck"));
    cooldownCheck->setObjectName(QStringLiteral("cooldownCheck"));
    cooldownEdit->setObjectName(QStringLiteral("cooldownEdit"));
    stopAtTimeUpCheck->setObjectName(QStringLiteral("stopAtTimeUpCheck"));
    voteByNumberCheck->setObjectName(QStringLiteral("voteByNumberCheck"));

    // Locked while counting (allowing a change also until one vote per
    // viewer is chosen): they say so by looking dimmed.
    for (QWidget *control :
         {static_cast<QWidget *>(giftRadio), static_cast<QWidget *>(textRadio),
          static_cast<QWidget *>(mode2Radio), static_cast<QWidget *>(mode3Radio),
          static_cast<QWidget *>(mode4Radio), static_cast<QWidget *>(onePerViewerCheck),
          static_cast<QWidget *>(allowChangeCheck), static_cast<QWidget *>(cooldownCheck),
          static_cast<QWidget *>(cooldownEdit), static_cast<QWidget *>(stopAtTimeUpCheck),
          static_cast<QWidget *>(voteByNumberCheck)})
        WidgetFactory::dimWhenDisabled(control);
    for (int index = 1; index <= kTeamCount; ++index)
        WidgetFactory::dimWhenDisabled(teamWidgets[index].giftButton);

    connect(startButton, SIGNAL(clicked(bool)), this, SLOT(on_start_clicked()));
    connect(clearBallotButton, SIGNAL(clicked(bool)), this, SLOT(on_clear_ballot_clicked()));
    connect(clearTeamButton, SIGNAL(clicked(bool)), this, SLOT(on_clear_team_clicked()));
    connect(startTimeButton, SIGNAL(clicked(bool)), this, SLOT(on_start_time_clicked()));
    connect(titleBar, SIGNAL(OnClose()), this, SLOT(on_cancel_clicked()));
    connect(moreSettingButton, SIGNAL(clicked(bool)), this, SLOT(on_moreSetting_clicked()));
    if (recordsButton) {
        recordsButton->setObjectName(QStringLiteral("recordsButton"));
        connect(recordsButton, &QPushButton::clicked, this, &kivaPlugInVote::showRecords);
    }
}

void kivaPlugInVote::buildTeamArea()
{
    QLabel *noteIcon = new QLabel;
    noteIcon->setFixedSize(19, 18);
    noteIcon->setStyleSheet(
        fill(VoteStyles::kIconLabel, QStringLiteral(":/res/resource/note.png")));

    questionEdit = new QLineEdit;
    questionEdit->setFixedSize(550, 44);
    questionEdit->setStyleSheet(sheet(VoteStyles::kQuestion));
    questionEdit->setPlaceholderText(
        QStringLiteral("此处填写投票问题（如：想看主播化妆还是卸妆？）"));
    questionEdit->setContextMenuPolicy(Qt::NoContextMenu);
    questionEdit->setMaxLength(24);

    countdownLabel = new QLabel(QStringLiteral(" "));
    countdownLabel->setFixedSize(80, 44);
    countdownLabel->setStyleSheet(sheet(VoteStyles::kCountdownDisplay));
    countdownLabel->setAlignment(Qt::AlignCenter);

    auto *questionRow = new QHBoxLayout;
    questionRow->setContentsMargins(22, 0, 5, 0);
    questionRow->setSpacing(0);
    questionRow->addWidget(noteIcon);
    questionRow->addWidget(questionEdit);
    questionRow->addStretch();
    questionRow->addWidget(countdownLabel);

    divider23 = divider();
    divider23->setFixedWidth(2);
    divider34 = divider();
    divider34->setFixedWidth(2);

    for (int index = 1; index <= kTeamCount; ++index)
        teamWidgets[index].column = buildTeamColumn(index);

    divider23->hide();
    divider34->hide();
    teamWidgets[3].column->hide();
    teamWidgets[4].column->hide();

    leadLabel = new QLabel;
    leadLabel->setFixedSize(706, 40);
    leadLabel->setStyleSheet(sheet(VoteStyles::kLeadLine));
    leadLabel->setAlignment(Qt::AlignCenter);

    // Shown only while a counting rule is on.
    ruleLabel = new QLabel;
    ruleLabel->setFixedHeight(40);
    ruleLabel->setTextFormat(Qt::PlainText);
    ruleLabel->setStyleSheet(fill(VoteStyles::kCaption, 13, 400, QStringLiteral("51,51,51,0.6")));
    ruleLabel->hide();
    auto *leadRow = new QHBoxLayout;
    leadRow->setContentsMargins(0, 0, 0, 0);
    leadRow->setSpacing(0);
    leadRow->addWidget(leadLabel);
    leadRow->addWidget(ruleLabel);
    leadRow->addStretch();

    QLabel *divider12 = divider();
    divider12->setFixedWidth(2);
    auto *teamRow = new QHBoxLayout;
    teamRow->setContentsMargins(0, 0, 0, 0);
    teamRow->setSpacing(0);
    teamRow->addWidget(teamWidgets[1].column, 0);
    teamRow->addWidget(divider12);
    teamRow->addWidget(teamWidgets[2].column, 0);
    teamRow->addWidget(divider23);
    teamRow->addWidget(teamWidgets[3].column, 0);
    teamRow->addWidget(divider34);
    teamRow->addWidget(teamWidgets[4].column, 0);

    QLabel *rule1 = divider();
    rule1->setFixedHeight(1);
    QLabel *rule2 = divider();
    rule2->setFixedHeight(1);
    auto *areaLayout = new QVBoxLayout;
    areaLayout->setContentsMargins(0, 0, 0, 0);
    areaLayout->setSpacing(0);
    areaLayout->addLayout(questionRow);
    areaLayout->addWidget(rule1);
    areaLayout->addLayout(teamRow);
    areaLayout->addWidget(rule2);
    areaLayout->addLayout(leadRow);
    teamArea->setLayout(areaLayout);

    connect(teamWidgets[1].nameEdit, SIGNAL(textChanged(const QString &)), this,
            SLOT(on_team1_changed(const QString &)));
    connect(teamWidgets[2].nameEdit, SIGNAL(textChanged(const QString &)), this,
            SLOT(on_team2_changed(const QString &)));
    connect(teamWidgets[3].nameEdit, SIGNAL(textChanged(const QString &)), this,
            SLOT(on_team3_changed(const QString &)));
    connect(teamWidgets[4].nameEdit, SIGNAL(textChanged(const QString &)), this,
            SLOT(on_team4_changed(const QString &)));
}

QWidget *kivaPlugInVote::buildTeamColumn(int index)
{
    TeamWidgets &team = teamWidgets[index];
    auto *column = new QWidget;
    column->setStyleSheet(sheet(VoteStyles::kColumnBackground));

    vote.applyDefaultGift(index);
    const QString colour = colourOf(index);

    team.giftButton = new QPushButton;
    team.giftButton->setFixedSize(35, 35);
    team.giftButton->setStyleSheet(
        fill(VoteStyles::kGiftButton, QString::fromLatin1(defaultTeam(index)->image)));
    team.giftButton->setToolTip(QStringLiteral("点击更换礼物"));

    team.numberLabel = new QLabel(QString::number(index));
    team.numberLabel->setStyleSheet(fill(VoteStyles::kTeamNumber, colour));
    team.numberLabel->setContentsMargins(4, 0, 2, 0);
    team.numberLabel->hide();

    team.nameEdit = new QLineEdit;
    team.nameEdit->setFixedHeight(39);
    team.nameEdit->setMaxLength(16);
    team.nameEdit->setContextMenuPolicy(Qt::NoContextMenu);
    team.nameEdit->setStyleSheet(fill(VoteStyles::kTeamName, colour));
    team.nameEdit->setPlaceholderText(QStringLiteral("编辑"));

    team.votesLabel = new QLabel;
    team.votesLabel->setFixedHeight(20);
    team.votesLabel->setMinimumWidth(80);
    team.votesLabel->setStyleSheet(fill(VoteStyles::kTeamVotes, colour));
    team.votesLabel->setText(QStringLiteral("0票"));
    team.votesLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    team.voterList = new VoterListWidget;
    team.voterList->setIconSize(QSize(90, 50));
    team.voterList->setResizeMode(QListView::Fixed);
    team.voterList->setViewMode(QListView::ListMode);
    team.voterList->setMovement(QListView::Static);
    team.voterList->setSpacing(1);
    team.voterList->setStyleSheet(sheet(VoteStyles::kVoterList));
    team.voterList->verticalScrollBar()->setStyleSheet(sheet(VoteStyles::kScrollBar));
    team.voterList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    team.voterList->setVoters(&vote.team(index).voters, colour);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(0);
    header->addWidget(team.giftButton);
    header->addWidget(team.numberLabel);
    header->addWidget(team.nameEdit);
    header->addWidget(team.votesLabel, 0, Qt::AlignRight | Qt::AlignVCenter);

    QLabel *rule = divider();
    rule->setFixedHeight(2);
    auto *columnLayout = new QVBoxLayout;
    columnLayout->setContentsMargins(10, 0, 11, 0);
    columnLayout->setSpacing(2);
    columnLayout->addLayout(header);
    columnLayout->addWidget(rule);
    columnLayout->addWidget(team.voterList);
    column->setLayout(columnLayout);

    connect(team.giftButton, SIGNAL(clicked(bool)), this, SLOT(on_products_clicked()));
    return column;
}

void kivaPlugInVote::buildMoreSettings()
{
    const QString radio = sheet(VoteStyles::kRadio);
    QLabel *voteTypeCaption = sectionCaption(QStringLiteral("投票方式"));
    giftRadio = radioButton(radio, QStringLiteral("礼物投票"));
    textRadio = radioButton(radio, QStringLiteral("文字投票"));
    giftRadio->setChecked(true);
    // The groups keep a vote-type click from unchecking a mode radio and back.
    voteTypeGroup = new QButtonGroup(this);
    voteTypeGroup->addButton(giftRadio);
    voteTypeGroup->addButton(textRadio);

    QLabel *modeCaption = sectionCaption(QStringLiteral("模式选择"));
    mode2Radio = radioButton(radio, QStringLiteral("两队模式"));
    mode3Radio = radioButton(radio, QStringLiteral("三队模式"));
    mode4Radio = radioButton(radio, QStringLiteral("四队模式"));
    mode2Radio->setChecked(true);
    teamWidgets[1].nameEdit->setMaxLength(8);
    teamWidgets[2].nameEdit->setMaxLength(8);
    modeGroup = new QButtonGroup(this);
    modeGroup->addButton(mode2Radio);
    modeGroup->addButton(mode3Radio);
    modeGroup->addButton(mode4Radio);

    QLabel *colourCaption = sectionCaption(QStringLiteral("公告颜色"));
    auto *colourLabel = new QLabel(QStringLiteral("颜色选择"));
    colourLabel->setFixedSize(50, 16);
    colourLabel->setStyleSheet(radio);
    swatchButton = new QPushButton(this);
    swatchButton->setFixedSize(40, 16);
    swatchButton->setStyleSheet(sheet(VoteStyles::kSwatch));

    QLabel *manualCaption = sectionCaption(QStringLiteral("手动加减票数"));
    const QString teamBoxStyle = fill(VoteStyles::kTeamBox, sheet(VoteStyles::kScrollBar));
    addTeamBox = teamBox(teamBoxStyle);
    addCountEdit = numberEdit(sheet(VoteStyles::kNumberEdit), QStringLiteral("手动加票"), 80, 16);
    addCountEdit->setAlignment(Qt::AlignCenter);
    addButton =
        iconButton(fill(VoteStyles::kImageButton, QStringLiteral(":/res/resource/addBtn.png")));
    subTeamBox = teamBox(teamBoxStyle);
    subCountEdit = numberEdit(sheet(VoteStyles::kNumberEdit), QStringLiteral("手动减票"), 80, 16);
    subCountEdit->setAlignment(Qt::AlignCenter);
    subButton = iconButton(
        fill(VoteStyles::kImageButton, QStringLiteral(":/res/resource/subtractBtn.png")));

    QLabel *rulesCaption = sectionCaption(QStringLiteral("计票规则"));
    onePerViewerCheck = ruleCheck(QStringLiteral("每人一票"), 80);
    allowChangeCheck = ruleCheck(QStringLiteral("允许改票"), 80);
    allowChangeCheck->setEnabled(false); // until one vote per viewer is chosen
    cooldownCheck = ruleCheck(QStringLiteral("冷却"), 50);
    cooldownEdit = valuedNumberEdit(sheet(VoteStyles::kNumberEdit), QStringLiteral("5"), 60, 16);
    cooldownEdit->setValidator(new QIntValidator(1, VoteRules::kLongestCooldown, cooldownEdit));
    cooldownEdit->setToolTip(
        QStringLiteral("请输入1~%1之间的数值").arg(VoteRules::kLongestCooldown));
    auto *secondsLabel = new QLabel(QStringLiteral("秒"));
    secondsLabel->setFixedSize(16, 16);
    secondsLabel->setStyleSheet(radio);
    stopAtTimeUpCheck = ruleCheck(QStringLiteral("倒计时结束停止计票"), 150);
    voteByNumberCheck = ruleCheck(QStringLiteral("编号投票"), 80);
    voteByNumberCheck->setToolTip(QStringLiteral("观众发送队伍编号（1~4）也可投票"));

    auto *voteTypeRow = new QHBoxLayout;
    voteTypeRow->setContentsMargins(0, 0, 0, 0);
    voteTypeRow->addWidget(giftRadio);
    voteTypeRow->addSpacing(10);
    voteTypeRow->addWidget(textRadio);
    voteTypeRow->addStretch();

    auto *modeRow = new QHBoxLayout;
    modeRow->setContentsMargins(0, 0, 0, 0);
    modeRow->addWidget(mode2Radio);
    modeRow->addSpacing(10);
    modeRow->addWidget(mode3Radio);
    modeRow->addSpacing(10);
    modeRow->addWidget(mode4Radio);
    modeRow->addStretch();

    auto *colourRow = new QHBoxLayout;
    colourRow->setContentsMargins(0, 0, 0, 0);
    colourRow->addWidget(colourLabel);
    colourRow->addSpacing(5);
    colourRow->addWidget(swatchButton);
    colourRow->addStretch();

    auto *manualRow = new QHBoxLayout;
    manualRow->setContentsMargins(0, 0, 0, 0);
    manualRow->addWidget(addTeamBox);
    manualRow->addSpacing(10);
    manualRow->addWidget(addCountEdit);
    manualRow->addSpacing(10);
    manualRow->addWidget(addButton);
    manualRow->addSpacing(10);
    manualRow->addWidget(subTeamBox);
    manualRow->addSpacing(10);
    manualRow->addWidget(subCountEdit);
    manualRow->addSpacing(10);
    manualRow->addWidget(subButton);
    manualRow->addStretch();

    // The counting rules stand in a column of their own at the panel's right,
    // beside the first three sections, which leave that side empty: the panel
    // keeps its size and the four sections stay where they are.
    auto *cooldownRow = new QHBoxLayout;
    cooldownRow->setContentsMargins(0, 0, 0, 0);
    cooldownRow->addWidget(cooldownCheck);
    cooldownRow->addWidget(cooldownEdit);
    cooldownRow->addSpacing(5);
    cooldownRow->addWidget(secondsLabel);
    cooldownRow->addStretch();

    // Changing a vote is a choice within one vote per viewer: under it, indented.
    auto *changeRow = new QHBoxLayout;
    changeRow->setContentsMargins(20, 0, 0, 0);
    changeRow->addWidget(allowChangeCheck);
    changeRow->addStretch();

    auto *rulesLayout = new QVBoxLayout;
    rulesLayout->setContentsMargins(0, 0, 0, 0);
    rulesLayout->setSpacing(0);
    rulesLayout->addWidget(rulesCaption);
    rulesLayout->addSpacing(5);
    rulesLayout->addWidget(onePerViewerCheck);
    rulesLayout->addSpacing(8);
    rulesLayout->addLayout(changeRow);
    rulesLayout->addSpacing(8);
    rulesLayout->addLayout(cooldownRow);
    rulesLayout->addSpacing(8);
    rulesLayout->addWidget(stopAtTimeUpCheck);
    rulesLayout->addSpacing(8);
    rulesLayout->addWidget(voteByNumberCheck);
    rulesLayout->addStretch();
    auto *rulesColumn = new QWidget;
    rulesColumn->setObjectName(QStringLiteral("rulesColumn"));
    rulesColumn->setFixedWidth(kRulesColumnWidth);
    rulesColumn->setLayout(rulesLayout);

    auto *panelLayout = new QVBoxLayout;
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(voteTypeCaption);
    panelLayout->addSpacing(5);
    panelLayout->addLayout(voteTypeRow);
    panelLayout->addSpacing(10);
    panelLayout->addWidget(modeCaption);
    panelLayout->addSpacing(5);
    panelLayout->addLayout(modeRow);
    panelLayout->addSpacing(10);
    panelLayout->addWidget(colourCaption);
    panelLayout->addSpacing(2);
    panelLayout->addLayout(colourRow);
    panelLayout->addSpacing(10);
    panelLayout->addWidget(manualCaption);
    panelLayout->addSpacing(2);
    panelLayout->addLayout(manualRow);
    panelLayout->addStretch();
    // The sections keep the spacing they have as the panel's own layout.
    panelLayout->setSpacing(
        moreSettingPanel->style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing, nullptr,
                                               moreSettingPanel));
    auto *columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    columns->addLayout(panelLayout, 1);
    columns->addWidget(rulesColumn, 0, Qt::AlignTop);
    moreSettingPanel->setLayout(columns);

    connect(giftRadio, SIGNAL(clicked(bool)), this, SLOT(on_gift_clicked()));
    connect(textRadio, SIGNAL(clicked(bool)), this, SLOT(on_text_clicked()));
    connect(mode2Radio, SIGNAL(clicked(bool)), this, SLOT(on_mode2_clicked()));
    connect(mode3Radio, SIGNAL(clicked(bool)), this, SLOT(on_mode3_clicked()));
    connect(mode4Radio, SIGNAL(clicked(bool)), this, SLOT(on_mode4_clicked()));
    connect(swatchButton, SIGNAL(clicked(bool)), this, SLOT(on_node_clicked()));
    connect(addButton, SIGNAL(clicked(bool)), this, SLOT(on_add_clicked()));
    connect(subButton, SIGNAL(clicked(bool)), this, SLOT(on_sub_clicked()));
    for (QCheckBox *check :
         {onePerViewerCheck, allowChangeCheck, cooldownCheck, stopAtTimeUpCheck, voteByNumberCheck})
        connect(check, &QCheckBox::clicked, this, &kivaPlugInVote::applyRules);
    connect(cooldownEdit, &QLineEdit::textChanged, this, &kivaPlugInVote::applyRules);
}
