#include "policytime.h"

#include <QRegularExpression>

namespace PolicyTime {

std::optional<QDateTime> parse(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QDateTime();
    static const QRegularExpression form(QStringLiteral(
            "^(\\d{4})-(\\d{2})-(\\d{2})"
            "(?:[Tt ](\\d{2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d+))?)?"
            " ?([Zz]|[+-]\\d{2}(?::?\\d{2})?)?)?$"));
    const QRegularExpressionMatch m = form.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    const auto number = [&m](int group) { return m.captured(group).toInt(); };
    const QDate date(number(1), number(2), number(3));
    if (!date.isValid())
        return std::nullopt;
    if (!m.hasCaptured(4))
        return date.startOfDay();
    int hour = number(4);
    const int ms = m.hasCaptured(7) ? m.captured(7).left(3).leftJustified(3, QLatin1Char('0')).toInt()
                                    : 0;
    // 24:00 is the end of the day, the next one's midnight.
    const bool endOfDay = hour == 24 && number(5) == 0 && number(6) == 0 && ms == 0;
    if (endOfDay)
        hour = 0;
    const QTime time(hour, number(5), number(6), ms);
    if (!time.isValid())
        return std::nullopt;
    const QDate day = endOfDay ? date.addDays(1) : date;
    if (!m.hasCaptured(8))
        return QDateTime(day, time);
    const QString zone = m.captured(8);
    int offset = 0;
    if (zone.compare(QLatin1String("Z"), Qt::CaseInsensitive) != 0) {
        const QString digits = zone.mid(1).remove(QLatin1Char(':'));
        const int hours = digits.left(2).toInt();
        const int minutes = digits.size() > 2 ? digits.mid(2).toInt() : 0;
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offset = (hours * 3600 + minutes * 60) * (zone.startsWith(QLatin1Char('-')) ? -1 : 1);
    }
    return QDateTime(day, time, Qt::OffsetFromUTC, offset).toLocalTime();
}

std::optional<QDateTime> fromValue(const QVariant &value)
{
    if (value.isNull())
        return QDateTime();
    switch (value.typeId()) {
    case QMetaType::QDateTime: {
        // A date the engine kept but cannot express (MariaDB's zero date) is no time either.
        const QDateTime time = value.toDateTime();
        return time.isValid() ? std::optional<QDateTime>(time) : std::nullopt;
    }
    case QMetaType::QDate: {
        const QDate date = value.toDate();
        return date.isValid() ? std::optional<QDateTime>(date.startOfDay()) : std::nullopt;
    }
    default:
        return parse(value.toString());
    }
}

} // namespace PolicyTime
