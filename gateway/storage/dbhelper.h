#pragma once

#include "databaselink.h"
#include "queuedmessage.h"
#include "sqlstatement.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QSqlDriver;

// The gateway's one path to its database: one connection, opened from an ADO-form connection
// string with a 10 s time-out and never a credential prompt, and the statements run on it.
// Errors come back as results (with the database's own text), never as exceptions. A failure
// that took the connection with it marks the connection lost; reconnect() then tries the same
// string again without anyone being asked.
//
// The connection lives on a DatabaseLink, and every call waits for its statement at most
// StatementTimeoutSeconds. A statement that does not end in time leaves the connection lost
// (lastFailureTimedOut()); it is rolled back when the server answers at last, unless it was
// already committing (lastFailureInDoubt()).
class DBHelper
{
public:
    explicit DBHelper(DatabaseLink::Priority priority = DatabaseLink::Priority::Normal);
    ~DBHelper();
    DBHelper(const DBHelper &) = delete;
    DBHelper &operator=(const DBHelper &) = delete;

    static constexpr int OpenTimeoutSeconds = 10;
    // Long enough for a busy server's slowest answer, short enough that the modems are held
    // up once and briefly when a server freezes.
    static constexpr int StatementTimeoutSeconds = 5;

    // Drops the connection held (without closing it first) and opens a new one. On failure no
    // connection is held and *error says why, in the words of the provider where it has some.
    bool OpenConnection(const QString &connectionString, QString *error);
    // Opens again with the last string that opened; for a connection that was lost.
    bool reopen(QString *error);

    enum class Reconnect { Done, Failed, Waiting };
    // Opens again a connection that was lost, or makes one with connectionString that was
    // never made, waiting for it only waitMs. A server that does not answer in that time
    // leaves it Waiting; a later call tells what came of it.
    Reconnect reconnect(const QString &connectionString, QString *error, int waitMs);

    // A connection is held and was not lost.
    bool isOpen() const { return m_open; }
    // A connection was opened and then lost, so reopen() may bring it back.
    bool isLost() const { return !m_open && !m_connectionString.isEmpty(); }
    const QString &connectionString() const { return m_connectionString; }

    // Runs one statement; a result set it yields is dropped unread. A text of blanks only
    // gives 0 without touching the database. nullopt when it failed: see lastError().
    std::optional<int> ExecSQLString(const SqlStatement &statement);
    // Runs the statements in one transaction: all of them or none. Fewer waits than a
    // transaction made statement by statement. False, running none, where the driver has no
    // transactions.
    bool execAll(const QList<SqlStatement> &statements);
    // As execAll, for inserts: the key each one generated, in order (an insert ending in
    // "returning" gives the column it names). nullopt, inserting none, when one failed.
    std::optional<QList<QVariant>> insertAll(const QList<SqlStatement> &statements);
    // Groups the statements that follow into one transaction, so that a burst of them costs one
    // commit (one flush to disk) instead of one each. False when the driver or the connection
    // cannot; the statements then run on their own.
    bool beginTransaction();
    bool commitTransaction();
    void rollbackTransaction();

    // Reads every row of the query before any is used, so the count is exact. Columns SysNo,
    // CellNumber, SMSContent and Status are taken by name, as trimmed texts (null as empty).
    std::optional<QList<QueuedMessage>> readQueuedMessages(const SqlStatement &sql);
    // Every row of a query as texts, column by column; nullopt when it failed.
    std::optional<QList<QStringList>> readRows(const SqlStatement &statement);

    // The database's description of the last failure.
    const QString &lastError() const { return m_lastError; }
    // The last failure took the connection with it.
    bool lastFailureLostConnection() const { return m_lastLost; }
    // The last failure was a statement the server did not answer in time.
    bool lastFailureTimedOut() const { return m_lastTimedOut; }
    // ... and it was committing then: what it wrote may be in the database or not.
    bool lastFailureInDoubt() const { return m_lastInDoubt; }

    // The driver that formats values as literals; null while no connection is held.
    const QSqlDriver *driver() const { return m_driver; }

    struct Connection;
    struct Result;

private:
    using Work = std::function<void(Connection &, Result &, const DatabaseLink::Call &)>;
    // Runs work on the link and takes in its result; false when it failed or did not end in
    // time (the connection is then lost).
    bool run(const Work &work, const std::shared_ptr<Result> &result, int timeoutMs);
    DatabaseLink::Outcome start(const Work &work, const std::shared_ptr<Result> &result,
                                int timeoutMs);
    // False, with the failure noted as a statement's would be, when no connection is held.
    bool requireOpen();
    bool runAll(const QList<SqlStatement> &statements, const std::shared_ptr<Result> &result);
    bool prepareOpen(const QString &connectionString, QString *error);
    Work openWork(bool fresh) const;
    void opened(const std::shared_ptr<Result> &result, const QString &connectionString);
    void notOpen();

    DatabaseLink m_link;
    std::shared_ptr<Connection> m_connection;
    const QSqlDriver *m_driver = nullptr;
    QString m_connectionString;
    QString m_pendingString;
    std::shared_ptr<Result> m_pendingReconnect;
    bool m_open = false;
    bool m_inTransaction = false;
    bool m_hasTransactions = false;
    QString m_lastError;
    bool m_lastLost = false;
    bool m_lastTimedOut = false;
    bool m_lastInDoubt = false;
};
