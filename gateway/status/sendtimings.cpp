#include "sendtimings.h"

void SendTimings::handedOver(int d)
{
    if (d >= 0 && d < Devices)
        m_started[d].start();
}

void SendTimings::resultFor(int d)
{
    if (d < 0 || d >= Devices || !m_started[d].isValid())
        return;
    const double seconds = double(m_started[d].nsecsElapsed()) / 1e9;
    m_started[d].invalidate();
    std::size_t bucket = 0;
    while (bucket < Bounds.size() && seconds > Bounds[bucket])
        ++bucket;
    ++m_buckets[bucket];
    ++m_count;
    m_sum += seconds;
}

qint64 SendTimings::countAtMost(int bucket) const
{
    qint64 total = 0;
    for (int i = 0; i <= bucket && i < int(m_buckets.size()); ++i)
        total += m_buckets[std::size_t(i)];
    return total;
}
