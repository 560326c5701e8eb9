#include "messagequeuer.h"

#include "storage/dbhelper.h"
#include "storage/statements.h"

#include "policy/policycolumns.h"

#include <QSqlDriver>

#include <algorithm>

MessageQueuer::MessageQueuer(DBHelper &db, std::function<void()> wake) : m_db(db)
{
    m_wake.setSingleShot(true);
    m_wake.setInterval(0);
    QObject::connect(&m_wake, &QTimer::timeout, std::move(wake));
}

QueueResult MessageQueuer::queue(const QList<OutgoingMessage> &messages)
{
    if (!m_db.isOpen())
        return {{}, QStringLiteral("数据库未连接")};
    const bool scheduled = std::any_of(messages.cbegin(), messages.cend(), [](const auto &m) {
        return m.priority || m.sendAfter.isValid() || m.validUntil.isValid();
    });
    if (scheduled) {
        // Left out, a time would send the message early or late: refused instead.
        const PolicyColumns columns = PolicyColumns::probe(m_db);
        for (const OutgoingMessage &m : messages) {
            if (const QString field = columns.missingFor(m); !field.isEmpty())
                return {{},
                        QStringLiteral("表SMS没有%1列，请先执行数据库升级（--upgrade-database）")
                                .arg(field.at(0).toUpper() + field.mid(1)),
                        field};
        }
    }
    // PostgreSQL tells a generated key only when the insert asks for it.
    const bool returning = m_db.driver() && m_db.driver()->dbmsType() == QSqlDriver::PostgreSQL;
    QList<SqlStatement> inserts;
    inserts.reserve(messages.size());
    for (const OutgoingMessage &m : messages) {
        SqlStatement s =
                scheduled ? PolicyColumns::insert(m) : Statements::insertTest(m.number, m.text);
        if (returning)
            s.sql += QStringLiteral(" returning SysNo");
        inserts.append(std::move(s));
    }
    const auto keys = m_db.insertAll(inserts);
    if (!keys)
        return {{}, m_db.lastError()};
    QueueResult result;
    for (const QVariant &key : *keys) {
        bool ok = false;
        result.ids.append(key.toLongLong(&ok));
        if (!ok || result.ids.last() <= 0)
            // Committed, but the database did not say under which numbers.
            return {{}, QStringLiteral("数据库没有返回新短信的SysNo")};
    }
    m_wake.start();
    return result;
}
