#include "SimGifts.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

// Seven-segment digits, drawn as lines: no font is needed, so the images can
// be made in a program without a display.
void drawDigits(QPainter &painter, const QByteArray &digits, QPointF centre)
{
    // Bits a..g: top, top right, bottom right, bottom, bottom left, top left, middle.
    static const quint8 kSegments[10] = {0x3f, 0x06, 0x5b, 0x4f, 0x66,
                                         0x6d, 0x7d, 0x07, 0x7f, 0x6f};
    const qreal width = 11, height = 22, gap = 6;
    const qreal total = digits.size() * width + (digits.size() - 1) * gap;
    qreal left = centre.x() - total / 2;
    const qreal top = centre.y() - height / 2, middle = centre.y(), bottom = top + height;
    for (const char digit : digits) {
        if (digit < '0' || digit > '9')
            continue;
        const quint8 on = kSegments[digit - '0'];
        const qreal right = left + width;
        const QLineF lines[7] = {{left, top, right, top},        {right, top, right, middle},
                                 {right, middle, right, bottom}, {left, bottom, right, bottom},
                                 {left, middle, left, bottom},   {left, top, left, middle},
                                 {left, middle, right, middle}};
        for (int segment = 0; segment < 7; ++segment) {
            if (on & (1 << segment))
                painter.drawLine(lines[segment]);
        }
        left = right + gap;
    }
}

QPainterPath shapePath(int kind, QPointF c, qreal r)
{
    QPainterPath path;
    switch (kind % 4) {
    case 0: // star
        for (int i = 0; i < 10; ++i) {
            const qreal angle = M_PI / 5 * i - M_PI / 2;
            const qreal radius = i % 2 ? r * 0.45 : r;
            const QPointF p(c.x() + radius * qCos(angle), c.y() + radius * qSin(angle));
            i ? path.lineTo(p) : path.moveTo(p);
        }
        path.closeSubpath();
        break;
    case 1: // heart
        path.moveTo(c.x(), c.y() + r);
        path.cubicTo(c.x() - r * 1.6, c.y() - r * 0.1, c.x() - r * 0.6, c.y() - r * 1.2, c.x(),
                     c.y() - r * 0.4);
        path.cubicTo(c.x() + r * 0.6, c.y() - r * 1.2, c.x() + r * 1.6, c.y() - r * 0.1, c.x(),
                     c.y() + r);
        break;
    case 2: // diamond
        path.moveTo(c.x(), c.y() - r);
        path.lineTo(c.x() + r * 0.8, c.y() - r * 0.2);
        path.lineTo(c.x(), c.y() + r);
        path.lineTo(c.x() - r * 0.8, c.y() - r * 0.2);
        path.closeSubpath();
        break;
    default: // round gem
        path.addEllipse(c, r * 0.85, r * 0.85);
        break;
    }
    return path;
}

} // namespace

QList<SimGift> simGifts()
{
    return {
        {"1450928358", QStringLiteral("金话筒"), 99},
        {"1477978817", QStringLiteral("幸运草"), 99},
        {"1522229009540", QStringLiteral("猪猪喷雾"), 99},
        {"1551153124818", QStringLiteral("瞌睡虫"), 99},
        {"1560000000101", QStringLiteral("小心心"), 1},
        {"1560000000102", QStringLiteral("比心"), 5},
        {"1560000000103", QStringLiteral("棒棒糖"), 9},
        {"1560000000104", QStringLiteral("么么哒"), 19},
        {"1560000000105", QStringLiteral("奶茶"), 29},
        {"1560000000106", QStringLiteral("玫瑰"), 52},
        {"1560000000107", QStringLiteral("蛋糕"), 199},
        {"1560000000108", QStringLiteral("告白气球"), 520},
        {"1560000000109", QStringLiteral("跑车"), 1314},
        {"1560000000110", QStringLiteral("火箭"), 2999},
    };
}

QList<SimGift> simPrivateGifts()
{
    return {
        {"1570000000201", QStringLiteral("粉丝灯牌"), 1},
        {"1570000000202", QStringLiteral("守护之星"), 99},
    };
}

QByteArray paintGiftPng(const SimGift &gift, int index, int count)
{
    QImage image(150, 150, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const QColor base = QColor::fromHsv((index * 360 / qMax(count, 1)) % 360, 170, 235);
    QLinearGradient background(0, 0, 150, 150);
    background.setColorAt(0, base.lighter(125));
    background.setColorAt(1, base.darker(125));
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(3, 3, 144, 144), 22, 22);

    painter.setBrush(QColor(255, 255, 255, 230));
    painter.setPen(QPen(base.darker(160), 3));
    painter.drawPath(shapePath(index, QPointF(75, 60), 36));

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 90));
    const QByteArray digits = QByteArray::number(gift.price);
    const qreal pill = digits.size() * 17 + 22;
    painter.drawRoundedRect(QRectF(75 - pill / 2, 108, pill, 32), 16, 16);
    painter.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    drawDigits(painter, digits, QPointF(75, 124));
    painter.end();

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}
