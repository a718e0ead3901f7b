#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

// Packs square images into a Windows .ico container, each entry stored as a
// PNG stream (read by every Windows since Vista). Sizes up to 256 only.
// Returns an empty array when an image cannot be stored.
QByteArray encodeIco(const QList<QImage> &images);
