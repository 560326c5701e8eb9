#include "sendcounts.h"

#include <algorithm>

void SendCounts::count(Counter &counter, const QDateTime &start, int parts)
{
    if (counter.start.isValid() && start < counter.start)
        return; // a record of a period already over
    if (counter.start != start) {
        counter.start = start;
        counter.parts = 0;
    }
    counter.parts += parts;
}

void SendCounts::add(const SendRecord &record)
{
    const QDateTime at = QDateTime::fromSecsSinceEpoch(record.at);
    Device &d = m_devices[record.device];
    count(d.hour, m_schedule.start(QuotaPeriod::Hour, at), record.parts);
    count(d.day, m_schedule.start(QuotaPeriod::Day, at), record.parts);
    const QDateTime month = m_schedule.start(QuotaPeriod::Month, at);
    if (!d.month.start.isValid() || month >= d.month.start) {
        if (month != d.month.start)
            d.recipients.clear();
        d.recipients.insert(record.number);
    }
    count(d.month, month, record.parts);
    m_toNumber[record.number].append(record.at);
}

int SendCounts::partsIn(const Counter &counter, QuotaPeriod period, const QDateTime &now) const
{
    return counter.start == m_schedule.start(period, now) ? counter.parts : 0;
}

DeviceUsage SendCounts::usage(const QString &device, const QDateTime &now) const
{
    const auto it = m_devices.constFind(device);
    if (it == m_devices.cend())
        return {};
    const bool thisMonth = it->month.start == m_schedule.start(QuotaPeriod::Month, now);
    return {partsIn(it->hour, QuotaPeriod::Hour, now), partsIn(it->day, QuotaPeriod::Day, now),
            partsIn(it->month, QuotaPeriod::Month, now),
            thisMonth ? int(it->recipients.size()) : 0};
}

bool SendCounts::knowsRecipient(const QString &device, const QString &number,
                                const QDateTime &now) const
{
    const auto it = m_devices.constFind(device);
    return it != m_devices.cend() && it->month.start == m_schedule.start(QuotaPeriod::Month, now)
            && it->recipients.contains(number);
}

int SendCounts::sentTo(const QString &number, qint64 since) const
{
    const auto it = m_toNumber.constFind(number);
    if (it == m_toNumber.cend())
        return 0;
    return int(std::count_if(it->cbegin(), it->cend(), [since](qint64 t) { return t >= since; }));
}

void SendCounts::dropRecipientsBefore(qint64 before)
{
    for (auto it = m_toNumber.begin(); it != m_toNumber.end();) {
        it->removeIf([before](qint64 t) { return t < before; });
        it = it->isEmpty() ? m_toNumber.erase(it) : std::next(it);
    }
}
