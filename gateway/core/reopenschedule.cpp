#include "reopenschedule.h"

ReopenSchedule::ReopenSchedule(Open open, QObject *parent) : QObject(parent), m_open(std::move(open))
{
    for (int d = 0; d < Count; ++d) {
        m_timers[d].setSingleShot(true);
        connect(&m_timers[d], &QTimer::timeout, this, [this, d] { m_open(d); });
    }
}

void ReopenSchedule::startAfter(int d, int failures)
{
    if (failures >= int(PausesMs.size())) {
        m_timers[d].stop();
        return;
    }
    m_timers[d].start(PausesMs[std::size_t(failures)]);
}

void ReopenSchedule::retry(int d)
{
    if (d >= 0 && d < Count)
        startAfter(d, m_failures[d]++);
}

void ReopenSchedule::retryAfterFailedSend(int d)
{
    if (d < 0 || d >= Count)
        return;
    const int before = m_failedSends[d]++;
    m_failures[d] = 0;
    if (before == 0)
        m_timers[d].start(0);
    else
        startAfter(d, before - 1);
}

void ReopenSchedule::sent(int d)
{
    if (d >= 0 && d < Count)
        m_failedSends[d] = 0;
}

void ReopenSchedule::reset(int d)
{
    if (d < 0 || d >= Count)
        return;
    m_failures[d] = 0;
    m_timers[d].stop();
}

void ReopenSchedule::cancel(int d)
{
    if (d >= 0 && d < Count)
        m_timers[d].stop();
}

void ReopenSchedule::cancelAll()
{
    for (int d = 0; d < Count; ++d) {
        reset(d);
        m_failedSends[d] = 0;
    }
}

bool ReopenSchedule::waiting(int d) const
{
    return d >= 0 && d < Count && m_timers[d].isActive();
}
