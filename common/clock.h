#pragma once

#include <QDateTime>

// Where engine code asks for the time, so tests can set it instead of waiting for it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // The same moment as a count: a local date and time is dear to make, and code asked on
    // every message needs only this.
    virtual qint64 secsSinceEpoch() const { return now().toSecsSinceEpoch(); }
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
    qint64 secsSinceEpoch() const override;
    static const SystemClock &instance();
};
