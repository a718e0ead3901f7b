#pragma once

// The few names that differ between Qt 5 and Qt 6, in one place, so the rest
// of the code reads the same on both.
#include "platform/QtNetworkCompat.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPoint>
#include <QtGlobal>

namespace QtCompat {

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
inline QPoint globalPos(const QMouseEvent *event)
{
    return event->globalPosition().toPoint();
}

inline QStringList fontFamilies(QFontDatabase::WritingSystem system = QFontDatabase::Any)
{
    return QFontDatabase::families(system);
}

inline QList<QFontDatabase::WritingSystem> writingSystems(const QString &family)
{
    return QFontDatabase::writingSystems(family);
}

// Qt 6 always maps device pixels itself; pictures made offscreen are 1:1 already.
inline void keepPixelsOneToOne() {}
#else
inline QPoint globalPos(const QMouseEvent *event)
{
    return event->globalPos();
}

inline QStringList fontFamilies(QFontDatabase::WritingSystem system = QFontDatabase::Any)
{
    return QFontDatabase().families(system);
}

inline QList<QFontDatabase::WritingSystem> writingSystems(const QString &family)
{
    return QFontDatabase().writingSystems(family);
}

// Before the application object: pictures at exactly their pixel sizes.
inline void keepPixelsOneToOne()
{
    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
}
#endif

} // namespace QtCompat
