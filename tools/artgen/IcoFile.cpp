#include "IcoFile.h"

#include <QBuffer>
#include <QtEndian>

namespace {

void putLe16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void putLe32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

} // namespace

QByteArray encodeIco(const QList<QImage> &images)
{
    constexpr int kDirSize = 6;
    constexpr int kEntrySize = 16;

    QList<QByteArray> streams;
    for (const QImage &image : images) {
        if (image.isNull() || image.width() > 256 || image.height() > 256)
            return QByteArray();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG"))
            return QByteArray();
        streams.append(png);
    }

    QByteArray out;
    putLe16(out, 0); // reserved
    putLe16(out, 1); // type: icon
    putLe16(out, quint16(images.size())); // count

    quint32 offset = quint32(kDirSize + kEntrySize * images.size());
    for (int i = 0; i < images.size(); ++i) {
        const QImage &image = images.at(i);
        // A dimension of 256 is written as 0.
        out.append(char(image.width() & 0xFF));
        out.append(char(image.height() & 0xFF));
        out.append(char(0)); // palette size
        out.append(char(0)); // reserved
        putLe16(out, 1); // colour planes
        putLe16(out, 32); // bits per pixel
        putLe32(out, quint32(streams.at(i).size()));
        putLe32(out, offset);
        offset += quint32(streams.at(i).size());
    }
    for (const QByteArray &stream : streams)
        out.append(stream);
    return out;
}
