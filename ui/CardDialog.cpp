#include "ui/CardDialog.h"

#include "shell/CTitleBar.h"
#include "shell/CardShadow.h"
#include "shell/ShellStyles.h"
#include "ui/VoteStyles.h"

#include <QDialog>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLayout>

namespace CardDialog {

CTitleBar *setUp(QDialog *dialog, const char *title)
{
    dialog->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    dialog->setAttribute(Qt::WA_TranslucentBackground);

    auto *titleBar = new CTitleBar(title, dialog);
    titleBar->hideMaxButton(true);
    titleBar->hideMinButton(true);
    titleBar->setFixedHeight(39);
    titleBar->setCloseIcon(":/res/resource/closebtn.png");
    titleBar->setTitle(QString::fromUtf8(title), ShellStyles::kCardTitle);
    return titleBar;
}

void placePanel(QDialog *dialog, QFrame *panel, QLayout *layout, QSize size)
{
    panel->setStyleSheet(QString::fromUtf8(VoteStyles::kSelectorPanel));
    panel->move(kShadowMargin, kShadowMargin);
    panel->setGraphicsEffect(makeCardShadow(panel));
    panel->setLayout(layout);
    panel->setFixedSize(size);
    dialog->setFixedSize(size + QSize(2 * kShadowMargin, 2 * kShadowMargin));
}

} // namespace CardDialog
