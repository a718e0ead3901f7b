#include "shell/CWndRemind.h"

#include "shell/CTitleBar.h"
#include "shell/CardShadow.h"

#include "shell/ShellStyles.h"
#include <QGraphicsDropShadowEffect>

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char kTextStyle[] =
    "background-color:rgba(242,242,242,0);font-size:12px;font-family:微软雅黑;font-weight:400;"
    "color:(52,52,52,1);line-height:17px;";
const char kCardStyle[] = "background-color:rgba(242,242,242,0.97);border-radius:6px;";

constexpr int kMargin = 40;
constexpr int kCardWidth = 300;
constexpr int kCardHeight = 170;

} // namespace

CWndRemind::CWndRemind(QWidget *parent)
    : QDialog(parent)
{}

void CWndRemind::initRemind(const char *title, const char *text)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);

    titleBar = new CTitleBar(title, this);
    titleBar->hideMaxButton(true);
    titleBar->hideMinButton(true);
    titleBar->setCloseIcon(":/res/resource/closebtn.png");
    titleBar->setTitle(QString::fromUtf8(title ? title : ""), ShellStyles::kCardTitle);

    textLabel = new QLabel(QString::fromUtf8(text ? text : ""), this);
    textLabel->setFixedSize(250, 50);
    textLabel->setWordWrap(true);
    textLabel->setStyleSheet(QString::fromUtf8(kTextStyle));

    closeButton = new QPushButton(QStringLiteral("关闭"), this);
    closeButton->setFixedSize(120, 40);
    closeButton->setStyleSheet(QString::fromUtf8(ShellStyles::kCardButton));

    auto *textRow = new QHBoxLayout;
    textRow->setContentsMargins(25, 0, 25, 0);
    textRow->addWidget(textLabel);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(closeButton, 0, Qt::AlignHCenter);

    auto *column = new QVBoxLayout;
    column->setContentsMargins(15, 0, 0, 15);
    column->addWidget(titleBar);
    column->addLayout(textRow);
    column->addLayout(buttonRow);

    auto *card = new QFrame(this);
    card->setStyleSheet(QString::fromUtf8(kCardStyle));
    card->move(kMargin, kMargin);
    card->setGraphicsEffect(makeCardShadow(card));
    card->setLayout(column);
    card->setFixedSize(kCardWidth, kCardHeight);

    setFixedSize(kCardWidth + 2 * kMargin, kCardHeight + 2 * kMargin);

    connect(titleBar, SIGNAL(OnClose()), this, SLOT(on_cancel_clicked()));
    connect(closeButton, SIGNAL(clicked(bool)), this, SLOT(on_cancel_clicked()));
}

void CWndRemind::on_cancel_clicked()
{
    reject();
}

void CWndRemind::on_ok_clicked()
{
    accept();
}

void showRemind(const QString &title, const QString &text, QWidget *parent,
                QPointer<CWndRemind> *shown)
{
    const QByteArray titleBytes = title.toUtf8();
    const QByteArray textBytes = text.toUtf8();
    // On the heap and guarded: the parent may go away while the card runs.
    QPointer<CWndRemind> card = new CWndRemind(parent);
    card->initRemind(titleBytes.constData(), textBytes.constData());
    if (shown)
        *shown = card;
    card->exec();
    delete card.data();
}
