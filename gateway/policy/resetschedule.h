#pragma once

#include <QDateTime>
#include <QTime>

enum class QuotaPeriod { Hour, Day, Month };

// When the carriers' counting periods begin, in local time: every hour at the minute of the
// reset time, every day at the reset time, every month on the reset day (the last day of a
// shorter month) at the reset time.
class ResetSchedule
{
public:
    ResetSchedule(QTime at = QTime(0, 0), int day = 1) : m_at(at), m_day(day) { }

    // The beginning of the period that holds now.
    QDateTime start(QuotaPeriod period, const QDateTime &now) const;
    // The beginning of the period after the one that holds now.
    QDateTime next(QuotaPeriod period, const QDateTime &now) const;

    bool operator==(const ResetSchedule &) const = default;

private:
    QDateTime monthStart(int year, int month) const;

    QTime m_at;
    int m_day;
};
