#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>

class QThread;

// A thread of its own that runs queued work one item at a time, so the GUI
// thread never waits for it. Each kind of background work (reports, the gift
// list, pictures) has its own queue.
//
// Stopping (the destructor) drops the work not started and cuts short the
// item under way: its stop flag is set and every event loop it runs on the
// worker thread returns, so a network call can abort at once.
class WorkQueue
{
public:
    enum class Order {
        OldestFirst, // in the order queued
        NewestFirst, // the latest queued first
    };

    // What an item sees of the queue while it runs.
    class Job
    {
    public:
        // True once the queue is stopping: the item should end now.
        bool stopping() const { return stop.load(); }
        // The flag itself, for calls that poll it (the HTTP fetch).
        const std::atomic<bool> &stopFlag() const { return stop; }

    private:
        friend class WorkQueue;
        explicit Job(const std::atomic<bool> &flag)
            : stop(flag)
        {}
        const std::atomic<bool> &stop;
    };

    using Work = std::function<void(const Job &job)>;

    explicit WorkQueue(Order order = Order::OldestFirst);
    ~WorkQueue();

    WorkQueue(const WorkQueue &) = delete;
    WorkQueue &operator=(const WorkQueue &) = delete;

    // Queues the work and returns at once; callable from any thread. Work
    // queued after the stop, or while `maxWaiting` items wait to start, is
    // dropped (false).
    bool post(Work work, std::size_t maxWaiting = std::numeric_limits<std::size_t>::max());

    // Blocks until nothing is queued or running; false when that did not
    // happen within `timeoutMs`.
    bool waitUntilIdle(int timeoutMs);

private:
    void run();

    const Order order;
    std::mutex lock;
    std::condition_variable wake; // work arrived or the queue stops
    std::condition_variable idle; // the queue ran dry
    std::deque<Work> pending;
    bool running = false;
    std::atomic<bool> stop {false};
    std::unique_ptr<QThread> worker;
};
