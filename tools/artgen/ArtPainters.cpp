#include "ArtPainters.h"

#include "platform/QtCompat.h"

#include <QFont>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace Art {

namespace {

QPen outline(const QColor &colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A four-point sparkle centred on `c`.
QPainterPath sparkle(QPointF c, qreal r)
{
    QPainterPath path;
    const qreal w = r * 0.28;
    path.moveTo(c.x(), c.y() - r);
    path.quadTo(c.x() + w, c.y() - w, c.x() + r, c.y());
    path.quadTo(c.x() + w, c.y() + w, c.x(), c.y() + r);
    path.quadTo(c.x() - w, c.y() + w, c.x() - r, c.y());
    path.quadTo(c.x() - w, c.y() - w, c.x(), c.y() - r);
    path.closeSubpath();
    return path;
}

// One clover leaf: a heart whose tip sits on the origin, lobes towards -y.
QPainterPath heartLeaf()
{
    QPainterPath path;
    path.moveTo(0, 0);
    path.cubicTo(-14, -10, -40, -22, -38, -46);
    path.cubicTo(-36, -66, -10, -70, 0, -53);
    path.cubicTo(10, -70, 36, -66, 38, -46);
    path.cubicTo(40, -22, 14, -10, 0, 0);
    path.closeSubpath();
    return path;
}

QLinearGradient accentGradient(const QRectF &r)
{
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, kAccentLight);
    g.setColorAt(1, kAccent);
    return g;
}

} // namespace

QImage render(const QSize &size, const QSizeF &design, const Painter &paint)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform
                     | QPainter::TextAntialiasing);
    p.scale(size.width() / design.width(), size.height() / design.height());
    paint(p);
    p.end();
    return image;
}

QString cjkFamily()
{
    const QStringList preferred = {QStringLiteral("WenQuanYi Micro Hei"),
                                   QStringLiteral("Noto Sans CJK SC"),
                                   QStringLiteral("WenQuanYi Zen Hei")};
    const QStringList installed = QtCompat::fontFamilies();
    for (const QString &family : preferred) {
        if (installed.contains(family, Qt::CaseInsensitive))
            return family;
    }
    return QStringLiteral("Sans Serif");
}

void paintMicrophone(QPainter &p)
{
    const QColor ink(0x9A, 0x5E, 0x00);
    p.save();
    // A slight tilt reads as "in use" rather than a static product shot.
    p.translate(75, 75);
    p.rotate(-18);
    p.translate(-75, -75);

    // Handle, tapering towards the bottom.
    QPainterPath handle;
    handle.moveTo(61, 88);
    handle.lineTo(89, 88);
    handle.lineTo(83, 136);
    handle.quadTo(75, 144, 67, 136);
    handle.closeSubpath();
    QLinearGradient metal(60, 0, 90, 0);
    metal.setColorAt(0.0, QColor(0xC9, 0x8B, 0x0F));
    metal.setColorAt(0.35, QColor(0xFF, 0xE0, 0x70));
    metal.setColorAt(0.6, QColor(0xF0, 0xB4, 0x20));
    metal.setColorAt(1.0, QColor(0xB0, 0x74, 0x00));
    p.setPen(outline(ink, 3.5));
    p.setBrush(metal);
    p.drawPath(handle);

    // Head.
    const QRectF head(40, 14, 70, 70);
    QRadialGradient gold(QPointF(62, 36), 52);
    gold.setColorAt(0.0, QColor(0xFF, 0xF5, 0xB8));
    gold.setColorAt(0.4, QColor(0xFF, 0xD2, 0x3F));
    gold.setColorAt(0.85, QColor(0xE8, 0xA3, 0x17));
    gold.setColorAt(1.0, QColor(0xC2, 0x7F, 0x0A));
    p.setPen(Qt::NoPen);
    p.setBrush(gold);
    p.drawEllipse(head);

    // Grille, clipped to the head.
    QPainterPath headPath;
    headPath.addEllipse(head);
    p.save();
    p.setClipPath(headPath);
    p.setPen(QPen(QColor(0xA8, 0x6A, 0x00, 130), 2.2));
    for (int d = -80; d <= 80; d += 12) {
        p.drawLine(QPointF(75 + d - 50, 49 - 50), QPointF(75 + d + 50, 49 + 50));
        p.drawLine(QPointF(75 + d + 50, 49 - 50), QPointF(75 + d - 50, 49 + 50));
    }
    p.restore();
    p.setPen(outline(ink, 3.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(head);

    // Shine on the head.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 170));
    p.save();
    p.translate(58, 32);
    p.rotate(-35);
    p.drawEllipse(QRectF(-10, -5, 20, 10));
    p.restore();

    // Collar in the product pink ties the gift to the rest of the set.
    const QRectF collar(55, 78, 40, 15);
    p.setPen(outline(QColor(0xB0, 0x0E, 0x60), 3));
    p.setBrush(accentGradient(collar));
    p.drawRoundedRect(collar, 5, 5);
    p.setPen(QPen(QColor(255, 255, 255, 150), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(61, 82.5), QPointF(75, 82.5));

    // Shine down the handle.
    p.setPen(QPen(QColor(255, 255, 255, 150), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(68, 100), QPointF(70, 128));
    p.restore();

    // Sparkles.
    p.setPen(outline(QColor(0xE0, 0x9A, 0x00), 1.5));
    p.setBrush(QColor(0xFF, 0xDB, 0x4D));
    p.drawPath(sparkle(QPointF(124, 30), 13));
    p.drawPath(sparkle(QPointF(28, 108), 9));
    p.drawPath(sparkle(QPointF(126, 64), 6));
}

void paintCloverLeaves(QPainter &p, bool fine)
{
    const QPointF centre(75, 64);
    const QColor ink(0x17, 0x70, 0x36);

    // Stem, behind the leaves.
    QPainterPath stem;
    stem.moveTo(centre);
    stem.cubicTo(78, 100, 84, 122, 104, 140);
    p.setPen(QPen(ink, 12, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(stem);
    p.setPen(QPen(QColor(0x3F, 0xB3, 0x56), 6.5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(stem);

    const QPainterPath leaf = heartLeaf();
    for (int i = 0; i < 4; ++i) {
        p.save();
        p.translate(centre);
        p.rotate(45 + 90 * i);
        p.scale(0.88, 0.88);
        QLinearGradient green(0, 0, 0, -66);
        green.setColorAt(0.0, QColor(0x22, 0x9A, 0x46));
        green.setColorAt(0.55, QColor(0x3F, 0xC2, 0x5C));
        green.setColorAt(1.0, QColor(0x7D, 0xE0, 0x86));
        p.setPen(outline(ink, 3.8));
        p.setBrush(green);
        p.drawPath(leaf);
        if (!fine) {
            p.restore();
            continue;
        }
        // Midrib and a soft shine on one lobe.
        p.setPen(QPen(QColor(255, 255, 255, 120), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -8), QPointF(0, -44));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 110));
        p.drawEllipse(QRectF(-30, -56, 13, 9));
        p.restore();
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1E, 0x86, 0x3E));
    p.drawEllipse(centre, 5, 5);
}

void paintClover(QPainter &p)
{
    paintCloverLeaves(p, true);
    p.setPen(outline(QColor(0xE0, 0x9A, 0x00), 1.5));
    p.setBrush(QColor(0xFF, 0xDB, 0x4D));
    p.drawPath(sparkle(QPointF(130, 108), 10));
}

void paintPiggySpray(QPainter &p)
{
    const QColor ink(0xB8, 0x14, 0x6A);

    // Spray mist from the nozzle, thinning out as it drifts.
    struct Puff
    {
        qreal x, y, r;
        int alpha;
    };
    const Puff puffs[] = {{104, 30, 5, 235}, {114, 20, 6, 220},  {117, 37, 5, 215},
                          {127, 26, 7, 190}, {131, 12, 5, 170},  {134, 42, 5, 160},
                          {142, 28, 5, 130}, {141, 8, 3.5, 110}, {145, 48, 3, 100}};
    for (const Puff &puff : puffs) {
        QColor c = kAccentLight;
        c.setAlpha(puff.alpha);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(QPointF(puff.x, puff.y), puff.r, puff.r);
    }

    // Ears, behind the can.
    const QColor earPink(0xFF, 0x7A, 0xBC);
    QPolygonF leftEar({QPointF(36, 74), QPointF(34, 40), QPointF(62, 56)});
    QPolygonF rightEar({QPointF(106, 74), QPointF(108, 40), QPointF(80, 56)});
    p.setPen(outline(ink, 3.2));
    p.setBrush(earPink);
    p.drawPolygon(leftEar);
    p.drawPolygon(rightEar);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xC4, 0xE0));
    p.drawPolygon(QPolygonF({QPointF(41, 64), QPointF(40, 49), QPointF(53, 57)}));
    p.drawPolygon(QPolygonF({QPointF(101, 64), QPointF(102, 49), QPointF(89, 57)}));

    // Trotters under the can.
    p.setPen(outline(ink, 3));
    p.setBrush(QColor(0xE8, 0x3E, 0x96));
    p.drawRoundedRect(QRectF(46, 128, 16, 16), 5, 5);
    p.drawRoundedRect(QRectF(80, 128, 16, 16), 5, 5);

    // Curly tail on the right.
    QPainterPath tail;
    tail.moveTo(110, 112);
    tail.cubicTo(122, 110, 126, 100, 119, 97);
    tail.cubicTo(112, 95, 112, 106, 121, 108);
    tail.cubicTo(128, 109, 132, 104, 132, 98);
    p.setPen(QPen(ink, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tail);

    // Nozzle and cap.
    p.setPen(outline(ink, 3));
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(63, 22, 20, 16), 3, 3);
    p.drawRoundedRect(QRectF(81, 25, 13, 8), 2, 2);
    const QRectF cap(50, 35, 46, 18);
    QLinearGradient capShade(cap.topLeft(), cap.topRight());
    capShade.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
    capShade.setColorAt(1, QColor(0xD8, 0xD6, 0xE4));
    p.setBrush(capShade);
    p.drawRoundedRect(cap, 6, 6);

    // The can itself is the pig's body.
    const QRectF can(36, 48, 74, 88);
    QLinearGradient body(can.topLeft(), can.topRight());
    body.setColorAt(0.0, QColor(0xFF, 0x8C, 0xC6));
    body.setColorAt(0.3, QColor(0xFF, 0xB8, 0xDB));
    body.setColorAt(0.7, QColor(0xFF, 0x6A, 0xB4));
    body.setColorAt(1.0, QColor(0xEC, 0x3A, 0x93));
    p.setPen(outline(ink, 3.5));
    p.setBrush(body);
    p.drawRoundedRect(can, 18, 18);

    // Cylinder shine.
    p.setPen(QPen(QColor(255, 255, 255, 170), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(45, 66), QPointF(45, 84));

    // Face: eyes, blush, snout.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3A, 0x12, 0x2A));
    p.drawEllipse(QPointF(59, 80), 5, 5.5);
    p.drawEllipse(QPointF(87, 80), 5, 5.5);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(60.8, 78), 1.8, 1.8);
    p.drawEllipse(QPointF(88.8, 78), 1.8, 1.8);
    p.setBrush(QColor(255, 70, 150, 110));
    p.drawEllipse(QPointF(49, 97), 6.5, 4.5);
    p.drawEllipse(QPointF(97, 97), 6.5, 4.5);

    const QRectF snout(56, 88, 34, 23);
    p.setPen(outline(ink, 3));
    p.setBrush(QColor(0xFF, 0x55, 0xAA));
    p.drawEllipse(snout);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9E, 0x0E, 0x58));
    p.drawEllipse(QPointF(66.5, 99.5), 3.2, 5);
    p.drawEllipse(QPointF(79.5, 99.5), 3.2, 5);

    // A band round the can.
    p.setPen(QPen(QColor(255, 255, 255, 200), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(58, 122), QPointF(88, 122));
}

void paintSleepyBug(QPainter &p)
{
    const QColor ink(0x36, 0x70, 0x18);

    auto segment = [&](QPointF c, qreal r) {
        // Feet first, so the body covers their tops.
        p.setPen(outline(ink, 3));
        p.setBrush(QColor(0x5C, 0xA5, 0x2A));
        p.drawEllipse(QPointF(c.x() - r * 0.35, c.y() + r * 0.92), 4.5, 5);
        p.drawEllipse(QPointF(c.x() + r * 0.35, c.y() + r * 0.92), 4.5, 5);
        QRadialGradient g(c + QPointF(-r * 0.35, -r * 0.4), r * 1.4);
        g.setColorAt(0.0, QColor(0xD4, 0xF5, 0x8E));
        g.setColorAt(0.6, QColor(0x93, 0xD4, 0x4A));
        g.setColorAt(1.0, QColor(0x6C, 0xB3, 0x2E));
        p.setPen(outline(ink, 3.5));
        p.setBrush(g);
        p.drawEllipse(c, r, r);
        // A yellow spot on each segment.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xFF, 0xE0, 0x5A));
        p.drawEllipse(c + QPointF(-r * 0.3, -r * 0.38), r * 0.26, r * 0.22);
    };
    segment(QPointF(26, 114), 15);
    segment(QPointF(48, 108), 18);
    segment(QPointF(73, 108), 20);

    // Antennae.
    p.setPen(QPen(ink, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath antennae;
    antennae.moveTo(98, 60);
    antennae.quadTo(94, 46, 86, 40);
    antennae.moveTo(120, 60);
    antennae.quadTo(126, 46, 134, 42);
    p.drawPath(antennae);
    p.setPen(outline(QColor(0xB0, 0x0E, 0x60), 2.5));
    p.setBrush(kAccentLight);
    p.drawEllipse(QPointF(85, 39), 6, 6);
    p.drawEllipse(QPointF(135, 41), 6, 6);

    // Head.
    const QPointF head(108, 90);
    QRadialGradient g(head + QPointF(-10, -12), 44);
    g.setColorAt(0.0, QColor(0xE0, 0xFA, 0xA4));
    g.setColorAt(0.6, QColor(0xA2, 0xDC, 0x58));
    g.setColorAt(1.0, QColor(0x74, 0xBA, 0x34));
    p.setPen(outline(ink, 3.5));
    p.setBrush(g);
    p.drawEllipse(head, 32, 31);

    // Closed eyes, drawn as downward arcs with lashes.
    p.setPen(QPen(QColor(0x24, 0x3A, 0x10), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(88, 78, 15, 12), 200 * 16, 140 * 16);
    p.drawArc(QRectF(113, 78, 15, 12), 200 * 16, 140 * 16);
    p.setPen(QPen(QColor(0x24, 0x3A, 0x10), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(90, 88), QPointF(87, 91));
    p.drawLine(QPointF(126, 88), QPointF(129, 91));

    // Blush and a small sleepy mouth.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 90, 150, 120));
    p.drawEllipse(QPointF(88, 100), 6.5, 4.5);
    p.drawEllipse(QPointF(128, 100), 6.5, 4.5);
    p.setPen(outline(QColor(0x24, 0x3A, 0x10), 2.5));
    p.setBrush(QColor(0xE0, 0x4A, 0x7A));
    p.drawEllipse(QPointF(108, 104), 3.5, 4);

    // "z z Z" rising from the head.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    const struct
    {
        qreal x, y, size;
    } zs[] = {{58, 66, 18}, {38, 46, 25}, {10, 24, 32}};
    for (const auto &z : zs) {
        font.setPixelSize(int(z.size));
        QPainterPath letter;
        letter.addText(QPointF(z.x, z.y), font, QStringLiteral("z"));
        p.setPen(outline(Qt::white, 4));
        p.setBrush(Qt::NoBrush);
        p.drawPath(letter);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x6A, 0x4C, 0xF0));
        p.drawPath(letter);
    }
}

void paintCloseGlyph(QPainter &p, const QRectF &box, const QColor &colour)
{
    const qreal inset = box.width() * 0.2;
    const QRectF r = box.adjusted(inset, inset, -inset, -inset);
    p.setPen(QPen(colour, box.width() / 10.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
}

void paintNote(QPainter &p)
{
    // A megaphone: mouthpiece at the left, bell opening to the right.
    QPainterPath horn;
    horn.moveTo(2.5, 7);
    horn.lineTo(6.5, 7);
    horn.lineTo(12.5, 3);
    horn.quadTo(13.5, 2.6, 13.5, 4);
    horn.lineTo(13.5, 15);
    horn.quadTo(13.5, 16.4, 12.5, 16);
    horn.lineTo(6.5, 12);
    horn.lineTo(2.5, 12);
    horn.quadTo(1.5, 12, 1.5, 11);
    horn.lineTo(1.5, 8);
    horn.quadTo(1.5, 7, 2.5, 7);
    horn.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawPath(horn);
    // Handle under the mouthpiece.
    p.drawRoundedRect(QRectF(4, 11.5, 2.6, 5), 1, 1);
    // Sound.
    p.setPen(QPen(kAccent, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(12, 6.5, 5, 6), -50 * 16, 100 * 16);
    p.drawArc(QRectF(12.5, 4, 6, 11), -55 * 16, 110 * 16);
}

void paintRoundButton(QPainter &p, bool plus)
{
    const QRectF disc(1, 1, 48, 48);
    QLinearGradient g(disc.topLeft(), disc.bottomRight());
    g.setColorAt(0, kAccentLight);
    g.setColorAt(1, kAccent);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(disc);
    p.setPen(QPen(Qt::white, 5.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 25), QPointF(36, 25));
    if (plus)
        p.drawLine(QPointF(25, 14), QPointF(25, 36));
}

void paintTriangle(QPainter &p)
{
    QPainterPath path;
    path.moveTo(1, 3.5);
    path.lineTo(9, 3.5);
    path.lineTo(5, 8.5);
    path.closeSubpath();
    p.setPen(QPen(QColor(51, 51, 51, 204), 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(51, 51, 51, 204));
    p.drawPath(path);
}

void paintRadio(QPainter &p, bool checked)
{
    const QPointF c(8, 8);
    if (checked) {
        p.setPen(QPen(kAccent, 1.4));
        p.setBrush(Qt::white);
        p.drawEllipse(c, 7, 7);
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(c, 3.6, 3.6);
    } else {
        p.setPen(QPen(QColor(0xC4, 0xC4, 0xC4), 1.2));
        p.setBrush(Qt::white);
        p.drawEllipse(c, 7, 7);
    }
}

void paintKnowBackground(QPainter &p)
{
    const QRectF pill(0, 0, 88, 36);
    p.setPen(Qt::NoPen);
    p.setBrush(accentGradient(pill));
    p.drawRoundedRect(pill, 14, 14);
}

void paintAppIcon(QPainter &p, bool compact)
{
    // Pink tile, white disc, clover.
    const QRectF tile = compact ? QRectF(0, 0, 256, 256) : QRectF(8, 8, 240, 240);
    QLinearGradient g(tile.topLeft(), tile.bottomRight());
    g.setColorAt(0, kAccentLight);
    g.setColorAt(1, kAccent);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(tile, 56, 56);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(128, 128), compact ? 112 : 100, compact ? 112 : 100);
    p.save();
    p.translate(128, 130);
    const qreal scale = compact ? 1.42 : 1.24;
    p.scale(scale, scale);
    p.translate(-76, -74);
    paintCloverLeaves(p, !compact);
    p.restore();
}

} // namespace Art
