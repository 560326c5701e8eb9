#include "optoutlist.h"

#include "canonicalnumber.h"

#include "common/clock.h"
#include "core/logsink.h"
#include "policy/policycolumns.h"
#include "storage/dbhelper.h"
#include "storage/statements.h"

OptOutList::OptOutList(DBHelper &db, LogSink &log, const Clock &clock)
    : m_db(db), m_log(log), m_clock(clock), m_store(db)
{ }

void OptOutList::configure(const OptOutSettings &settings)
{
    m_settings = settings;
    m_unreadable = false;
}

QString OptOutList::canonical(const QString &number) const
{
    return CanonicalNumber::of(number, m_settings.countryCode);
}

OptOutList::Recorded OptOutList::record(const QString &number, const QString &keyword,
                                        const QString &port, const QDateTime &at)
{
    const OptOutStore::Entry entry{canonical(number), at, keyword, port};
    for (const OptOutStore::Entry &held : std::as_const(m_held)) {
        if (held.number == entry.number)
            return Recorded::Already;
    }
    QString error;
    const auto added = m_store.add(entry, &error);
    if (added)
        return *added ? Recorded::Added : Recorded::Already;
    m_held.append(entry);
    m_log.WriteLog(QStringLiteral("号码%1的退订暂未写入数据库（%2），稍后重试，其间不再向它发送")
                           .arg(entry.number, error));
    return Recorded::Held;
}

std::optional<int> OptOutList::remove(const QString &number, QString *error)
{
    const QString n = canonical(number);
    const qsizetype held = m_held.removeIf([&n](const OptOutStore::Entry &e) { return e.number == n; });
    const auto removed = m_store.remove(n, error);
    if (!removed)
        return std::nullopt;
    return *removed + int(held);
}

std::optional<QList<OptOutStore::Entry>> OptOutList::list(QString *error)
{
    auto entries = m_store.list(error);
    if (entries)
        entries->append(m_held);
    return entries;
}

void OptOutList::writeHeld()
{
    while (!m_held.isEmpty()) {
        QString error;
        if (!m_store.add(m_held.first(), &error))
            return;
        m_log.WriteLog(QStringLiteral("号码%1的退订已写入数据库").arg(m_held.first().number));
        m_held.removeFirst();
    }
}

void OptOutList::screen(QList<QueuedMessage> &rows)
{
    if (!m_settings.enabled || rows.isEmpty())
        return;
    writeHeld();
    QStringList numbers;
    numbers.reserve(rows.size());
    for (const QueuedMessage &row : std::as_const(rows))
        numbers.append(canonical(row.CellNumber));
    QString error;
    auto listed = m_store.listed(numbers, &error);
    if (!listed) {
        if (!m_unreadable)
            m_log.WriteLog(QStringLiteral("无法读取退订名单（%1），短信暂缓发送").arg(error));
        m_unreadable = true;
        rows.clear();
        return;
    }
    if (m_unreadable)
        m_log.WriteLog(QStringLiteral("退订名单恢复可读，继续发送"));
    m_unreadable = false;
    for (const OptOutStore::Entry &held : std::as_const(m_held))
        listed->insert(held.number);
    if (listed->isEmpty())
        return;
    for (qsizetype i = rows.size() - 1; i >= 0; --i) {
        if (!listed->contains(numbers.at(i)) || m_exempt.contains(rows.at(i).SysNo))
            continue;
        refuse(rows.takeAt(i));
    }
}

void OptOutList::refuse(const QueuedMessage &row)
{
    m_log.WriteLog(QStringLiteral("短信(SysNo=%1)未发送：号码%2已退订").arg(row.SysNo, row.CellNumber));
    // A failed write leaves the row pending; the next load screens it again.
    m_db.ExecSQLString(PolicyColumns::probe(m_db).refuse(
            row.SysNo, Statements::timeText(m_clock.now()), QStringLiteral("opted out")));
}
