#pragma once

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

// Sends usage reports one at a time, in the order they were asked for, from a
// thread of its own, so that no control of the window waits for the network.
// Nothing depends on a report's answer; failures are dropped.
class ReportSender
{
public:
    // Called on the sender's thread after each report, with the status the
    // request ended with (0 when it failed).
    using Finished = std::function<void(const QByteArray &url, long status)>;

    explicit ReportSender(Finished finished = {});
    // Drops the reports not yet started and waits for the one under way,
    // which ends within the 3 s limit of a request.
    ~ReportSender();

    ReportSender(const ReportSender &) = delete;
    ReportSender &operator=(const ReportSender &) = delete;

    // Queues a GET of `url` and returns at once.
    void send(const QByteArray &url);

    // Blocks until every queued report has been sent; false when that did not
    // happen within `timeoutMs`.
    bool waitUntilIdle(int timeoutMs);

private:
    void run();

    const Finished finished;
    std::mutex lock;
    std::condition_variable wake; // a report arrived or the sender stops
    std::condition_variable idle; // the queue ran dry
    std::deque<QByteArray> queue;
    bool sending = false;
    bool stopping = false;
    std::unique_ptr<QThread> worker;
};
