#pragma once

#include "platform/WorkQueue.h"

#include <QNetworkReply>

class QNetworkAccessManager;
#include <QObject>
#include <QString>

// One gift image to fetch: where from, and the file it becomes.
struct DownloadJob
{
    QString url;
    QString filePath;
};

// Downloads gift images into the cache on a worker thread of its own, one at
// a time, newest job first; each job is tried once. The answer streams into a
// temporary file beside the target, which replaces the target only when the
// whole answer came, successfully, not empty and within the size limit: the
// cache never holds an error page, half an image or an empty file.
class DownloadThread : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultTimeLimitMs = 30000;
    // Far above any gift picture; a bigger answer is abandoned as it arrives.
    static constexpr qint64 kMaxPictureBytes = 8 * 1024 * 1024;

    // `timeLimitMs` bounds each download, so a stalled server cannot hold up
    // the jobs behind it.
    explicit DownloadThread(int timeLimitMs = kDefaultTimeLimitMs);
    // Abandons the download under way and the jobs not started, and waits
    // for the worker to end.
    ~DownloadThread() override = default;

    // Queues a copy of the job; callable from any thread. Always true.
    bool add_job(const DownloadJob &job);

signals:
    // After each job, on the thread of whoever listens: whether the file at
    // `filePath` now holds the downloaded image.
    void jobFinished(const QString &filePath, bool written);

public slots:
    // Diagnostics only, in the debug log.
    void on_readyRead();
    void on_downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void on_error(QNetworkReply::NetworkError code);

private:
    bool download(const DownloadJob &job, const WorkQueue::Job &worker);
    QNetworkAccessManager &workerNetwork();

    const int timeLimitMs;
    QNetworkAccessManager *network = nullptr; // the worker's own, used on it only
    // Last member: stopped first, while the rest is whole.
    WorkQueue queue {WorkQueue::Order::NewestFirst};
};
