#pragma once

#include <QElapsedTimer>
#include <array>

// How long each message took from its hand-over to a modem to the modem's result, as a
// cumulative histogram. The send path reports both ends; the status server reads it.
class SendTimings
{
public:
    static constexpr int Devices = 128;
    // Upper bounds of the buckets in seconds; the last bucket (+Inf) is implicit.
    static constexpr std::array<double, 10> Bounds{0.5, 1, 2, 5, 10, 20, 30, 60, 120, 300};

    void handedOver(int d);
    // A result without a hand-over (a stray result, one after a restart) is not counted.
    void resultFor(int d);

    // Results at or below Bounds[i], cumulative; index Bounds.size() counts every result.
    qint64 countAtMost(int bucket) const;
    qint64 count() const { return m_count; }
    double sumSeconds() const { return m_sum; }

private:
    std::array<QElapsedTimer, Devices> m_started;
    std::array<qint64, Bounds.size() + 1> m_buckets{};
    qint64 m_count = 0;
    double m_sum = 0;
};
