#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class QLockFile;

// An append-only journal file. Lines are buffered in memory and handed to
// the operating system by flush() (a kill of the process cannot lose them
// after that); a worker thread syncs them to the disk at most once a second
// while lines come, and sync() does it at once. The file is locked while
// open, so that nobody takes a vote still being written for an abandoned one.
class VoteJournal
{
public:
    // Buffered bytes past which append() hands them over at once.
    static constexpr int kBufferLimit = 64 * 1024;

    VoteJournal();
    ~VoteJournal();
    VoteJournal(const VoteJournal &) = delete;
    VoteJournal &operator=(const VoteJournal &) = delete;

    // Opens `path` for appending, creating it if `create` (it must not exist
    // then). False with errorString() when the file or its lock cannot be had.
    bool open(const QString &path, bool create);
    bool isOpen() const { return file.isOpen(); }
    QString path() const { return file.fileName(); }

    // Lines are appended here, whole (with their '\n'); lineDone() after each.
    QByteArray &pendingLines() { return buffer; }
    void lineDone()
    {
        if (buffer.size() > kBufferLimit)
            flush();
    }
    bool hasPending() const { return !buffer.isEmpty(); }

    // Hands the buffered lines to the operating system. False once a write
    // failed; the journal then takes no more lines.
    bool flush();
    // Asks the worker to sync now, without waiting for it.
    void syncSoon();
    // Flushes, syncs and releases the file.
    void close();

    bool failed() const { return writeFailed; }
    QString errorString() const { return error; }

private:
    // On the worker: the file is the GUI thread's; only its descriptor is used here.
    void syncLoop(int descriptor);
    void stopSyncer();

    QFile file;
    std::unique_ptr<QLockFile> lock;
    QByteArray buffer;
    bool writeFailed = false;
    QString error;

    std::thread syncer;
    std::mutex syncMutex;
    std::condition_variable syncWake;
    bool syncNow = false;
    bool syncStop = false;
    std::atomic<bool> unsynced {false};
};
