#include "shell/CardShadow.h"

#include "shell/ShellStyles.h"

#include <QColor>
#include <QGraphicsDropShadowEffect>

QGraphicsDropShadowEffect *makeCardShadow(QObject *parent)
{
    auto *shadow = new QGraphicsDropShadowEffect(parent);
    shadow->setOffset(0, 0);
    shadow->setColor(QColor(0, 0, 0, ShellStyles::kShadowAlpha));
    shadow->setOffset(0, ShellStyles::kShadowOffsetY);
    shadow->setBlurRadius(ShellStyles::kShadowBlur);
    return shadow;
}
