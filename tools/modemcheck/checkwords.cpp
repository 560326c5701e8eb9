#include "checkwords.h"

#include <QStringList>

namespace CheckWords {

QString signal(const QString &csq)
{
    const int rssi = csq.section(QLatin1Char(','), 0, 0).toInt();
    if (csq.isEmpty() || rssi == 99)
        return QStringLiteral("unknown");
    if (rssi < 10)
        return QStringLiteral("weak");
    return rssi < 15 ? QStringLiteral("usable") : QStringLiteral("good");
}

QString registration(const QString &stat)
{
    switch (stat.toInt()) {
    case 0:
        return QStringLiteral("not registered, not searching");
    case 1:
        return QStringLiteral("home network");
    case 2:
        return QStringLiteral("not registered, searching");
    case 3:
        return QStringLiteral("registration denied");
    case 5:
        return QStringLiteral("roaming");
    default:
        break;
    }
    return QStringLiteral("unknown");
}

QString rates(const QList<int> &rates)
{
    QStringList texts;
    for (int r : rates)
        texts.append(QString::number(r));
    if (texts.size() <= 1)
        return texts.join(QString());
    const QString last = texts.takeLast();
    return texts.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

QString permissionDenied()
{
    return QStringLiteral("permission denied \u2014 is the user in group dialout?");
}

} // namespace CheckWords
