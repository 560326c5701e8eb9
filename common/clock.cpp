#include "clock.h"

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

const SystemClock &SystemClock::instance()
{
    static const SystemClock clock;
    return clock;
}
