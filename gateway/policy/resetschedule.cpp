#include "resetschedule.h"

#include <algorithm>

QDateTime ResetSchedule::monthStart(int year, int month) const
{
    const QDate first(year, month, 1);
    return QDateTime(QDate(year, month, std::min(m_day, first.daysInMonth())), m_at);
}

QDateTime ResetSchedule::start(QuotaPeriod period, const QDateTime &now) const
{
    const QDate today = now.date();
    switch (period) {
    case QuotaPeriod::Hour: {
        const QDateTime s(today, QTime(now.time().hour(), m_at.minute()));
        return s > now ? s.addSecs(-3600) : s;
    }
    case QuotaPeriod::Day: {
        const QDateTime s(today, m_at);
        return s > now ? s.addDays(-1) : s;
    }
    case QuotaPeriod::Month: {
        const QDateTime s = monthStart(today.year(), today.month());
        if (s <= now)
            return s;
        const QDate before = QDate(today.year(), today.month(), 1).addMonths(-1);
        return monthStart(before.year(), before.month());
    }
    }
    return now;
}

QDateTime ResetSchedule::next(QuotaPeriod period, const QDateTime &now) const
{
    const QDateTime s = start(period, now);
    switch (period) {
    case QuotaPeriod::Hour:
        return s.addSecs(3600);
    case QuotaPeriod::Day:
        return s.addDays(1);
    case QuotaPeriod::Month: {
        const QDate after = QDate(s.date().year(), s.date().month(), 1).addMonths(1);
        return monthStart(after.year(), after.month());
    }
    }
    return now;
}
