#include "vote/kivaPlugInVote.h"

#include "shell/CTitleBar.h"
#include "shell/CardShadow.h"

#include "ui/VoteStyles.h"
#include <QGraphicsDropShadowEffect>

#include <QFrame>
#include <QVBoxLayout>

namespace {
constexpr int kWindowX = 5;
constexpr int kWindowY = 40;
constexpr int kWindowWidth = 774;
constexpr int kClosedPanelHeight = 550;
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
    const QByteArray titleStyle =
        QString::fromUtf8(VoteStyles::kTitleText).arg(14).arg(600).toUtf8();
    titleBar->setTitle(QStringLiteral("计数器窗口"), titleStyle.constData());

    // Each team starts with its default gift; the team columns show it.
    for (int index = 1; index <= kTeamCount; ++index)
        vote.applyDefaultGift(index);

    auto *content = new QVBoxLayout;
    content->setContentsMargins(23, 0, 21, 0);
    content->addWidget(titleBar);
    content->addStretch();

    backgroundFrame = new QFrame(this);
    backgroundFrame->setStyleSheet(QString::fromUtf8(VoteStyles::kFrameBackground));

    // Only the corner matters here: the resize below sets the size.
    setGeometry(kWindowX, kWindowY, qMax(1, backgroundFrame->width() - kWindowX),
                qMax(1, backgroundFrame->height() - kWindowY));

    setGraphicsEffect(makeCardShadow(this));

    backgroundFrame->setLayout(content);

    auto *outer = new QVBoxLayout;
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(backgroundFrame);
    setLayout(outer);

    resize(kWindowWidth, kClosedPanelHeight);

    connect(&countdownTimer, &QTimer::timeout, this, &kivaPlugInVote::on_timer_event);
    connect(titleBar, SIGNAL(OnClose()), this, SLOT(on_cancel_clicked()));
}
