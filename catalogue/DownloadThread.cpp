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

namespace {

bool isSuccess(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply.error() == QNetworkReply::NoError && status >= 200 && status <= 299;
}

// Written beside the target and renamed over it, so a failed write leaves
// the old file (or none) rather than a partial one.
bool writeWhole(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

} // namespace

DownloadThread::DownloadThread(int timeLimitMs)
    : timeLimitMs(timeLimitMs)
{
    // The reply's error signal reaches on_error across threads, queued.
    qRegisterMetaType<QNetworkReply::NetworkError>();
    worker.reset(QThread::create([this] { run(); }));
    worker->start();
}

DownloadThread::~DownloadThread()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        jobs.clear();
        // The reply belongs to the worker thread; its local loop runs the abort.
        if (current) {
            QNetworkReply *reply = current;
            QMetaObject::invokeMethod(
                reply, [reply] { reply->abort(); }, Qt::QueuedConnection);
        }
    }
    wake.notify_all();
    worker->wait();
}

bool DownloadThread::add_job(const DownloadJob &job)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        jobs.push_back(job);
    }
    wake.notify_one();
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

void DownloadThread::run()
{
    // Made here so that it, and every reply, belongs to the worker thread.
    QNetworkAccessManager network;
    for (;;) {
        DownloadJob job;
        {
            std::unique_lock<std::mutex> guard(lock);
            wake.wait(guard, [this] { return stopping || !jobs.empty(); });
            if (stopping)
                return;
            // Newest first: the gift just listed is the likeliest to be shown.
            job = jobs.back();
            jobs.pop_back();
        }
        const bool written = download(network, job);
        bool stopped;
        {
            std::lock_guard<std::mutex> guard(lock);
            stopped = stopping;
        }
        // A download cut short by the destructor has nobody left to tell.
        if (!stopped)
            emit jobFinished(job.filePath, written);
    }
}

bool DownloadThread::download(QNetworkAccessManager &network, const DownloadJob &job)
{
    const std::unique_ptr<QNetworkReply> reply(
        network.get(QNetworkRequest(QUrl(job.url, QUrl::TolerantMode))));

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
    connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&limit, &QTimer::timeout, reply.get(), &QNetworkReply::abort);

    bool stop;
    {
        std::lock_guard<std::mutex> guard(lock);
        stop = stopping;
        current = reply.get();
    }
    if (stop)
        reply->abort();
    limit.start(timeLimitMs);
    // abort() finishes the reply at once, before the loop could see it.
    if (!reply->isFinished())
        loop.exec();
    {
        std::lock_guard<std::mutex> guard(lock);
        current = nullptr;
    }
    qDebug() << " DownloadThread::finished";

    // An aborted reply is closed and has nothing to read.
    return isSuccess(*reply) && writeWhole(job.filePath, reply->readAll());
}
