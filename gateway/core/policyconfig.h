#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

// What one SIM may send; 0 means no limit. Parts are counted as the carriers count them.
struct PolicyLimits
{
    int hourParts = 0;
    int dayParts = 0;
    int monthParts = 0;
    int monthRecipients = 0;
    int minGapSeconds = 0;
    int randomGapSeconds = 0;
};

// A group of devices and the number prefixes that leave only through them.
struct PolicyGroup
{
    QString name;
    QList<int> devices;
    QStringList prefixes;
    PolicyLimits limits;
};

// The sending policy of [Policy] and [Policy:<group>] in Config.ini. Off unless one of its
// keys is set, and then the gateway sends as it always did.
struct PolicyConfig
{
    bool enabled = false;
    QTime resetTime = QTime(0, 0);
    int resetDay = 1;
    PolicyLimits limits;
    QList<PolicyGroup> groups;
    // The group that takes numbers no prefix names; -1 lets them go through any device.
    int defaultGroup = -1;
    int recipientLimit = 0;
    int recipientWindowMinutes = 60;
    // Devices a message refused for certain is offered to, the first one included.
    int attempts = 1;

    // The group of device d, -1 for none.
    QList<int> groupOfDevice;
    // Every prefix with its group, longest first, so the most specific one wins.
    QList<std::pair<QString, int>> prefixTable;

    // The group a number's messages must leave through; -1 for any device.
    int routeOf(const QString &number) const;
    bool routeAllows(int route, int d) const
    {
        return route < 0 || groupOfDevice.value(d, -1) == route;
    }
    const PolicyLimits &limitsOf(int d) const;
    QString routeName(int route) const;
};
