#include "statements.h"

#include "queuedmessage.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlField>
#include <QVariant>

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

QVariant Statements::textValue(const QString &value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QVariant Statements::keyValue(const QString &value)
{
    bool ok = false;
    const qlonglong n = value.toLongLong(&ok);
    return ok ? QVariant(n) : textValue(value);
}

QString Statements::literal(const SqlStatement &statement) const
{
    // The templates hold no '?' inside a quoted text, so each one is a parameter.
    QString out;
    out.reserve(statement.sql.size() + 32 * statement.values.size());
    qsizetype next = 0;
    for (const QChar c : statement.sql) {
        if (c != QLatin1Char('?') || next >= statement.values.size()) {
            out.append(c);
            continue;
        }
        const QVariant &v = statement.values.at(next++);
        out.append(v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int
                           ? number(v.toString())
                           : text(v.toString()));
    }
    return out;
}

SqlStatement Statements::updateStatus(const QueuedMessage &message, const QString &handleTime)
{
    return {QStringLiteral("update SMS set status=?,HandleTime=? where SysNo=?"),
            {int(message.Status), textValue(handleTime), keyValue(message.SysNo)}};
}

QString Statements::loadPendingShare(int limit, int offset)
{
    return QStringLiteral("select * from SMS where Status=0 order by SysNo limit ")
            + QString::number(limit) + QStringLiteral(" offset ") + QString::number(offset);
}

SqlStatement Statements::claim(const QString &sysNo, const QString &handleTime,
                               const QString &gateway)
{
    return {QStringLiteral("update SMS set Status=1,HandleTime=?,Gateway=? where SysNo=? and "
                           "Status=0"),
            {textValue(handleTime), textValue(gateway), keyValue(sysNo)}};
}

SqlStatement Statements::release(const QString &sysNo, const QString &gateway)
{
    return {QStringLiteral("update SMS set Status=0,HandleTime=NULL,Gateway=NULL where SysNo=? "
                           "and Status=1 and Gateway=?"),
            {keyValue(sysNo), textValue(gateway)}};
}

SqlStatement Statements::insertReceived(const QString &sender, const QString &body,
                                        const QString &convertedTime)
{
    return {QStringLiteral("insert into smsrecv(cellnumber,smscontent, HandleTime) values(?,?,?)"),
            {textValue(sender), textValue(body), textValue(convertedTime)}};
}

SqlStatement Statements::insertForward(const QString &forwardNumber, const QString &sender,
                                       const QString &body)
{
    return {QStringLiteral("insert into sms(cellnumber,smscontent) values(?,?)"),
            {textValue(forwardNumber), textValue(forwardText(sender, body))}};
}

QString Statements::forwardText(const QString &sender, const QString &body)
{
    return QStringLiteral("短信平台收到来自") + sender + QStringLiteral("的短信:") + body;
}

SqlStatement Statements::insertTest(const QString &number, const QString &body)
{
    return {QStringLiteral("insert into sms(cellnumber,smscontent) values(?,?)"),
            {textValue(number), textValue(body)}};
}

SqlStatement Statements::insertReport(const QString &sysNo, const QString &number, int status,
                                      const QString &deliveryTime, const QString &reportTime)
{
    return {QStringLiteral("insert into smsreport(SysNo,CellNumber,Status,DeliveryTime,"
                           "ReportTime) values(?,?,?,?,?)"),
            {keyValue(sysNo), textValue(number), status, textValue(deliveryTime),
             textValue(reportTime)}};
}

SqlStatement Statements::countMatching(const QString &table, const QString &number,
                                       const QString &body)
{
    return {QStringLiteral("select count(*) from ") + table
                    + QStringLiteral(" where cellnumber=? and smscontent=?"),
            {textValue(number), textValue(body)}};
}

SqlStatement Statements::countHandedBefore(const QString &handleTime)
{
    return {QStringLiteral("select count(*) from SMS where Status=1 and HandleTime<?"),
            {textValue(handleTime)}};
}

SqlStatement Statements::queueCounts()
{
    return {QStringLiteral("select Status, count(*), min(SysNo) from SMS where Status=0 or "
                           "Status=1 group by Status")};
}

SqlStatement Statements::failedSince(const QString &dayAgo, const QString &hourAgo)
{
    return {QStringLiteral("select count(*), sum(case when HandleTime>=? then 1 else 0 end) from "
                           "SMS where Status=-1 and HandleTime>=?"),
            {textValue(hourAgo), textValue(dayAgo)}};
}

SqlStatement Statements::handedBefore(const QString &handleTime, int limit, bool withGateway)
{
    // Without a shared queue the table may have no Gateway column at all.
    return {QStringLiteral("select SysNo, CellNumber, HandleTime")
                    + (withGateway ? QStringLiteral(", Gateway") : QString())
                    + QStringLiteral(" from SMS where Status=1 and HandleTime<? order by "
                                     "HandleTime, SysNo limit ")
                    + QString::number(qMax(1, limit)),
            {textValue(handleTime)}};
}

SqlStatement Statements::requeue(qint64 sysNo, const QString &gateway)
{
    if (gateway.isEmpty())
        return {QStringLiteral(
                        "update SMS set Status=0,HandleTime=NULL where SysNo=? and Status=1"),
                {sysNo}};
    return {QStringLiteral("update SMS set Status=0,HandleTime=NULL,Gateway=NULL where SysNo=? and "
                           "Status=1 and Gateway=?"),
            {sysNo, textValue(gateway)}};
}

SqlStatement Statements::serverVersion(int driverType)
{
    switch (driverType) {
    case QSqlDriver::PostgreSQL:
        return {QStringLiteral("select 'PostgreSQL ' || current_setting('server_version')")};
    case QSqlDriver::MySqlServer:
        // MariaDB names itself in its version ("10.11.6-MariaDB-0+deb12u1").
        return {QStringLiteral("select version()")};
    default:
        return {QStringLiteral("select 'SQLite ' || sqlite_version()")};
    }
}

SqlStatement Statements::findReceived(const QString &number, const QString &body,
                                      const QString &handleTime)
{
    return {QStringLiteral("select SysNo from smsrecv where cellnumber=? and smscontent=? and "
                           "HandleTime=? order by SysNo desc"),
            {textValue(number), textValue(body), textValue(handleTime)}};
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
