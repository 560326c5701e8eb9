#pragma once

#include "resetschedule.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <limits>

// One message handed to a modem, as the counts and the journal keep it. device is the port,
// which stays the same SIM slot when the device list is reordered.
struct SendRecord
{
    qint64 at = 0; // seconds since the epoch
    QString device;
    int parts = 1;
    QString number;

    bool operator==(const SendRecord &) const = default;
};

// What one device sent in the periods that hold a given time.
struct DeviceUsage
{
    int hourParts = 0;
    int dayParts = 0;
    int monthParts = 0;
    int monthRecipients = 0;
};

// The counts of every device for the current periods, and the recent messages to each number,
// built up from the records in the order they were made.
class SendCounts
{
public:
    // numbers: whether the messages to each number are kept, for sentTo().
    explicit SendCounts(const ResetSchedule &schedule = {}, bool numbers = true)
        : m_schedule(schedule), m_numbers(numbers)
    { }

    void add(const SendRecord &record);
    DeviceUsage usage(const QString &device, const QDateTime &now) const
    {
        return usage(device, now.toSecsSinceEpoch());
    }
    // The same at a time in seconds since the epoch, as a pass over many devices asks.
    DeviceUsage usage(const QString &device, qint64 now) const;
    // Messages to number since the given time, however many devices they went through.
    int sentTo(const QString &number, qint64 since) const;
    // Whether this device already sent to number in the month that holds now.
    bool knowsRecipient(const QString &device, const QString &number, const QDateTime &now) const
    {
        return knowsRecipient(device, number, now.toSecsSinceEpoch());
    }
    bool knowsRecipient(const QString &device, const QString &number, qint64 now) const;
    // The beginning of the period that holds the time, in seconds since the epoch.
    qint64 periodStart(QuotaPeriod period, qint64 at) const;
    // Forgets the messages to numbers older than before, so the map does not keep growing.
    void dropRecipientsBefore(qint64 before);

    const ResetSchedule &schedule() const { return m_schedule; }
    bool keepsNumbers() const { return m_numbers; }

private:
    // No period begins here: a counter that never counted.
    static constexpr qint64 Never = std::numeric_limits<qint64>::min();
    struct Counter
    {
        qint64 start = Never;
        int parts = 0;
    };
    // A period's bounds as last worked out: local times are dear to compute, and a pass over
    // the devices asks for the same ones again and again.
    struct Span
    {
        qint64 from = 0;
        qint64 to = 0;
    };
    struct Device
    {
        Counter hour;
        Counter day;
        Counter month;
        QSet<QString> recipients;
    };
    static void count(Counter &counter, qint64 start, int parts);
    int partsIn(const Counter &counter, QuotaPeriod period, qint64 now) const;

    ResetSchedule m_schedule;
    bool m_numbers = true;
    mutable Span m_spans[3];
    QHash<QString, Device> m_devices;
    QHash<QString, QList<qint64>> m_toNumber;
};
