#pragma once

#include "common/clock.h"

// A clock the test sets.
class TestClock final : public Clock
{
public:
    explicit TestClock(QDateTime at = QDateTime(QDate(2026, 12, 6), QTime(4, 47, 10)))
        : m_now(std::move(at))
    { }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &at) { m_now = at; }
    void advance(int seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};
