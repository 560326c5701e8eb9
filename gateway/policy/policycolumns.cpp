#include "policycolumns.h"

#include "model/outgoingmessage.h"
#include "storage/dbhelper.h"
#include "storage/statements.h"

#include <QSqlDriver>

namespace {

bool hasColumn(DBHelper &db, const QString &column)
{
    return db
            .ExecSQLString(QStringLiteral("select ") + column
                           + QStringLiteral(" from SMS where 1=0"))
            .has_value();
}

} // namespace

PolicyColumns PolicyColumns::probe(DBHelper &db)
{
    PolicyColumns c;
    if (!db.isOpen())
        return c;
    c.priority = hasColumn(db, QStringLiteral("Priority"));
    c.sendAfter = hasColumn(db, QStringLiteral("SendAfter"));
    c.validUntil = hasColumn(db, QStringLiteral("ValidUntil"));
    c.reason = hasColumn(db, QStringLiteral("Reason"));
    c.textTimes = db.driver() && db.driver()->dbmsType() == QSqlDriver::SQLite;
    return c;
}

PolicyColumns::Engine PolicyColumns::engineOf(const QString &driverName)
{
    if (driverName == QLatin1String("QPSQL"))
        return Engine::PostgreSQL;
    if (driverName == QLatin1String("QMYSQL") || driverName == QLatin1String("QMARIADB"))
        return Engine::MariaDB;
    return Engine::SQLite;
}

QStringList PolicyColumns::names()
{
    return {QStringLiteral("Priority"), QStringLiteral("SendAfter"), QStringLiteral("ValidUntil"),
            QStringLiteral("Reason")};
}

QStringList PolicyColumns::addColumns(Engine engine)
{
    QString time = QStringLiteral("TEXT");
    QString text = QStringLiteral("TEXT");
    if (engine == Engine::PostgreSQL) {
        time = QStringLiteral("TIMESTAMP(0)");
    } else if (engine == Engine::MariaDB) {
        time = QStringLiteral("DATETIME");
        text = QStringLiteral("VARCHAR(255)");
    }
    const QString add = QStringLiteral("alter table SMS add ");
    return {add + QStringLiteral("Priority INTEGER"), add + QStringLiteral("SendAfter ") + time,
            add + QStringLiteral("ValidUntil ") + time, add + QStringLiteral("Reason ") + text};
}

QString PolicyColumns::readyFilter() const
{
    if (!sendAfter)
        return {};
    if (!textTimes)
        return QStringLiteral(" and (SendAfter is null or SendAfter<=?)");
    // A time with an offset is compared in UTC; one without is local, with or without its T.
    // A text that is no time is loaded too, so that the row is ended rather than left waiting.
    return QStringLiteral(
            " and (SendAfter is null or trim(SendAfter)='' or julianday(SendAfter) is null"
            " or (case when SendAfter glob '*[Zz]' or SendAfter glob '*[+-][0-9][0-9]:[0-9][0-9]'"
            " then julianday(SendAfter)<=julianday(?) else replace(SendAfter,'T',' ')<=? end))");
}

QVariantList PolicyColumns::readyValues(const QString &now) const
{
    if (!sendAfter)
        return {};
    if (!textTimes)
        return {now};
    const QDateTime local = QDateTime::fromString(now, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return {local.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), now};
}

SqlStatement PolicyColumns::loadPending(const QString &now, int limit, int offset) const
{
    QString sql = QStringLiteral("select * from SMS where Status=0") + readyFilter();
    if (limit > 0) {
        // Gateways that share the queue each take the first rows in the order they go out.
        sql += priority ? QStringLiteral(" order by coalesce(Priority,0) desc, SysNo")
                        : QStringLiteral(" order by SysNo");
        sql += QStringLiteral(" limit %1 offset %2").arg(limit).arg(offset);
    } else if (priority) {
        sql += QStringLiteral(" order by coalesce(Priority,0), SysNo desc");
    }
    return {sql, readyValues(now)};
}

SqlStatement PolicyColumns::loadAbove(int above, const QString &now, int limit) const
{
    QVariantList values{above};
    values << readyValues(now);
    // An empty Priority is 0, above a negative one.
    const QString sql =
            QStringLiteral("select * from SMS where Status=0 and coalesce(Priority,0)>?")
            + readyFilter();
    if (limit > 0)
        return {sql
                        + QStringLiteral(" order by coalesce(Priority,0) desc, SysNo limit %1")
                                  .arg(limit),
                values};
    return {sql + QStringLiteral(" order by coalesce(Priority,0), SysNo desc"), values};
}

SqlStatement PolicyColumns::refuse(const QString &sysNo, const QString &handleTime,
                                   const QString &why) const
{
    // Only a row still pending: another gateway may have taken it meanwhile.
    if (reason)
        return {QStringLiteral("update SMS set Status=-1,HandleTime=?,Reason=? where SysNo=? and "
                               "Status=0"),
                {Statements::textValue(handleTime), Statements::textValue(why),
                 Statements::keyValue(sysNo)}};
    return {QStringLiteral("update SMS set Status=-1,HandleTime=? where SysNo=? and Status=0"),
            {Statements::textValue(handleTime), Statements::keyValue(sysNo)}};
}

SqlStatement PolicyColumns::noteReason(const QString &sysNo, const QString &why)
{
    return {QStringLiteral("update SMS set Reason=? where SysNo=?"),
            {Statements::textValue(why), Statements::keyValue(sysNo)}};
}

QString PolicyColumns::missingFor(const OutgoingMessage &m) const
{
    if (m.priority && !priority)
        return QStringLiteral("priority");
    if (m.sendAfter.isValid() && !sendAfter)
        return QStringLiteral("sendAfter");
    if (m.validUntil.isValid() && !validUntil)
        return QStringLiteral("validUntil");
    return {};
}

SqlStatement PolicyColumns::insert(const OutgoingMessage &m)
{
    QString columns = QStringLiteral("cellnumber,smscontent");
    QString marks = QStringLiteral("?,?");
    QVariantList values{Statements::textValue(m.number), Statements::textValue(m.text)};
    const auto add = [&](const QString &column, const QVariant &value) {
        columns += QLatin1Char(',') + column;
        marks += QStringLiteral(",?");
        values << value;
    };
    if (m.priority)
        add(QStringLiteral("Priority"), *m.priority);
    if (m.sendAfter.isValid())
        add(QStringLiteral("SendAfter"), Statements::timeText(m.sendAfter));
    if (m.validUntil.isValid())
        add(QStringLiteral("ValidUntil"), Statements::timeText(m.validUntil));
    return {QStringLiteral("insert into sms(%1) values(%2)").arg(columns, marks), values};
}
