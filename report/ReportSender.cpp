#include "report/ReportSender.h"

#include "catalogue/HttpFetch.h"

#include <QtGlobal>

#include <utility>

ReportSender::ReportSender(Finished finished)
    : finished(std::move(finished))
{}

bool ReportSender::send(const QByteArray &url)
{
    const bool queued = queue.post(
        [this, url](const WorkQueue::Job &job) {
            QByteArray response;
            long status = 0;
            http_get(response, url.toStdString(), status, &job.stopFlag());
            if (finished && !job.stopping())
                finished(url, status);
        },
        kMaxWaiting);
    if (!queued && !dropping)
        qWarning("Usage reports dropped: %d wait for the platform", int(kMaxWaiting));
    dropping = !queued;
    return queued;
}
