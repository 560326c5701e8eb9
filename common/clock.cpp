#include "clock.h"

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemClock::secsSinceEpoch() const
{
    return QDateTime::currentSecsSinceEpoch();
}

const SystemClock &SystemClock::instance()
{
    static const SystemClock clock;
    return clock;
}
