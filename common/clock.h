#pragma once

#include <QDateTime>

// Where engine code asks for the time, so tests can set it instead of waiting for it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
    static const SystemClock &instance();
};
