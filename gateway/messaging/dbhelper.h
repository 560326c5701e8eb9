#pragma once

#include "connectionstring.h"
#include "queuedmessage.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>

class QSqlDriver;

// The gateway's one path to its database: one connection, opened from an ADO-form connection
// string with a 10 s time-out and never a credential prompt, and the statements run on it.
// Errors come back as results (with the database's own text), never as exceptions. A failure
// that took the connection with it marks the connection lost; reopen() then tries the same
// string again without anyone being asked.
class DBHelper
{
public:
    DBHelper();
    ~DBHelper();
    DBHelper(const DBHelper &) = delete;
    DBHelper &operator=(const DBHelper &) = delete;

    static constexpr int OpenTimeoutSeconds = 10;

    // Drops the connection held (without closing it first) and opens a new one. On failure no
    // connection is held and *error says why, in the words of the provider where it has some.
    bool OpenConnection(const QString &connectionString, QString *error);
    // Opens again with the last string that opened; for a connection that was lost.
    bool reopen(QString *error);

    // A connection is held and was not lost.
    bool isOpen() const { return m_open; }
    // A connection was opened and then lost, so reopen() may bring it back.
    bool isLost() const { return !m_open && !m_connectionString.isEmpty(); }
    const QString &connectionString() const { return m_connectionString; }

    // Runs one statement; a result set it yields is dropped unread. A text of blanks only
    // gives 0 without touching the database. nullopt when it failed: see lastError().
    std::optional<int> ExecSQLString(const QString &sql);
    // Groups the statements that follow into one transaction, so that a burst of them costs one
    // commit (one flush to disk) instead of one each. False when the driver or the connection
    // cannot; the statements then run on their own.
    bool beginTransaction();
    bool commitTransaction();
    void rollbackTransaction();

    // Reads every row of the query before any is used, so the count is exact. Columns SysNo,
    // CellNumber, SMSContent and Status are taken by name, as trimmed texts (null as empty).
    std::optional<QList<QueuedMessage>> readQueuedMessages(const QString &sql);
    // Every row of a query as texts, column by column; nullopt when it failed.
    std::optional<QList<QStringList>> readRows(const QString &sql);

    // The database's description of the last failure.
    const QString &lastError() const { return m_lastError; }
    // The last failure took the connection with it.
    bool lastFailureLostConnection() const { return m_lastLost; }

    // The driver that formats values as literals; null before the first successful open.
    const QSqlDriver *driver() const;

private:
    // Runs a query whose rows are read forward only; nullopt (and the failure handled) when it
    // failed.
    std::optional<QSqlQuery> select(const QString &sql);
    bool openTarget(QString *error);
    void failed(const QString &error);
    bool connectionAlive();

    QSqlDatabase m_db;
    QString m_name;
    ConnectionString m_target;
    QString m_connectionString;
    bool m_open = false;
    bool m_inTransaction = false;
    QString m_lastError;
    bool m_lastLost = false;
    int m_serial = 0;
};
