#include "sendcounts.h"

#include <algorithm>

qint64 SendCounts::periodStart(QuotaPeriod period, qint64 at) const
{
    Span &span = m_spans[int(period)];
    if (at < span.from || at >= span.to) {
        const QDateTime t = QDateTime::fromSecsSinceEpoch(at);
        span = {m_schedule.start(period, t).toSecsSinceEpoch(),
                m_schedule.next(period, t).toSecsSinceEpoch()};
    }
    return span.from;
}

void SendCounts::count(Counter &counter, qint64 start, int parts)
{
    if (counter.start != Never && start < counter.start)
        return; // a record of a period already over
    if (counter.start != start) {
        counter.start = start;
        counter.parts = 0;
    }
    counter.parts += parts;
}

void SendCounts::add(const SendRecord &record)
{
    Device &d = m_devices[record.device];
    count(d.hour, periodStart(QuotaPeriod::Hour, record.at), record.parts);
    count(d.day, periodStart(QuotaPeriod::Day, record.at), record.parts);
    const qint64 month = periodStart(QuotaPeriod::Month, record.at);
    if (d.month.start == Never || month >= d.month.start) {
        if (month != d.month.start)
            d.recipients.clear();
        d.recipients.insert(record.number);
    }
    count(d.month, month, record.parts);
    if (m_numbers)
        m_toNumber[record.number].append(record.at);
}

int SendCounts::partsIn(const Counter &counter, QuotaPeriod period, qint64 now) const
{
    return counter.start == periodStart(period, now) ? counter.parts : 0;
}

DeviceUsage SendCounts::usage(const QString &device, qint64 now) const
{
    const auto it = m_devices.constFind(device);
    if (it == m_devices.cend())
        return {};
    const bool thisMonth = it->month.start == periodStart(QuotaPeriod::Month, now);
    return {partsIn(it->hour, QuotaPeriod::Hour, now), partsIn(it->day, QuotaPeriod::Day, now),
            partsIn(it->month, QuotaPeriod::Month, now),
            thisMonth ? int(it->recipients.size()) : 0};
}

bool SendCounts::knowsRecipient(const QString &device, const QString &number, qint64 now) const
{
    const auto it = m_devices.constFind(device);
    return it != m_devices.cend() && it->month.start == periodStart(QuotaPeriod::Month, now)
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
