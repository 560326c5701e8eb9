#include "queuefigurereader.h"

#include "messagelookup.h"
#include "storage/dbhelper.h"
#include "storage/statements.h"

#include <QSqlDriver>

QueueFigures QueueFigureReader::read(const QDateTime &now, int stuckAfterMinutes, bool sharing,
                                     const Holder &holder)
{
    QueueFigures figures;
    if (!m_db.isOpen())
        return figures;
    figures.readAt = now;
    readCounts(figures, now);
    readFailed(figures, now);
    readStuck(figures, now.addSecs(-60LL * stuckAfterMinutes), sharing, holder);
    return figures;
}

void QueueFigureReader::readCounts(QueueFigures &figures, const QDateTime &now)
{
    const auto rows = m_db.readRows(Statements::queueCounts());
    if (!rows)
        return;
    figures.waiting = 0;
    figures.handed = 0;
    qint64 oldest = -1;
    for (const QStringList &row : *rows) {
        if (row.value(0).toInt() == 0) {
            figures.waiting = row.value(1).toLongLong();
            oldest = row.value(2).toLongLong();
        } else {
            figures.handed = row.value(1).toLongLong();
        }
    }
    if (const auto newest = m_db.readRows(Statements::newestRow());
        newest && !newest->isEmpty() && !newest->first().value(0).isEmpty()) {
        while (!m_newest.isEmpty() && m_newest.first().first.secsTo(now) > 86400)
            m_newest.removeFirst();
        m_newest.append({now, newest->first().value(0).toLongLong()});
    }
    if (figures.waiting > 0)
        figures.oldestWaitingSeconds = ageOf(oldest, now);
}

qint64 QueueFigureReader::ageOf(qint64 id, const QDateTime &now) const
{
    for (const auto &[at, newest] : m_newest) {
        if (newest >= id)
            return at.secsTo(now);
    }
    return 0;
}

void QueueFigureReader::readFailed(QueueFigures &figures, const QDateTime &now)
{
    const auto rows = m_db.readRows(Statements::failedSince(
            Statements::timeText(now.addDays(-1)), Statements::timeText(now.addSecs(-3600))));
    if (!rows || rows->isEmpty())
        return;
    // A sum over no rows is NULL, read as an empty text.
    figures.failedLastDay = rows->first().value(0).toLongLong();
    figures.failedLastHour = rows->first().value(1).toLongLong();
}

void QueueFigureReader::readStuck(QueueFigures &figures, const QDateTime &before, bool sharing,
                                  const Holder &holder)
{
    const auto rows = m_db.readRows(Statements::handedBefore(Statements::timeText(before),
                                                             QueueFigures::MaxStuckRows, sharing));
    if (!rows)
        return;
    for (const QStringList &row : *rows) {
        StuckRow stuck{row.value(0).toLongLong(),
                       row.value(1),
                       {},
                       MessageLookup::timeValue(row.value(2))};
        if (holder)
            stuck.device = holder(stuck.id, row.value(3));
        figures.stuck.append(stuck);
    }
}

const QString &QueueFigureReader::serverVersion()
{
    if (!m_version.isEmpty() || !m_db.isOpen() || !m_db.driver())
        return m_version;
    if (const auto rows = m_db.readRows(Statements::serverVersion(m_db.driver()->dbmsType()));
        rows && !rows->isEmpty())
        m_version = rows->first().value(0);
    return m_version;
}

void QueueFigureReader::forget()
{
    m_newest.clear();
    m_version.clear();
}
