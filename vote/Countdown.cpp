#include "vote/Countdown.h"

#include <algorithm>

void Countdown::start(qint32 seconds, qint64 nowMs)
{
    startMs = nowMs;
    length = seconds;
    running = true;
}

Countdown::Reading Countdown::read(qint64 nowMs) const
{
    const qint64 steps = std::max<qint64>(0, nowMs - startMs) / 1000;
    Reading reading;
    if (steps > qint64(length)) {
        reading.expired = true;
        return reading;
    }
    reading.seconds = qint32(qint64(length) - steps);
    return reading;
}

qint64 Countdown::msUntilNextStep(qint64 nowMs) const
{
    const qint64 elapsed = std::max<qint64>(0, nowMs - startMs);
    return 1000 - elapsed % 1000;
}
