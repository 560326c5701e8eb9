#pragma once

#include <QtGlobal>
#include <array>

// How long messages took from their hand-over to a modem to the modem's result, as a
// cumulative histogram, since the service started.
struct SendDurations
{
    // Upper bounds of the buckets in seconds; the last bucket (+Inf) is implicit.
    static constexpr std::array<double, 10> Bounds{0.5, 1, 2, 5, 10, 20, 30, 60, 120, 300};

    std::array<qint64, Bounds.size() + 1> buckets{};
    qint64 count = 0;
    double sum = 0;

    // Results at or below Bounds[i], cumulative; index Bounds.size() counts every result.
    qint64 countAtMost(int bucket) const
    {
        qint64 total = 0;
        for (int i = 0; i <= bucket && i < int(buckets.size()); ++i)
            total += buckets[std::size_t(i)];
        return total;
    }
};
