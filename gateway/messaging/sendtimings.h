#pragma once

#include "model/senddurations.h"

#include <QElapsedTimer>
#include <array>

// Times each message from its hand-over to a modem to the modem's result. The send path
// reports both ends; the status snapshot reads the histogram.
class SendTimings
{
public:
    static constexpr int Devices = 128;
    static constexpr const std::array<double, 10> &Bounds = SendDurations::Bounds;

    void handedOver(int d);
    // A result without a hand-over (a stray result, one after a restart) is not counted. The
    // seconds since the hand-over, -1 when not counted.
    double resultFor(int d);
    // Starts again from nothing, as the per-device counters do at a service start.
    void reset();

    const SendDurations &durations() const { return m_durations; }
    qint64 countAtMost(int bucket) const { return m_durations.countAtMost(bucket); }
    qint64 count() const { return m_durations.count; }
    double sumSeconds() const { return m_durations.sum; }

private:
    std::array<QElapsedTimer, Devices> m_started;
    SendDurations m_durations;
};
