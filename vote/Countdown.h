#pragma once

#include <QtGlobal>

// The countdown display's arithmetic, read off a monotonic clock: N seconds
// show N at once, N - 1 after one second, 0 after N seconds and "time is up"
// after N + 1. Reading the clock instead of counting ticks keeps the display
// right when ticks come late or merge (a stalled GUI thread, a modal dialog).
class Countdown
{
public:
    struct Reading
    {
        bool expired = false; // past 0: the display says time is up
        qint32 seconds = 0; // what the display shows while not expired
    };

    // Starts a countdown of `seconds` at the clock time `nowMs`.
    void start(qint32 seconds, qint64 nowMs);
    void stop() { running = false; }
    // Started and not stopped; an expired countdown stays running until stopped.
    bool isRunning() const { return running; }

    Reading read(qint64 nowMs) const;
    // Milliseconds from `nowMs` to the next change of the display.
    qint64 msUntilNextStep(qint64 nowMs) const;

private:
    qint64 startMs = 0;
    qint32 length = 0;
    bool running = false;
};
