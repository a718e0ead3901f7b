#include "CrowdDriver.h"

#include "RoomSimulator.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTickMs = 10;
// Flat out, a tick sends at most this many, so the simulator's own loop
// (which writes the queued bytes out) keeps turning.
constexpr int kFlatOutBurst = 2000;
constexpr int kFlatOutTickMs = 1;

} // namespace

CrowdDriver::CrowdDriver(RoomSimulator &sim, const CrowdGenerator::Options &options,
                         QObject *parent)
    : QObject(parent)
    , simulator(sim)
    , generator(options)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(kTickMs);
    connect(&timer, &QTimer::timeout, this, &CrowdDriver::tick);
}

void CrowdDriver::setRate(double messagesPerSecond)
{
    perSecond = std::max(0.0, messagesPerSecond);
}

void CrowdDriver::setFlatOut(bool on)
{
    flatOut = on;
    timer.setInterval(on ? kFlatOutTickMs : kTickMs);
}

void CrowdDriver::setRunning(bool on)
{
    if (done)
        on = false;
    if (on == running)
        return;
    running = on;
    due = 0;
    clock.invalidate();
    if (running)
        timer.start();
    else
        timer.stop();
    emit runningChanged(running);
}

void CrowdDriver::finish()
{
    done = true;
    timer.stop();
    running = false;
    emit runningChanged(false);
    emit finished();
}

void CrowdDriver::tick()
{
    // Time without an audience, or with a full pipe, earns no messages.
    if (!simulator.hasAudience() || simulator.pendingBytes() > kHighWaterBytes) {
        clock.invalidate();
        due = 0;
        return;
    }
    if (!clock.isValid()) {
        clock.start();
        return;
    }
    const qint64 nanos = clock.nsecsElapsed();
    clock.start();
    // A stalled event loop must not turn into one huge burst.
    due = flatOut ? kFlatOutBurst
                  : std::min(due + perSecond * double(nanos) / 1e9, perSecond * 0.1 + 1);

    while (due >= 1) {
        if (limit > 0 && sent >= limit)
            break;
        // A burst stops at a full pipe, however much is due.
        if (simulator.pendingBytes() > kHighWaterBytes)
            break;
        if (!simulator.hasAudience())
            return;
        CrowdGenerator::Message message =
            unsent ? *unsent : generator.next(simulator.nextMessageId());
        if (!simulator.sendEvent(message.frame, message.repeat)) {
            unsent = message;
            return;
        }
        unsent.reset();
        ++sent;
        due -= 1;
    }
    if (limit > 0 && sent >= limit)
        finish();
}
