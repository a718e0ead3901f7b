#pragma once

#include <QImage>
#include <QSize>

class QGraphicsDropShadowEffect;
class QObject;

// The drop shadow under every card of the system. The caller puts it on the widget.
QGraphicsDropShadowEffect *makeCardShadow(QObject *parent);

// The same shadow cast by `card` (a card as drawn: its alpha is its shape),
// alone, in a picture of the card's size. Painted under the card, it gives
// what the effect would. A window that repaints often draws this once instead
// of carrying the effect, which re-renders the whole window on every update.
QImage cardShadowPicture(const QImage &card);
