#include "shell/kivaPlugMeng.h"

#include "shell/CardShadow.h"

#include <QGraphicsDropShadowEffect>

#include <QFrame>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char kKnowButtonStyle[] =
    "border-image:url(:/res/resource/know3.png);\t\t\t\t\t\t\t\tborder-radius:12px;"
    "color:rgba(255,255,255,1);\t\t\t\t\t\t\t\tfont-family:黑体;\t\t\t\t\t\t\t\t"
    "font-size:13px;\t\t\t\t\t\t\t\tfont-weight:400;";
const char kPictureStyle[] = "border-image: url(:/res/resource/mengban.png);border-radius:6px;";

} // namespace

kivaPlugMeng::kivaPlugMeng(QWidget *parent)
    : QDialog(parent)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);

    knowButton = new QPushButton;
    knowButton->setFixedSize(86, 36);
    knowButton->setText(QStringLiteral("我知道了"));
    knowButton->setStyleSheet(QString::fromUtf8(kKnowButtonStyle));

    auto *buttonLayout = new QVBoxLayout;
    buttonLayout->setContentsMargins(340, 308, 348, 130);
    buttonLayout->addWidget(knowButton);

    picture = new QFrame(this);
    picture->setStyleSheet(QString::fromUtf8(kPictureStyle));

    // Same top-left corner as the vote window that follows.
    setGeometry(5, 40, 774, 550);

    setGraphicsEffect(makeCardShadow(this));

    picture->setLayout(buttonLayout);

    auto *windowLayout = new QVBoxLayout;
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->addWidget(picture);
    setLayout(windowLayout);

    resize(774, 550);

    connect(knowButton, SIGNAL(clicked(bool)), this, SLOT(on_meng_clicked()));
}

void kivaPlugMeng::on_meng_clicked()
{
    reject();
}
