#include "shell/CardShadow.h"

#include "shell/ShellStyles.h"

#include <QColor>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QPixmap>

QGraphicsDropShadowEffect *makeCardShadow(QObject *parent)
{
    auto *shadow = new QGraphicsDropShadowEffect(parent);
    shadow->setOffset(0, 0);
    shadow->setColor(QColor(0, 0, 0, ShellStyles::kShadowAlpha));
    shadow->setOffset(0, ShellStyles::kShadowOffsetY);
    shadow->setBlurRadius(ShellStyles::kShadowBlur);
    return shadow;
}

QImage cardShadowPicture(const QImage &card)
{
    const QImage source = card.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QSize size = source.size();

    // The effect itself casts the shadow, so it matches the cards that carry it.
    QGraphicsScene scene;
    QGraphicsPixmapItem *item = scene.addPixmap(QPixmap::fromImage(source));
    item->setGraphicsEffect(makeCardShadow(nullptr));
    const QRectF area(QPointF(0, 0), QSizeF(size));
    scene.setSceneRect(area);
    QImage cast(size, QImage::Format_ARGB32_Premultiplied);
    cast.fill(Qt::transparent);
    {
        QPainter painter(&cast);
        scene.render(&painter, area, area);
    }

    // `cast` is the card drawn over its shadow; take the card back out, so
    // that the card painted over the picture gives `cast` again.
    QImage shadow(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y) {
        const QRgb *over = reinterpret_cast<const QRgb *>(cast.constScanLine(y));
        const QRgb *top = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        QRgb *out = reinterpret_cast<QRgb *>(shadow.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int cover = qAlpha(top[x]);
            if (cover == 255) {
                out[x] = 0; // under the opaque card: never seen
                continue;
            }
            const auto behind = [&](int castValue, int cardValue) {
                return qBound(0, (castValue - cardValue) * 255 / (255 - cover), 255);
            };
            const int alpha = behind(qAlpha(over[x]), cover);
            out[x] = qRgba(qMin(alpha, behind(qRed(over[x]), qRed(top[x]))),
                           qMin(alpha, behind(qGreen(over[x]), qGreen(top[x]))),
                           qMin(alpha, behind(qBlue(over[x]), qBlue(top[x]))), alpha);
        }
    }
    return shadow;
}
