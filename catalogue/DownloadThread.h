#pragma once

#include <QNetworkReply>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>

class QNetworkAccessManager;
class QThread;

// One gift image to fetch: where from, and the file it becomes.
struct DownloadJob
{
    QString url;
    QString filePath;
};

// Downloads gift images into the cache on a worker thread of its own, one at
// a time, newest job first; each job is tried once. A file is written only
// from a complete, successful answer, and replaced in one step, so the cache
// never holds an error page or half an image.
class DownloadThread : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultTimeLimitMs = 30000;

    // `timeLimitMs` bounds each download, so a stalled server cannot hold up
    // the jobs behind it.
    explicit DownloadThread(int timeLimitMs = kDefaultTimeLimitMs);
    // Abandons the download under way and the jobs not started, and waits
    // for the worker to end.
    ~DownloadThread() override;

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
    void run();
    bool download(QNetworkAccessManager &network, const DownloadJob &job);

    const int timeLimitMs;
    std::mutex lock;
    std::condition_variable wake; // a job arrived or the worker is to stop
    std::list<DownloadJob> jobs; // appended at the back, taken from the back
    bool stopping = false;
    QNetworkReply *current = nullptr; // the reply in flight, for stopping
    std::unique_ptr<QThread> worker;
};
