#include "pdutimestamp.h"

#include <QTimeZone>

namespace PduTimestamp {
namespace {

char hexDigit(int n)
{
    return "0123456789ABCDEF"[n & 0xF];
}

quint8 swapped(int value)
{
    return quint8(((value % 10) << 4) | ((value / 10) % 10));
}

} // namespace

QString toText(QByteArrayView o)
{
    QString out;
    if (o.size() < 7)
        return out;
    for (int i = 0; i < 6; ++i) {
        const quint8 b = quint8(o[i]);
        out.append(QLatin1Char(hexDigit(b & 0xF)));
        out.append(QLatin1Char(hexDigit(b >> 4)));
    }
    const quint8 z = quint8(o[6]);
    const int quarters = (z & 0x07) * 10 + (z >> 4);
    out.append(QLatin1Char((z & 0x08) ? '-' : '+'));
    out.append(QStringLiteral("%1").arg(quarters, 2, 10, QLatin1Char('0')));
    return out;
}

QByteArray encode(const QDateTime &when)
{
    const QDateTime local = when.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    QByteArray out;
    out.append(char(swapped(d.year() % 100)));
    out.append(char(swapped(d.month())));
    out.append(char(swapped(d.day())));
    out.append(char(swapped(t.hour())));
    out.append(char(swapped(t.minute())));
    out.append(char(swapped(t.second())));
    const int offset = local.offsetFromUtc() / 900;
    quint8 zone = swapped(qAbs(offset) % 80);
    if (offset < 0)
        zone |= 0x08;
    out.append(char(zone));
    return out;
}

} // namespace PduTimestamp
