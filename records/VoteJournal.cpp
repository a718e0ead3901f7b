#include "records/VoteJournal.h"

#include "platform/Platform.h"

#include <QFileInfo>
#include <QLockFile>

#include <chrono>

VoteJournal::VoteJournal() = default;

VoteJournal::~VoteJournal()
{
    close();
}

bool VoteJournal::open(const QString &path, bool create)
{
    close();
    writeFailed = false;
    error.clear();

    // Only the age of the process decides whether a lock is stale, never the
    // age of the file: a vote may run for hours.
    lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        error = lock->error() == QLockFile::LockFailedError
            ? QStringLiteral("记录正被另一个程序使用")
            : QStringLiteral("无法创建锁文件");
        lock.reset();
        return false;
    }

    file.setFileName(path);
    QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;
    if (create)
        mode |= QIODevice::NewOnly;
    if (!file.open(mode)) {
        error = file.errorString();
        lock.reset();
        return false;
    }
    // A line cut off by a crash must stay a line of its own, not swallow the next one.
    if (!create && file.size() > 0) {
        QFile tail(path);
        char last = '\n';
        if (tail.open(QIODevice::ReadOnly) && tail.seek(tail.size() - 1))
            tail.getChar(&last);
        if (last != '\n')
            buffer.prepend('\n');
    }

    // Lines are built in place; the buffer keeps its room from batch to batch.
    buffer.reserve(kBufferLimit + 4096);
    syncStop = false;
    syncNow = false;
    syncer = std::thread(&VoteJournal::syncLoop, this, file.handle());
    return true;
}

bool VoteJournal::flush()
{
    if (writeFailed || !file.isOpen()) {
        buffer.clear();
        return false;
    }
    if (buffer.isEmpty())
        return true;
    qint64 done = 0;
    while (done < buffer.size()) {
        const qint64 written = file.write(buffer.constData() + done, buffer.size() - done);
        if (written <= 0) {
            writeFailed = true;
            error = file.errorString();
            buffer.clear();
            return false;
        }
        done += written;
    }
    buffer.resize(0);
    unsynced.store(true, std::memory_order_relaxed);
    return true;
}

void VoteJournal::syncSoon()
{
    {
        std::lock_guard<std::mutex> guard(syncMutex);
        syncNow = true;
    }
    syncWake.notify_one();
}

void VoteJournal::syncLoop(int descriptor)
{
    std::unique_lock<std::mutex> guard(syncMutex);
    while (!syncStop) {
        syncWake.wait_for(guard, std::chrono::seconds(1), [this] { return syncStop || syncNow; });
        if (syncStop)
            break;
        const bool wanted = syncNow || unsynced.exchange(false);
        syncNow = false;
        if (!wanted)
            continue;
        guard.unlock();
        Platform::syncFile(descriptor);
        guard.lock();
    }
}

void VoteJournal::stopSyncer()
{
    if (!syncer.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(syncMutex);
        syncStop = true;
    }
    syncWake.notify_one();
    syncer.join();
}

void VoteJournal::close()
{
    if (!file.isOpen())
        return;
    flush();
    stopSyncer();
    Platform::syncFile(file.handle());
    file.close();
    lock.reset(); // unlocks: the lock file goes
}
