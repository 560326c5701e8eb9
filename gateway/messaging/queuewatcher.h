#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class PostgresListener;
class SqliteChangeWatch;

// Notices rows queued in the database between two polls, so that a message leaves the moment
// it is queued rather than at the next ScanDT. PostgreSQL tells its listeners (the trigger
// sms_queued); a SQLite file is asked cheaply whether anyone wrote to it. Other engines have
// nothing of the kind and keep the poll alone. What it notices is only a reason to poll early:
// the poll and the claim decide what is sent, and the poll stays as the safety net.
class QueueWatcher : public QObject
{
    Q_OBJECT

public:
    explicit QueueWatcher(QObject *parent = nullptr);
    ~QueueWatcher() override;

    // Watches the database the connection string names; the one already watched is kept.
    void watch(const QString &connectionString);
    void stop();
    const QString &watched() const { return m_connectionString; }

Q_SIGNALS:
    // Something may have been queued. A burst of changes gives one signal.
    void queueChanged();

private:
    void noticed();

    QString m_connectionString;
    std::unique_ptr<SqliteChangeWatch> m_sqlite;
    PostgresListener *m_postgres = nullptr;
    QTimer m_coalesce;
};
