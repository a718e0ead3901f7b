#include "platform/WorkQueue.h"

#include <QThread>

#include <chrono>
#include <utility>

WorkQueue::WorkQueue(Order workOrder)
    : order(workOrder)
{
    worker.reset(QThread::create([this] { run(); }));
    worker->start();
}

WorkQueue::~WorkQueue()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stop = true;
        pending.clear();
    }
    wake.notify_all();
    // Ends every event loop the item under way runs on the worker thread, and
    // makes any it starts later return at once.
    worker->exit();
    worker->wait();
}

bool WorkQueue::post(Work work, std::size_t maxWaiting)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        if (stop || pending.size() >= maxWaiting)
            return false;
        pending.push_back(std::move(work));
    }
    wake.notify_one();
    return true;
}

bool WorkQueue::waitUntilIdle(int timeoutMs)
{
    std::unique_lock<std::mutex> guard(lock);
    return idle.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                         [this] { return pending.empty() && !running; });
}

void WorkQueue::run()
{
    const Job job(stop);
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return stop || !pending.empty(); });
        if (stop)
            break;
        Work work;
        if (order == Order::NewestFirst) {
            work = std::move(pending.back());
            pending.pop_back();
        } else {
            work = std::move(pending.front());
            pending.pop_front();
        }
        running = true;
        guard.unlock();

        work(job);
        // Whatever the item captured goes before the queue counts as idle.
        work = nullptr;

        guard.lock();
        running = false;
        if (pending.empty())
            idle.notify_all();
    }
    running = false;
    idle.notify_all();
}
