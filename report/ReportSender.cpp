#include "report/ReportSender.h"

#include "catalogue/HttpFetch.h"

#include <QThread>

#include <chrono>
#include <utility>

ReportSender::ReportSender(Finished finished)
    : finished(std::move(finished))
{
    worker.reset(QThread::create([this] { run(); }));
    worker->start();
}

ReportSender::~ReportSender()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        queue.clear();
    }
    wake.notify_all();
    worker->wait();
}

void ReportSender::send(const QByteArray &url)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        queue.push_back(url);
    }
    wake.notify_one();
}

bool ReportSender::waitUntilIdle(int timeoutMs)
{
    std::unique_lock<std::mutex> guard(lock);
    return idle.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                         [this] { return queue.empty() && !sending; });
}

void ReportSender::run()
{
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return stopping || !queue.empty(); });
        if (stopping)
            break;
        const QByteArray url = queue.front();
        queue.pop_front();
        sending = true;
        guard.unlock();

        QByteArray response;
        long status = 0;
        http_get(response, url.toStdString(), status);
        if (finished)
            finished(url, status);

        guard.lock();
        sending = false;
        if (queue.empty())
            idle.notify_all();
    }
    sending = false;
    idle.notify_all();
}
