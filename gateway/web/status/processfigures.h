#pragma once

#include <QtGlobal>

// What the kernel says of this process, for the standard process_* metrics; a figure it does
// not tell stays negative.
struct ProcessFigures
{
    double cpuSeconds = -1;
    qint64 residentBytes = -1;
    qint64 virtualBytes = -1;
    qint64 openFds = -1;
    qint64 maxFds = -1;
    double startTimeSeconds = -1; // since the epoch

    // Reads /proc/self now.
    static ProcessFigures read();
};
