#include "report/ReportSender.h"

#include "catalogue/HttpFetch.h"

#include <utility>

ReportSender::ReportSender(Finished finished)
    : finished(std::move(finished))
{}

void ReportSender::send(const QByteArray &url)
{
    queue.post([this, url](const WorkQueue::Job &job) {
        QByteArray response;
        long status = 0;
        http_get(response, url.toStdString(), status, &job.stopFlag());
        if (finished && !job.stopping())
            finished(url, status);
    });
}
