#include "statements.h"

#include "queuedmessage.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlField>

QString Statements::text(const QString &value) const
{
    // A null QString would be formatted as NULL; the statements always mean a text.
    if (!m_driver) {
        // No connection was ever made: standard SQL quoting, as every driver starts from.
        QString quoted = value;
        return QLatin1Char('\'') + quoted.replace(QLatin1Char('\''), QStringLiteral("''"))
                + QLatin1Char('\'');
    }
    QSqlField field(QString(), QMetaType(QMetaType::QString));
    field.setValue(value.isNull() ? QStringLiteral("") : value);
    return m_driver->formatValue(field);
}

QString Statements::number(const QString &value) const
{
    bool ok = false;
    const qlonglong n = value.toLongLong(&ok);
    if (!ok)
        return text(value);
    if (!m_driver)
        return QString::number(n);
    QSqlField field(QString(), QMetaType(QMetaType::LongLong));
    field.setValue(n);
    return m_driver->formatValue(field);
}

QString Statements::updateStatus(const QueuedMessage &message, const QString &handleTime) const
{
    return QStringLiteral("update SMS set status=") + statusText(message.Status)
            + QStringLiteral(",HandleTime=") + text(handleTime) + QStringLiteral(" where SysNo=")
            + number(message.SysNo);
}

QString Statements::loadPendingShare(int limit, int offset)
{
    return QStringLiteral("select * from SMS where Status=0 order by SysNo limit ")
            + QString::number(limit) + QStringLiteral(" offset ") + QString::number(offset);
}

QString Statements::claim(const QString &sysNo, const QString &handleTime,
                          const QString &gateway) const
{
    return QStringLiteral("update SMS set Status=1,HandleTime=") + text(handleTime)
            + QStringLiteral(",Gateway=") + text(gateway) + QStringLiteral(" where SysNo=")
            + number(sysNo) + QStringLiteral(" and Status=0");
}

QString Statements::release(const QString &sysNo, const QString &gateway) const
{
    return QStringLiteral("update SMS set Status=0,HandleTime=NULL,Gateway=NULL where SysNo=")
            + number(sysNo) + QStringLiteral(" and Status=1 and Gateway=") + text(gateway);
}

QString Statements::insertReceived(const QString &sender, const QString &body,
                                   const QString &convertedTime) const
{
    return QStringLiteral("insert into smsrecv(cellnumber,smscontent, HandleTime) values(")
            + text(sender) + QLatin1Char(',') + text(body) + QLatin1Char(',') + text(convertedTime)
            + QLatin1Char(')');
}

QString Statements::insertForward(const QString &forwardNumber, const QString &sender,
                                  const QString &body) const
{
    return QStringLiteral("insert into sms(cellnumber,smscontent) values(") + text(forwardNumber)
            + QLatin1Char(',') + text(forwardText(sender, body)) + QLatin1Char(')');
}

QString Statements::forwardText(const QString &sender, const QString &body)
{
    return QStringLiteral("短信平台收到来自") + sender + QStringLiteral("的短信:") + body;
}

QString Statements::insertTest(const QString &number, const QString &body) const
{
    return QStringLiteral("insert into sms(cellnumber,smscontent) values(") + text(number)
            + QLatin1Char(',') + text(body) + QLatin1Char(')');
}

QString Statements::timeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Statements::ConvertTimeStamp(const QString &stamp)
{
    const auto two = [&stamp](int at) {
        return stamp.mid(at, 2);
    };
    return QStringLiteral("20") + two(0) + QLatin1Char('-') + two(2) + QLatin1Char('-') + two(4)
            + QLatin1Char(' ') + two(6) + QLatin1Char(':') + two(8) + QLatin1Char(':') + two(10);
}
