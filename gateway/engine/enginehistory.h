#pragma once

#include <QDateTime>

// One minute of the gateway's (or one device's) work, for the console's charts.
struct HistoryMinute
{
    QDateTime minute; // start of the minute, in the engine clock's local time
    int sent = 0;
    int failed = 0;
    int received = 0;
    int queueLength = -1; // loaded queue length at the end of the minute
    // Seconds from the hand-over to the modem to its result; -1 when no send ended.
    double sendP50 = -1;
    double sendP90 = -1;
    double sendP99 = -1;

    bool operator==(const HistoryMinute &) const = default;
};
