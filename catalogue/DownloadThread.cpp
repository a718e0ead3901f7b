#include "catalogue/DownloadThread.h"

#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

bool isSuccess(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply.error() == QNetworkReply::NoError && status >= 200 && status <= 299;
}

// The reply's bytes as they arrive, into a temporary file beside the target
// (QSaveFile), so no picture is ever held whole in memory.
class PictureFile
{
public:
    explicit PictureFile(const QString &path)
        : file(path)
    {}

    // False once a write failed or the answer passed the limit.
    bool take(QNetworkReply &reply)
    {
        if (failed)
            return false;
        if (reply.bytesAvailable() <= 0)
            return true;
        if (!opened) {
            opened = QDir().mkpath(QFileInfo(file.fileName()).absolutePath())
                && file.open(QIODevice::WriteOnly);
            if (!opened)
                return !(failed = true);
        }
        char chunk[64 * 1024];
        for (;;) {
            const qint64 read = reply.read(chunk, sizeof chunk);
            if (read <= 0)
                break;
            written += read;
            tooBig = written > DownloadThread::kMaxPictureBytes;
            if (tooBig || file.write(chunk, read) != read)
                return !(failed = true);
        }
        return true;
    }

    bool overLimit() const { return tooBig; }

    // Replaces the target; anything else leaves no file behind.
    bool commit()
    {
        if (failed || !opened || written == 0) {
            if (opened)
                file.cancelWriting();
            return false;
        }
        return file.commit();
    }

private:
    QSaveFile file;
    qint64 written = 0;
    bool opened = false;
    bool failed = false;
    bool tooBig = false;
};

} // namespace

DownloadThread::DownloadThread(int timeLimitMs)
    : timeLimitMs(timeLimitMs)
{
    // The reply's error signal reaches on_error across threads, queued.
    qRegisterMetaType<QNetworkReply::NetworkError>();
}

bool DownloadThread::add_job(const DownloadJob &job)
{
    queue.post([this, job](const WorkQueue::Job &worker) {
        const bool written = download(job, worker);
        // A download cut short by the destructor has nobody left to tell.
        if (!worker.stopping())
            emit jobFinished(job.filePath, written);
    });
    return true;
}

void DownloadThread::on_readyRead()
{
    qDebug() << "DownloadThread::on_readyRead";
}

void DownloadThread::on_downloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    qDebug() << "DownloadThread::on_downloadProgress, recv:" << bytesReceived
             << "total:" << bytesTotal;
}

void DownloadThread::on_error(QNetworkReply::NetworkError code)
{
    qDebug() << "DownloadThread::on_error"
             << QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(code);
}

QNetworkAccessManager &DownloadThread::workerNetwork()
{
    // One for the worker's life, made on it so that it and its replies belong
    // there: the pictures share its connections, and it goes with the thread.
    if (!network) {
        network = new QNetworkAccessManager;
        connect(QThread::currentThread(), &QThread::finished, network, &QObject::deleteLater,
                Qt::DirectConnection);
    }
    return *network;
}

bool DownloadThread::download(const DownloadJob &job, const WorkQueue::Job &worker)
{
    const std::unique_ptr<QNetworkReply> reply(
        workerNetwork().get(QNetworkRequest(QUrl(job.url, QUrl::TolerantMode))));
    // Reads are taken as they come; Qt holds no more than this meanwhile.
    reply->setReadBufferSize(256 * 1024);

    PictureFile picture(job.filePath);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    // `this` lives on the GUI thread: the diagnostics arrive there queued.
    connect(reply.get(), &QNetworkReply::readyRead, this, &DownloadThread::on_readyRead);
    connect(reply.get(), &QNetworkReply::downloadProgress, this,
            &DownloadThread::on_downloadProgress);
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    connect(reply.get(), &QNetworkReply::errorOccurred, this, &DownloadThread::on_error);
#else
    connect(reply.get(), QOverload<QNetworkReply::NetworkError>::of(&QNetworkReply::error), this,
            &DownloadThread::on_error);
#endif
    // On the worker thread (the loop's): the bytes go to the file as they
    // come, and an answer that will not be kept is abandoned at once.
    bool abandoned = false;
    bool announcedTooBig = false;
    const auto abandon = [&] {
        abandoned = true;
        reply->abort();
    };
    connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        announcedTooBig = length.isValid() && length.toLongLong() > kMaxPictureBytes;
        if (announcedTooBig)
            abandon();
    });
    connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        // An error page is not kept; neither is a picture past the limit.
        if ((status.isValid() && !isSuccess(*reply)) || !picture.take(*reply))
            abandon();
    });
    connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&limit, &QTimer::timeout, reply.get(), &QNetworkReply::abort);

    limit.start(timeLimitMs);
    if (!worker.stopping() && !reply->isFinished())
        loop.exec(); // returns at once, too, when the queue stops
    if (!reply->isFinished())
        reply->abort();
    qDebug() << " DownloadThread::finished";

    if (announcedTooBig || picture.overLimit())
        qDebug() << "DownloadThread: more than" << kMaxPictureBytes
                 << "bytes, abandoned:" << job.url;
    // An aborted reply is closed and has nothing more to read.
    return !abandoned && isSuccess(*reply) && !worker.stopping() && picture.take(*reply)
        && picture.commit();
}
