#include "sqlitechangewatch.h"

#include <QFileInfo>
#include <QSqlQuery>

SqliteChangeWatch::SqliteChangeWatch(const ConnectionString &target)
    : m_target(target), m_name(QStringLiteral("velmora-watch-%1").arg(quintptr(this), 0, 16))
{
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &SqliteChangeWatch::check);
    m_timer.start();
    // What is queued from now on is news; what was queued before is the poll's.
    check();
}

SqliteChangeWatch::~SqliteChangeWatch()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

bool SqliteChangeWatch::open()
{
    if (m_db.isOpen())
        return true;
    // Opening must never create the database where it went missing.
    if (!QFileInfo(m_target.databaseName).isFile())
        return false;
    if (!m_db.isValid()) {
        m_db = QSqlDatabase::addDatabase(m_target.driver, m_name);
        m_db.setDatabaseName(m_target.databaseName);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    }
    return m_db.open();
}

void SqliteChangeWatch::check()
{
    if (!open())
        return;
    qint64 version = 0;
    {
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("PRAGMA data_version")) || !q.next())
            return;
        version = q.value(0).toLongLong();
        // A statement left open would hold its read snapshot, and the counter would not move.
    }
    if (m_version && *m_version != version)
        Q_EMIT changed();
    m_version = version;
}
