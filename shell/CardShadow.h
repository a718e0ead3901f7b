#pragma once

class QGraphicsDropShadowEffect;
class QObject;

// The drop shadow under every card of the system. The caller puts it on the widget.
QGraphicsDropShadowEffect *makeCardShadow(QObject *parent);
