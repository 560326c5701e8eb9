#include "queuewatcher.h"

#include "postgreslistener.h"
#include "sqlitechangewatch.h"
#include "storage/connectionstring.h"

QueueWatcher::QueueWatcher(QObject *parent) : QObject(parent)
{
    m_coalesce.setSingleShot(true);
    m_coalesce.setInterval(0);
    connect(&m_coalesce, &QTimer::timeout, this, &QueueWatcher::queueChanged);
}

QueueWatcher::~QueueWatcher()
{
    stop();
}

void QueueWatcher::watch(const QString &connectionString)
{
    if (connectionString == m_connectionString && (m_sqlite || m_postgres))
        return;
    stop();
    ConnectionString target;
    QString error;
    if (!ConnectionString::parse(connectionString, &target, &error))
        return;
    m_connectionString = connectionString;
    if (target.kind == ConnectionString::Kind::SQLite) {
        m_sqlite = std::make_unique<SqliteChangeWatch>(target);
        connect(m_sqlite.get(), &SqliteChangeWatch::changed, this, &QueueWatcher::noticed);
    } else if (target.kind == ConnectionString::Kind::PostgreSQL) {
        m_postgres = PostgresListener::start(target);
        // Queued: the listener's thread only hands the news over.
        connect(m_postgres, &PostgresListener::notified, this, &QueueWatcher::noticed,
                Qt::QueuedConnection);
    }
}

void QueueWatcher::stop()
{
    m_sqlite.reset();
    if (m_postgres) {
        disconnect(m_postgres, nullptr, this, nullptr);
        PostgresListener::finish(m_postgres);
        m_postgres = nullptr;
    }
    m_connectionString.clear();
    m_coalesce.stop();
}

void QueueWatcher::noticed()
{
    if (!m_coalesce.isActive())
        m_coalesce.start();
}
