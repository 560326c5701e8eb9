#include "apiviews.h"

namespace {

// A time's offset from UTC; a local time's costs a look at the time zone, so the last one is
// kept for its minute (zones change their offset only on a whole minute).
int offsetOf(const QDateTime &t)
{
    if (t.timeSpec() != Qt::LocalTime)
        return t.offsetFromUtc();
    thread_local QDate lastDate;
    thread_local int lastMinute = -1;
    thread_local int lastOffset = 0;
    const int minute = t.time().hour() * 60 + t.time().minute();
    if (t.date() != lastDate || minute != lastMinute) {
        lastOffset = t.offsetFromUtc();
        lastDate = t.date();
        lastMinute = minute;
    }
    return lastOffset;
}

// ISO 8601 with the offset ("Z" for none), made by hand: Qt's conversions through an offset
// cost several times more, and one inbox read has a thousand of these.
QJsonValue time(const QDateTime &t)
{
    if (!t.isValid())
        return QJsonValue::Null;
    const int offset = offsetOf(t);
    const QDate d = t.date();
    const QTime c = t.time();
    const auto two = [](int v) { return QString::number(v).rightJustified(2, QLatin1Char('0')); };
    QString out = QString::number(d.year()).rightJustified(4, QLatin1Char('0'))
            + QLatin1Char('-') + two(d.month()) + QLatin1Char('-') + two(d.day())
            + QLatin1Char('T') + two(c.hour()) + QLatin1Char(':') + two(c.minute())
            + QLatin1Char(':') + two(c.second());
    if (offset == 0)
        return out + QLatin1Char('Z');
    const int minutes = qAbs(offset) / 60;
    return out + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) + two(minutes / 60)
            + QLatin1Char(':') + two(minutes % 60);
}

QJsonValue number(const std::optional<int> &v)
{
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

QJsonValue limit(int value)
{
    return value > 0 ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QJsonObject quota(const DeviceQuota &q)
{
    return {{QStringLiteral("used"),
             QJsonObject{{QStringLiteral("hour"), q.hourParts},
                         {QStringLiteral("day"), q.dayParts},
                         {QStringLiteral("month"), q.monthParts},
                         {QStringLiteral("recipients"), q.monthRecipients}}},
            {QStringLiteral("limits"),
             QJsonObject{{QStringLiteral("hour"), limit(q.hourLimit)},
                         {QStringLiteral("day"), limit(q.dayLimit)},
                         {QStringLiteral("month"), limit(q.monthLimit)},
                         {QStringLiteral("recipients"), limit(q.recipientLimit)}}},
            {QStringLiteral("restingUntil"), time(q.restingUntil)},
            {QStringLiteral("nextReset"), time(q.nextReset)}};
}

} // namespace

namespace ApiViews {

QString statusName(int status)
{
    if (status < 0)
        return QStringLiteral("failed");
    switch (status) {
    case 0:
        return QStringLiteral("queued");
    case 1:
        return QStringLiteral("sending");
    default:
        return QStringLiteral("sent");
    }
}

QString reportName(int tpStatus)
{
    if (tpStatus < 32)
        return QStringLiteral("delivered");
    return tpStatus < 64 ? QStringLiteral("pending") : QStringLiteral("failed");
}

QJsonObject message(const StoredMessage &m)
{
    QJsonObject o{{QStringLiteral("id"), m.id},
                  {QStringLiteral("to"), m.number},
                  {QStringLiteral("text"), m.text},
                  {QStringLiteral("status"), statusName(m.status)},
                  {QStringLiteral("handledAt"), time(m.handledAt)}};
    if (!m.device.isEmpty())
        o.insert(QStringLiteral("device"), m.device);
    if (!m.reason.isEmpty())
        o.insert(QStringLiteral("reason"), m.reason);
    if (m.reportStatus)
        o.insert(QStringLiteral("report"),
                 QJsonObject{{QStringLiteral("status"), reportName(*m.reportStatus)},
                             {QStringLiteral("at"), time(m.reportAt)}});
    return o;
}

QJsonObject received(const ReceivedRow &r)
{
    return {{QStringLiteral("id"), r.id},
            {QStringLiteral("from"), r.number},
            {QStringLiteral("text"), r.text},
            {QStringLiteral("receivedAt"), time(r.receivedAt)}};
}

QJsonObject device(const DeviceStatus &d)
{
    QJsonObject o{{QStringLiteral("port"), QStringLiteral("Com") + d.port},
                  {QStringLiteral("rate"), d.rate.toInt()},
                  {QStringLiteral("model"), d.model},
                  {QStringLiteral("state"), linkStateName(d.link)},
                  {QStringLiteral("sent"), d.sent},
                  {QStringLiteral("failed"), d.failed},
                  {QStringLiteral("received"), d.received},
                  {QStringLiteral("rssi"), number(d.rssi)},
                  {QStringLiteral("ber"), number(d.ber)},
                  {QStringLiteral("registration"), number(d.registration)},
                  {QStringLiteral("operator"), d.operatorName}};
    if (d.quota)
        o.insert(QStringLiteral("quota"), quota(*d.quota));
    if (d.balance) {
        o.insert(QStringLiteral("balance"), *d.balance);
        o.insert(QStringLiteral("balanceAt"), d.balanceAt.toUTC().toString(Qt::ISODate));
    }
    return o;
}

} // namespace ApiViews
