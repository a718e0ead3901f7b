#include "catalogue/GiftCatalogue.h"

#include "catalogue/ApiUrls.h"
#include "catalogue/HttpFetch.h"
#include "platform/Platform.h"
#include "vote/VoteSession.h"

#include <QDebug>

GiftCatalogue::GiftCatalogue(QObject *parent)
    : QObject(parent)
{
    connect(&pictures, &DownloadThread::jobFinished, this,
            [this](const QString &filePath, bool written) {
                const QByteArray productId = pictureOwners.take(filePath);
                if (written && !productId.isEmpty())
                    emit imageReady(productId, filePath);
            });
}

void GiftCatalogue::fetchList(const LoginIds &login)
{
    const std::string url = giftListUrl(login).toStdString();
    lists.post([this, url](const WorkQueue::Job &job) {
        QByteArray body;
        long status = 0;
        http_get(body, url, status, &job.stopFlag());
        if (job.stopping())
            return;
        Answer answer;
        answer.received = status == 200 || status == 304;
        if (answer.received)
            answer.parsed = parseGiftList(body, answer.entries);
        QMetaObject::invokeMethod(
            this, [this, answer] { deliver(answer); }, Qt::QueuedConnection);
    });
}

void GiftCatalogue::deliver(const Answer &answer)
{
    ++answered;
    if (!answer.received)
        emit listFailed();
    else if (answer.parsed)
        emit listReady(answer.entries);
}

bool GiftCatalogue::cachePicture(const QByteArray &productId, const QByteArray &imageUrl,
                                 const QString &folder)
{
    // An id that is no plain file name (a path, "..") gets no picture.
    if (!isPlainFileName(productId))
        return false;
    const QString path = cachedImagePath(folder, productId);
    if (Platform::fileExists(path) || pictureOwners.contains(path))
        return false;
    pictureOwners.insert(path, productId);
    pictures.add_job(DownloadJob {QString::fromUtf8(imageUrl), path});
    qDebug().noquote() << path;
    qDebug().noquote() << QString::fromUtf8(imageUrl);
    return true;
}
