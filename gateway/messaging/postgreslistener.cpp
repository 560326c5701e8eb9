#include "postgreslistener.h"

#include "schemaupgrade.h"
#include "storage/dbhelper.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QThread>

PostgresListener::PostgresListener(const ConnectionString &target)
    : m_target(target), m_name(QStringLiteral("velmora-listen-%1").arg(quintptr(this), 0, 16))
{ }

PostgresListener::~PostgresListener()
{
    close();
}

PostgresListener *PostgresListener::start(const ConnectionString &target)
{
    auto *thread = new QThread;
    thread->setObjectName(QStringLiteral("velmora-listen"));
    auto *listener = new PostgresListener(target);
    listener->moveToThread(thread);
    connect(thread, &QThread::started, listener, &PostgresListener::begin);
    // Deleted on its own thread as that thread ends, so its connection closes where it lives.
    connect(thread, &QThread::finished, listener, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return listener;
}

void PostgresListener::finish(PostgresListener *listener)
{
    listener->thread()->quit();
}

void PostgresListener::begin()
{
    m_timer = new QTimer(this);
    m_timer->setInterval(CheckIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &PostgresListener::check);
    m_timer->start();
    // Rows queued while the listener was starting were announced to nobody.
    if (listen())
        Q_EMIT notified();
}

bool PostgresListener::listen()
{
    if (!m_db.isValid()) {
        m_db = QSqlDatabase::addDatabase(m_target.driver, m_name);
        m_db.setDatabaseName(m_target.databaseName);
        if (!m_target.host.isEmpty())
            m_db.setHostName(m_target.host);
        if (m_target.port > 0)
            m_db.setPort(m_target.port);
        m_db.setUserName(m_target.user);
        m_db.setPassword(m_target.password);
        m_db.setConnectOptions(
                QStringLiteral("connect_timeout=%1").arg(DBHelper::OpenTimeoutSeconds));
    }
    if (!m_db.open())
        return false;
    if (!m_db.driver()->subscribeToNotification(SchemaUpgrade::channel())) {
        m_db.close();
        return false;
    }
    connect(m_db.driver(), &QSqlDriver::notification, this, &PostgresListener::notified,
            Qt::UniqueConnection);
    return true;
}

void PostgresListener::check()
{
    if (m_db.isOpen()) {
        QSqlQuery probe(m_db);
        if (probe.exec(QStringLiteral("select 1")))
            return;
        m_db.close();
    }
    if (listen())
        Q_EMIT notified();
}

void PostgresListener::close()
{
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}
