#include "dbhelper.h"

#include "connectionstring.h"
#include "statements.h"

#include "queuedrowreader.h"

#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

Q_LOGGING_CATEGORY(lcSql, "velmora.sql", QtWarningMsg)

namespace {

QString describe(const QSqlError &e)
{
    QString text = e.databaseText().trimmed();
    const QString driverText = e.driverText().trimmed();
    if (text.isEmpty())
        text = driverText;
    else if (!driverText.isEmpty() && !text.contains(driverText))
        text = driverText + QStringLiteral(": ") + text;
    if (text.isEmpty())
        text = QStringLiteral("未知的数据库错误");
    // One log line per failure: servers break their messages over several lines.
    return text.simplified();
}

} // namespace

// What the link's thread reads and writes; the engine touches it only while the link is idle.
struct DBHelper::Connection
{
    QSqlDatabase db;
    // Statements with values, prepared once per connection: a status write or an insert then
    // costs one round trip, and no value is ever parsed as SQL.
    QHash<QString, QSqlQuery> prepared;
    QString name;
    ConnectionString target;
    bool inTransaction = false;
    int serial = 0;
};

// What one call brings back.
struct DBHelper::Result
{
    bool ok = false;
    int rows = 0;
    QString error;
    bool lost = false;
    QList<QueuedMessage> messages;
    QList<QStringList> table;
    // The key each insert generated, when the caller asked for them.
    std::optional<QList<QVariant>> keys;
    const QSqlDriver *driver = nullptr;
    bool hasTransactions = false;
};

namespace {

using Connection = DBHelper::Connection;
using Result = DBHelper::Result;
using Call = DatabaseLink::Call;

// Whether the connection survived a failed statement. Drivers report a broken link as a
// statement error, so the link itself is asked.
bool connectionAlive(Connection &c)
{
    if (!c.db.isOpen())
        return false;
    if (c.target.kind == ConnectionString::Kind::Odbc) {
        // SQLSTATE class 08 is "connection exception" (ISO/IEC 9075); a probe statement would
        // not be portable across ODBC back ends.
        const QSqlError e = c.db.lastError();
        return !e.nativeErrorCode().startsWith(QLatin1String("08"));
    }
    QSqlQuery probe(c.db);
    return probe.exec(QStringLiteral("select 1"));
}

void fail(Connection &c, Result &r, const QString &error)
{
    r.error = error;
    // A failed statement spoils the open transaction on some servers (PostgreSQL answers
    // nothing else until it ends); end it before asking whether the link still holds.
    if (c.inTransaction) {
        c.inTransaction = false;
        c.db.rollback();
    }
    r.lost = !connectionAlive(c);
    if (r.lost) {
        c.prepared.clear();
        c.db.close();
    }
}

// Nobody waits for this work any more: none of it may stay.
void giveUp(Connection &c)
{
    if (c.inTransaction) {
        c.inTransaction = false;
        c.db.rollback();
    }
}

bool begin(Connection &c, Result &r)
{
    if (c.db.transaction()) {
        c.inTransaction = true;
        return true;
    }
    fail(c, r, describe(c.db.lastError()));
    return false;
}

bool commit(Connection &c, Result &r, const Call &call)
{
    if (!call.enterCommit()) {
        giveUp(c);
        return false;
    }
    if (c.db.commit()) {
        c.inTransaction = false;
        return true;
    }
    fail(c, r, describe(c.db.lastError()));
    return false;
}

// The prepared query for a statement with values, made on first use; null when the driver
// refused to prepare it (the reason is then in r).
QSqlQuery *preparedFor(Connection &c, Result &r, const QString &sql)
{
    auto it = c.prepared.find(sql);
    if (it != c.prepared.end())
        return &it.value();
    QSqlQuery q(c.db);
    if (!q.prepare(sql)) {
        const QString error = describe(q.lastError());
        q = QSqlQuery();
        fail(c, r, error);
        return nullptr;
    }
    return &c.prepared.insert(sql, std::move(q)).value();
}

bool execOne(Connection &c, Result &r, const SqlStatement &statement)
{
    qCDebug(lcSql) << statement.sql << statement.values;
    if (statement.values.isEmpty()) {
        QSqlQuery q(c.db);
        if (!q.exec(statement.sql)) {
            const QString error = describe(q.lastError());
            q = QSqlQuery();
            fail(c, r, error);
            return false;
        }
        r.rows = q.numRowsAffected();
        return true;
    }
    QSqlQuery *q = preparedFor(c, r, statement.sql);
    if (!q)
        return false;
    for (qsizetype i = 0; i < statement.values.size(); ++i)
        q->bindValue(int(i), statement.values.at(i));
    if (!q->exec()) {
        const QString error = describe(q->lastError());
        fail(c, r, error);
        // A query that failed may be left in a state the driver cannot reuse; it goes once
        // the failed transaction has ended, so that the server takes its release.
        c.prepared.remove(statement.sql);
        return false;
    }
    r.rows = q->numRowsAffected();
    if (r.keys) // "returning" makes the insert a query; other engines tell the key aside
        r.keys->append(q->isSelect() && q->next() ? q->value(0) : q->lastInsertId());
    return true;
}

// Statements outside a transaction of the caller's get one of their own where the driver has
// them, so that work given up on is rolled back instead of committing unseen.
void execInTransaction(Connection &c, Result &r, const Call &call,
                       const QList<SqlStatement> &statements)
{
    const bool own = !c.inTransaction && c.db.driver()->hasFeature(QSqlDriver::Transactions);
    if (own && !begin(c, r))
        return;
    for (const SqlStatement &statement : statements) {
        if (!execOne(c, r, statement))
            return;
        if (call.abandoned()) {
            giveUp(c);
            return;
        }
    }
    if (own && !commit(c, r, call))
        return;
    r.ok = true;
}

std::optional<QSqlQuery> select(Connection &c, Result &r, const SqlStatement &statement)
{
    qCDebug(lcSql) << statement.sql << statement.values;
    QSqlQuery q(c.db);
    q.setForwardOnly(true);
    bool ok = false;
    if (statement.values.isEmpty()) {
        ok = q.exec(statement.sql);
    } else if (q.prepare(statement.sql)) {
        for (qsizetype i = 0; i < statement.values.size(); ++i)
            q.bindValue(int(i), statement.values.at(i));
        ok = q.exec();
    }
    if (!ok) {
        const QString error = describe(q.lastError());
        q = QSqlQuery();
        fail(c, r, error);
        return std::nullopt;
    }
    return q;
}

// A long queue takes a while to read; rows coming in show the server is alive.
constexpr int RowsPerProgress = 1000;

void readQueued(Connection &c, Result &r, const Call &call, const SqlStatement &sql)
{
    auto query = select(c, r, sql);
    if (!query)
        return;
    QSqlQuery &q = *query;
    const QueuedRowReader reader(q.record());
    if (!reader.complete()) {
        r.error = QStringLiteral("表SMS缺少SysNo、CellNumber、SMSContent或Status列");
        return;
    }
    if (q.size() > 0)
        r.messages.reserve(q.size());
    while (q.next()) {
        r.messages.append(reader.read(q));
        if (r.messages.size() % RowsPerProgress == 0)
            call.progress();
    }
    if (q.lastError().isValid()) {
        const QString error = describe(q.lastError());
        q = QSqlQuery();
        fail(c, r, error);
        return;
    }
    r.ok = true;
}

void readTable(Connection &c, Result &r, const Call &call, const SqlStatement &statement)
{
    auto query = select(c, r, statement);
    if (!query)
        return;
    QSqlQuery &q = *query;
    const int columns = q.record().count();
    while (q.next()) {
        QStringList row;
        for (int col = 0; col < columns; ++col)
            row << q.value(col).toString();
        r.table.append(row);
        if (r.table.size() % RowsPerProgress == 0)
            call.progress();
    }
    r.ok = true;
}

bool openTarget(Connection &c, QString *error)
{
    if (!c.db.open()) {
        *error = describe(c.db.lastError());
        return false;
    }
    if (c.target.kind == ConnectionString::Kind::SQLite) {
        // SQLite opens any file; only the first read shows whether it is a database.
        QSqlQuery q(c.db);
        if (!q.exec(QStringLiteral("select count(*) from sqlite_master"))) {
            *error = describe(q.lastError());
            c.db.close();
            return false;
        }
    }
    return true;
}

void forget(Connection &c)
{
    c.prepared.clear();
    c.db = QSqlDatabase();
    if (!c.name.isEmpty())
        QSqlDatabase::removeDatabase(c.name);
    c.name.clear();
}

QString noAnswer(int ms)
{
    return QStringLiteral("数据库%1秒内没有应答").arg((ms + 999) / 1000);
}

// A call given up on earlier still waits for the server.
QString stillWaiting()
{
    return QStringLiteral("数据库仍没有应答");
}

constexpr int OpenWaitMs = (DBHelper::OpenTimeoutSeconds + 5) * 1000;
constexpr int StatementWaitMs = DBHelper::StatementTimeoutSeconds * 1000;

} // namespace

DBHelper::DBHelper(DatabaseLink::Priority priority)
    : m_link(priority), m_connection(std::make_shared<Connection>())
{
}

DBHelper::~DBHelper()
{
    if (!m_link.busy())
        m_link.run([c = m_connection](const Call &) { forget(*c); }, OpenWaitMs);
}

void DBHelper::notOpen()
{
    m_open = false;
    m_inTransaction = false;
    m_driver = nullptr;
}

bool DBHelper::requireOpen()
{
    if (m_open)
        return true;
    m_lastError = QStringLiteral("数据库未连接");
    m_lastLost = isLost();
    m_lastTimedOut = m_lastInDoubt = false;
    return false;
}

DatabaseLink::Outcome DBHelper::start(const Work &work, const std::shared_ptr<Result> &result,
                                      int timeoutMs)
{
    return m_link.run(
            [c = m_connection, result, work](const Call &call) { work(*c, *result, call); },
            timeoutMs);
}

bool DBHelper::run(const Work &work, const std::shared_ptr<Result> &result, int timeoutMs)
{
    const auto outcome = start(work, result, timeoutMs);
    m_lastTimedOut = outcome != DatabaseLink::Outcome::Done;
    m_lastInDoubt = outcome == DatabaseLink::Outcome::InDoubt;
    if (m_lastTimedOut) {
        m_lastError = noAnswer(timeoutMs);
        m_lastLost = true;
        notOpen();
        return false;
    }
    if (result->ok)
        return true;
    m_lastError = result->error;
    m_lastLost = result->lost;
    if (m_lastLost)
        notOpen();
    return false;
}

bool DBHelper::prepareOpen(const QString &connectionString, QString *error)
{
    ConnectionString target;
    if (!ConnectionString::parse(connectionString, &target, error))
        return false;
    if (target.kind == ConnectionString::Kind::SQLite) {
        // Opening must never create the database: a missing file is a failed open.
        const QFileInfo file(target.databaseName);
        if (!file.exists() || !file.isFile()) {
            *error = QStringLiteral("找不到数据库文件 %1").arg(target.databaseName);
            return false;
        }
    }
    if (!QSqlDatabase::isDriverAvailable(target.driver)) {
        *error = QStringLiteral("数据库驱动 %1 未安装").arg(target.driver);
        return false;
    }
    m_connection->target = target;
    return true;
}

DBHelper::Work DBHelper::openWork(bool fresh) const
{
    return [fresh](Connection &c, Result &r, const Call &) {
        if (fresh) {
            forget(c);
            const ConnectionString &t = c.target;
            c.name = QStringLiteral("velmora-db-%1-%2").arg(quintptr(&c), 0, 16).arg(++c.serial);
            c.db = QSqlDatabase::addDatabase(t.driver, c.name);
            c.db.setDatabaseName(t.databaseName);
            if (!t.host.isEmpty())
                c.db.setHostName(t.host);
            if (t.port > 0)
                c.db.setPort(t.port);
            c.db.setUserName(t.user);
            c.db.setPassword(t.password);
            c.db.setConnectOptions(t.connectOptions(OpenTimeoutSeconds));
        } else {
            c.prepared.clear();
            c.db.close();
        }
        c.inTransaction = false;
        if (!openTarget(c, &r.error)) {
            if (fresh)
                forget(c);
            return;
        }
        r.ok = true;
        r.driver = c.db.driver();
        r.hasTransactions = r.driver->hasFeature(QSqlDriver::Transactions);
    };
}

void DBHelper::opened(const std::shared_ptr<Result> &result, const QString &connectionString)
{
    m_open = true;
    m_inTransaction = false;
    m_driver = result->driver;
    m_hasTransactions = result->hasTransactions;
    m_connectionString = connectionString;
}

bool DBHelper::OpenConnection(const QString &connectionString, QString *error)
{
    notOpen();
    m_connectionString.clear();
    m_pendingReconnect.reset();
    return reconnect(connectionString, error, OpenWaitMs) == Reconnect::Done;
}

bool DBHelper::reopen(QString *error)
{
    if (m_connectionString.isEmpty()) {
        *error = QStringLiteral("没有可重新打开的数据库连接");
        return false;
    }
    return reconnect(m_connectionString, error, OpenWaitMs) == Reconnect::Done;
}

DBHelper::Reconnect DBHelper::reconnect(const QString &connectionString, QString *error, int waitMs)
{
    if (m_open)
        return Reconnect::Done;
    if (m_link.busy()) {
        *error = stillWaiting();
        return Reconnect::Waiting;
    }
    std::shared_ptr<Result> result = std::move(m_pendingReconnect);
    QString target = m_pendingString;
    if (!result) {
        const bool fresh = !isLost();
        target = fresh ? connectionString : m_connectionString;
        if (fresh && !prepareOpen(target, error))
            return Reconnect::Failed;
        result = std::make_shared<Result>();
        if (start(openWork(fresh), result, waitMs) != DatabaseLink::Outcome::Done) {
            m_pendingReconnect = result;
            m_pendingString = target;
            *error = noAnswer(waitMs);
            return Reconnect::Waiting;
        }
    }
    if (!result->ok) {
        *error = result->error;
        return Reconnect::Failed;
    }
    opened(result, target);
    return Reconnect::Done;
}

std::optional<int> DBHelper::ExecSQLString(const SqlStatement &statement)
{
    if (statement.sql.trimmed().isEmpty())
        return 0;
    if (!requireOpen())
        return std::nullopt;
    auto result = std::make_shared<Result>();
    const QList<SqlStatement> statements{statement};
    if (!run([statements](Connection &c, Result &r,
                          const Call &call) { execInTransaction(c, r, call, statements); },
             result, StatementWaitMs))
        return std::nullopt;
    return result->rows;
}

bool DBHelper::execAll(const QList<SqlStatement> &statements)
{
    return runAll(statements, std::make_shared<Result>());
}

std::optional<QList<QVariant>> DBHelper::insertAll(const QList<SqlStatement> &statements)
{
    auto result = std::make_shared<Result>();
    result->keys.emplace();
    if (!runAll(statements, result))
        return std::nullopt;
    return std::move(*result->keys);
}

bool DBHelper::runAll(const QList<SqlStatement> &statements, const std::shared_ptr<Result> &result)
{
    if (m_open && !m_hasTransactions) {
        m_lastLost = m_lastTimedOut = m_lastInDoubt = false;
        return false;
    }
    if (!requireOpen())
        return false;
    return run([statements](Connection &c, Result &r,
                            const Call &call) { execInTransaction(c, r, call, statements); },
               result, StatementWaitMs);
}

std::optional<QList<QueuedMessage>> DBHelper::readQueuedMessages(const SqlStatement &sql)
{
    if (!requireOpen())
        return std::nullopt;
    auto result = std::make_shared<Result>();
    if (!run([sql](Connection &c, Result &r, const Call &call) { readQueued(c, r, call, sql); },
             result, StatementWaitMs))
        return std::nullopt;
    return std::move(result->messages);
}

std::optional<QList<QStringList>> DBHelper::readRows(const SqlStatement &statement)
{
    if (!requireOpen())
        return std::nullopt;
    auto result = std::make_shared<Result>();
    if (!run([statement](Connection &c, Result &r,
                         const Call &call) { readTable(c, r, call, statement); },
             result, StatementWaitMs))
        return std::nullopt;
    return std::move(result->table);
}

bool DBHelper::beginTransaction()
{
    if (!m_open || !m_hasTransactions)
        return false;
    if (!run([](Connection &c, Result &r, const Call &) { r.ok = begin(c, r); },
             std::make_shared<Result>(), StatementWaitMs))
        return false;
    m_inTransaction = true;
    return true;
}

bool DBHelper::commitTransaction()
{
    if (!m_open || !m_inTransaction)
        return false;
    m_inTransaction = false;
    return run([](Connection &c, Result &r, const Call &call) { r.ok = commit(c, r, call); },
               std::make_shared<Result>(), StatementWaitMs);
}

void DBHelper::rollbackTransaction()
{
    if (m_open && m_inTransaction)
        run(
                [](Connection &c, Result &r, const Call &) {
                    giveUp(c);
                    r.ok = true;
                },
                std::make_shared<Result>(), StatementWaitMs);
    m_inTransaction = false;
}
