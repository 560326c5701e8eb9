#pragma once

#include "common/clock.h"

// A clock that says what the test sets.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime at = QDateTime(QDate(2026, 3, 15), QTime(14, 7, 9)))
        : m_now(std::move(at))
    { }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &at) { m_now = at; }
    void advance(int seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};
