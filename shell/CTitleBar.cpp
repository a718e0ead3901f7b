#include "shell/CTitleBar.h"

#include "platform/QtCompat.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>

namespace {

// Transparent and borderless in every state: only the icon shows.
const char kToolButtonStyle[] =
    "QToolButton { background-color:rgba(0,0,0,0); border-radius: 10px; border: none; } "
    "QToolButton:hover { background-color:rgba(0,0,0,0); border: none; } "
    "QToolButton:pressed { background-color:rgba(0,0,0,0); border-style: inset; border: none; }";

} // namespace

CTitleBar::CTitleBar(const char *titleText, QWidget *parent)
    : QWidget(parent)
    , title(QString::fromUtf8(titleText ? titleText : ""))
    , window(parent)
{
    if (parent)
        parent->setWindowFlags(parent->windowFlags() | Qt::FramelessWindowHint);

    minButton = new QToolButton(this);
    maxButton = new QToolButton(this);
    closeButton = new QToolButton(this);
    for (QToolButton *button : {minButton, maxButton, closeButton})
        button->setFixedSize(20, 20);

    titleLabel = new QLabel(title, this);

    layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 5, 15, 0);
    layout->addSpacing(0);
    layout->addWidget(titleLabel);
    layout->addStretch();
    layout->addSpacing(0);
    layout->addWidget(minButton);
    layout->addWidget(maxButton);
    layout->addWidget(closeButton);

    const QString style = QString::fromUtf8(kToolButtonStyle);
    minButton->setStyleSheet(style);
    maxButton->setStyleSheet(style);
    closeButton->setStyleSheet(style);
    minButton->setIcon(QIcon(QStringLiteral(":/UI/images/UI/min.png")));
    maxButton->setIcon(QIcon(QStringLiteral(":/UI/images/UI/max.png")));
    closeButton->setIcon(QIcon(QStringLiteral(":/UI/images/UI/close.png")));
    for (QToolButton *button : {minButton, maxButton, closeButton})
        button->setAttribute(Qt::WA_MouseTracking);

    connect(closeButton, SIGNAL(clicked(bool)), this, SIGNAL(OnClose()));
    connect(maxButton, SIGNAL(clicked(bool)), this, SIGNAL(OnMax()));
    connect(minButton, SIGNAL(clicked(bool)), this, SIGNAL(OnMin()));
}

void CTitleBar::setTitle(const QString &text, const char *style)
{
    titleLabel->setStyleSheet(QString::fromUtf8(style ? style : ""));
    titleLabel->setText(text);
}

void CTitleBar::setCloseIcon(const char *path)
{
    closeButton->setIcon(QIcon(QString::fromUtf8(path ? path : "")));
}

void CTitleBar::hideMaxButton(bool hidden)
{
    maxButton->setHidden(hidden);
}

void CTitleBar::hideMinButton(bool hidden)
{
    minButton->setHidden(hidden);
}

void CTitleBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragging = true;
        lastPos = QtCompat::globalPos(event);
    }
}

void CTitleBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        dragging = false;
}

void CTitleBar::mouseDoubleClickEvent(QMouseEvent *)
{
    emit OnMax();
}

void CTitleBar::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging || !window)
        return;
    const QPoint position = QtCompat::globalPos(event);
    window->move(window->pos() + (position - lastPos));
    lastPos = position;
}
