#pragma once

#include "storage/connectionstring.h"

#include <QObject>
#include <QSqlDatabase>
#include <QTimer>
#include <optional>

// Asks a SQLite database many times a second whether another connection committed to it.
// PRAGMA data_version reads a counter in the file's shared memory, not the tables, so each
// question costs microseconds; the queue itself is read only when the answer changes. The
// watch has a connection of its own that never waits for a lock: a busy file is asked again at
// the next tick.
class SqliteChangeWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int IntervalMs = 20;

    explicit SqliteChangeWatch(const ConnectionString &target);
    ~SqliteChangeWatch() override;

Q_SIGNALS:
    void changed();

private:
    void check();
    bool open();

    ConnectionString m_target;
    QString m_name;
    QSqlDatabase m_db;
    std::optional<qint64> m_version;
    QTimer m_timer;
};
