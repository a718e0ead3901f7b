#pragma once

#include "CrowdGenerator.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <optional>

class RoomSimulator;

// Sends the generated crowd at a steady rate while a client is authenticated.
// A timer tick sends every message due since the last tick, so high rates
// cost one timer, not one per message.
class CrowdDriver : public QObject
{
    Q_OBJECT

public:
    // Past this much queued for the client the crowd waits: a plug-in that
    // falls behind slows the crowd instead of growing the simulator without bound.
    static constexpr qint64 kHighWaterBytes = 8 * 1024 * 1024;

    CrowdDriver(RoomSimulator &simulator, const CrowdGenerator::Options &options,
                QObject *parent = nullptr);

    void setRate(double messagesPerSecond);
    double rate() const { return perSecond; }
    // As fast as the link takes them: every tick sends until the bytes
    // queued for the client reach the high-water mark (the rate is unused).
    void setFlatOut(bool on);
    bool isFlatOut() const { return flatOut; }
    // Stop after this many messages (repeats not counted); 0 runs on.
    void setLimit(qint64 messages) { limit = messages; }

    void setRunning(bool on);
    bool isRunning() const { return running; }
    bool isFinished() const { return done; }
    qint64 sentCount() const { return sent; }

signals:
    void runningChanged(bool running);
    void finished();

private:
    void tick();
    void finish();

    RoomSimulator &simulator;
    CrowdGenerator generator;
    QTimer timer;
    QElapsedTimer clock;
    double perSecond = 20;
    double due = 0;
    qint64 limit = 0;
    qint64 sent = 0;
    bool running = false;
    bool flatOut = false;
    bool done = false;
    std::optional<CrowdGenerator::Message> unsent; // made, but the link went down first
};
