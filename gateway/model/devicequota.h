#pragma once

#include <QDateTime>

// What the sending policy lets one device send and how much of it the device used, for the
// page, the metrics and the API; a limit of 0 is none.
struct DeviceQuota
{
    int hourParts = 0;
    int dayParts = 0;
    int monthParts = 0;
    int monthRecipients = 0;
    int hourLimit = 0;
    int dayLimit = 0;
    int monthLimit = 0;
    int recipientLimit = 0;
    // Set while the device rests at a limit: when it sends again.
    QDateTime restingUntil;
    // When the shortest period the device has a limit for begins anew.
    QDateTime nextReset;

    bool operator==(const DeviceQuota &) const = default;
};
