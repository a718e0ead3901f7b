#pragma once

#include "platform/WorkQueue.h"

#include <QByteArray>

#include <functional>

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
    // Drops the reports not yet started and cuts short the one under way.
    ~ReportSender() = default;

    ReportSender(const ReportSender &) = delete;
    ReportSender &operator=(const ReportSender &) = delete;

    // Reports waiting to be sent, at most: a platform that stops answering
    // while presses keep coming (a control program can send thousands a
    // second) must not make them pile up without end.
    static constexpr std::size_t kMaxWaiting = 1000;

    // Queues a GET of `url` and returns at once; false when kMaxWaiting
    // reports already wait, and this one is dropped.
    bool send(const QByteArray &url);

    // Blocks until every queued report has been sent; false when that did not
    // happen within `timeoutMs`.
    bool waitUntilIdle(int timeoutMs) { return queue.waitUntilIdle(timeoutMs); }

private:
    const Finished finished;
    bool dropping = false; // reports are being dropped, said once per run of drops
    WorkQueue queue {WorkQueue::Order::OldestFirst};
};
