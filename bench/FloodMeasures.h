#pragma once

// What the end-to-end benchmark measures with: one clock, a histogram of
// milliseconds, and the times frames left the room simulator.
#include <QElapsedTimer>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <vector>

// One clock for both threads (monotonic, process-wide).
inline QElapsedTimer benchClock;

inline double nowMs()
{
    return double(benchClock.nsecsElapsed()) / 1e6;
}

// Milliseconds in 0.1 ms steps, the exact largest kept aside. Its bins are
// taken once, so measuring adds nothing to the memory being measured.
class Histogram
{
public:
    static constexpr int kBins = 100000; // up to 10 s

    void add(double ms)
    {
        const int bin = std::clamp(int(ms * 10), 0, kBins - 1);
        ++bins[std::size_t(bin)];
        ++total;
        largest = std::max(largest, ms);
    }
    qint64 count() const { return total; }
    double max() const { return largest; }
    // The value below which `share` of them lie (to the bin's upper edge).
    double percentile(double share) const
    {
        const qint64 wanted = qint64(share * double(total));
        qint64 seen = 0;
        for (int bin = 0; bin < kBins; ++bin) {
            seen += bins[std::size_t(bin)];
            if (seen > wanted)
                return std::min(largest, (bin + 1) / 10.0);
        }
        return largest;
    }

private:
    std::vector<qint64> bins = std::vector<qint64>(kBins);
    qint64 total = 0;
    double largest = 0;
};

// When frames left the simulator: every kStride-th frame's time, in a ring
// long enough for any frame still waiting to be shown.
class SendStamps
{
public:
    static constexpr qint64 kStride = 16;
    static constexpr qint64 kSlots = 1 << 16; // a million frames back

    void written(qint64 frame)
    {
        if (frame % kStride == 0)
            at[std::size_t((frame / kStride) % kSlots)].store(benchClock.nsecsElapsed(),
                                                              std::memory_order_relaxed);
        total.store(frame, std::memory_order_release);
    }
    qint64 frames() const { return total.load(std::memory_order_acquire); }
    // Milliseconds since frame `frame` (a multiple of kStride) left; -1 when
    // its stamp is gone.
    double ageMs(qint64 frame, double nowNs) const
    {
        if (frames() - frame >= kSlots * kStride)
            return -1;
        return (nowNs
                - double(
                    at[std::size_t((frame / kStride) % kSlots)].load(std::memory_order_relaxed)))
            / 1e6;
    }

private:
    std::array<std::atomic<qint64>, kSlots> at {};
    std::atomic<qint64> total {0};
};
