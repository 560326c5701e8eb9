#include "sendtimings.h"

void SendTimings::handedOver(int d)
{
    if (d >= 0 && d < Devices)
        m_started[d].start();
}

double SendTimings::resultFor(int d)
{
    if (d < 0 || d >= Devices || !m_started[d].isValid())
        return -1;
    const double seconds = double(m_started[d].nsecsElapsed()) / 1e9;
    m_started[d].invalidate();
    std::size_t bucket = 0;
    while (bucket < Bounds.size() && seconds > Bounds[bucket])
        ++bucket;
    ++m_durations.buckets[bucket];
    ++m_durations.count;
    m_durations.sum += seconds;
    return seconds;
}

void SendTimings::reset()
{
    for (QElapsedTimer &t : m_started)
        t.invalidate();
    m_durations = {};
}
