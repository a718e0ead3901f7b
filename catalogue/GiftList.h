#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// One gift of the platform's list, as the list gives it.
struct GiftListEntry
{
    QByteArray productId; // may be empty; the catalogue drops such entries
    QString name;
    QByteArray imageUrl;
    qint32 price = 0;
};

// No room has this many gifts; a list beyond it would only queue downloads.
inline constexpr int kMaxGiftListEntries = 10000;

// Reads the body of the gift list answer into `entries` (emptied first), in
// list order, repeats included, the first kMaxGiftListEntries at most (the
// rest is ignored, with one line in the log). False, silently, when the body is not JSON,
// "ec" is missing or not 0, or "data" is missing. Elements without
// "productid", "name", "simage" or "price", or whose "productid" or "simage"
// is not text, are left out.
bool parseGiftList(const QByteArray &body, QList<GiftListEntry> &entries);

// Whether a product id can name a file in the image cache without reaching
// outside it or naming something else: not empty, no path separator, no
// drive or stream colon, no leading dot, no control character.
bool isPlainFileName(const QByteArray &productId);

// The cached image of a product: folder, native separator, id, ".png".
QString cachedImagePath(const QString &folder, const QByteArray &productId);
