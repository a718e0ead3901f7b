#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>

class QPainter;

// Vector painters for the compiled-in image set. Each one draws into its own
// design box (given with it) so the same art can be rendered at any size.
namespace Art {

// The product's accent pink, light and deep end of its gradient.
inline const QColor kAccentLight(0xFF, 0x45, 0xA6);
inline const QColor kAccent(0xFF, 0x13, 0x85);

using Painter = std::function<void(QPainter &)>;

// A transparent ARGB image of `size`, with `paint` drawing into a
// `design`-sized box stretched over it.
QImage render(const QSize &size, const QSizeF &design, const Painter &paint);

// The family used for Chinese text painted by the generator.
QString cjkFamily();

// Gifts, designed in a 150 x 150 box.
void paintMicrophone(QPainter &p);
void paintClover(QPainter &p);
// The clover alone, without the sparkle; `fine` adds veins and shine, which
// only blur at icon sizes.
void paintCloverLeaves(QPainter &p, bool fine);
void paintPiggySpray(QPainter &p);
void paintSleepyBug(QPainter &p);

// Small controls, each in a box of its own file's pixel size.
void paintCloseGlyph(QPainter &p, const QRectF &box, const QColor &colour);
void paintNote(QPainter &p); // 19 x 19
void paintRoundButton(QPainter &p, bool plus); // 50 x 50
void paintTriangle(QPainter &p); // 10 x 11
void paintRadio(QPainter &p, bool checked); // 16 x 16
void paintKnowBackground(QPainter &p); // 88 x 36

// The application icon: the clover on a rounded tile, in a 256 x 256 box.
// `compact` fills the box and drops detail, for the 16 and 24 px entries.
void paintAppIcon(QPainter &p, bool compact);

} // namespace Art
