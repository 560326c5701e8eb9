#include "dbhelper.h"

#include <QFileInfo>
#include <QLoggingCategory>
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

QString connectOptions(const ConnectionString &t)
{
    const QString timeout = QString::number(DBHelper::OpenTimeoutSeconds);
    switch (t.kind) {
    case ConnectionString::Kind::SQLite:
        // Applications write while the gateway runs; wait for their lock rather than fail.
        return QStringLiteral("QSQLITE_BUSY_TIMEOUT=") + timeout + QStringLiteral("000");
    case ConnectionString::Kind::PostgreSQL:
        return QStringLiteral("connect_timeout=") + timeout;
    case ConnectionString::Kind::MySQL:
        // Affected rows count the rows matched, as every other engine counts them.
        return QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=") + timeout
                + QStringLiteral(";CLIENT_FOUND_ROWS");
    case ConnectionString::Kind::Odbc:
        // Qt always connects with SQL_DRIVER_NOPROMPT, so no driver dialog ever shows.
        return QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=") + timeout
                + QStringLiteral(";SQL_ATTR_CONNECTION_TIMEOUT=") + timeout;
    }
    return {};
}

} // namespace

DBHelper::DBHelper() = default;

DBHelper::~DBHelper()
{
    m_db = QSqlDatabase();
    if (!m_name.isEmpty())
        QSqlDatabase::removeDatabase(m_name);
}

const QSqlDriver *DBHelper::driver() const
{
    return m_db.isValid() ? m_db.driver() : nullptr;
}

bool DBHelper::OpenConnection(const QString &connectionString, QString *error)
{
    m_open = false;
    m_inTransaction = false;
    m_connectionString.clear();
    m_db = QSqlDatabase();
    if (!m_name.isEmpty())
        QSqlDatabase::removeDatabase(m_name);
    m_name.clear();

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
    m_target = target;
    m_name = QStringLiteral("velmora-db-%1-%2").arg(quintptr(this), 0, 16).arg(++m_serial);
    m_db = QSqlDatabase::addDatabase(m_target.driver, m_name);
    m_db.setDatabaseName(m_target.databaseName);
    if (!m_target.host.isEmpty())
        m_db.setHostName(m_target.host);
    if (m_target.port > 0)
        m_db.setPort(m_target.port);
    m_db.setUserName(m_target.user);
    m_db.setPassword(m_target.password);
    m_db.setConnectOptions(connectOptions(m_target));
    if (!openTarget(error)) {
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        m_name.clear();
        return false;
    }
    m_connectionString = connectionString;
    m_open = true;
    return true;
}

bool DBHelper::openTarget(QString *error)
{
    if (!m_db.open()) {
        *error = describe(m_db.lastError());
        return false;
    }
    if (m_target.kind == ConnectionString::Kind::SQLite) {
        // SQLite opens any file; only the first read shows whether it is a database.
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("select count(*) from sqlite_master"))) {
            *error = describe(q.lastError());
            m_db.close();
            return false;
        }
    }
    return true;
}

bool DBHelper::reopen(QString *error)
{
    if (m_connectionString.isEmpty() || !m_db.isValid()) {
        *error = QStringLiteral("没有可重新打开的数据库连接");
        return false;
    }
    m_db.close();
    m_inTransaction = false;
    if (!openTarget(error))
        return false;
    m_open = true;
    return true;
}

void DBHelper::failed(const QString &error)
{
    m_lastError = error;
    // A failed statement spoils the open transaction on some servers (PostgreSQL answers
    // nothing else until it ends); end it before asking whether the link still holds.
    if (m_inTransaction) {
        m_inTransaction = false;
        m_db.rollback();
    }
    m_lastLost = !connectionAlive();
    if (m_lastLost) {
        m_open = false;
        m_db.close();
    }
}

// Whether the connection survived a failed statement. Drivers report a broken link as a
// statement error, so the link itself is asked.
bool DBHelper::connectionAlive()
{
    if (!m_db.isOpen())
        return false;
    if (m_target.kind == ConnectionString::Kind::Odbc) {
        // SQLSTATE class 08 is "connection exception" (ISO/IEC 9075); a probe statement would
        // not be portable across ODBC back ends.
        const QSqlError e = m_db.lastError();
        return !e.nativeErrorCode().startsWith(QLatin1String("08"));
    }
    QSqlQuery probe(m_db);
    return probe.exec(QStringLiteral("select 1"));
}

std::optional<int> DBHelper::ExecSQLString(const QString &sql)
{
    if (sql.trimmed().isEmpty())
        return 0;
    if (!m_open) {
        m_lastError = QStringLiteral("数据库未连接");
        m_lastLost = isLost();
        return std::nullopt;
    }
    qCDebug(lcSql) << sql;
    QSqlQuery q(m_db);
    if (!q.exec(sql)) {
        const QString error = describe(q.lastError());
        q = QSqlQuery();
        failed(error);
        return std::nullopt;
    }
    return q.numRowsAffected();
}

std::optional<QSqlQuery> DBHelper::select(const QString &sql)
{
    if (!m_open) {
        m_lastError = QStringLiteral("数据库未连接");
        m_lastLost = isLost();
        return std::nullopt;
    }
    qCDebug(lcSql) << sql;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(sql)) {
        const QString error = describe(q.lastError());
        q = QSqlQuery();
        failed(error);
        return std::nullopt;
    }
    return q;
}

std::optional<QList<QueuedMessage>> DBHelper::readQueuedMessages(const QString &sql)
{
    auto query = select(sql);
    if (!query)
        return std::nullopt;
    QSqlQuery &q = *query;
    const QSqlRecord rec = q.record();
    const int sysNo = rec.indexOf(QStringLiteral("SysNo"));
    const int cell = rec.indexOf(QStringLiteral("CellNumber"));
    const int content = rec.indexOf(QStringLiteral("SMSContent"));
    const int status = rec.indexOf(QStringLiteral("Status"));
    if (sysNo < 0 || cell < 0 || content < 0 || status < 0) {
        m_lastError = QStringLiteral("表SMS缺少SysNo、CellNumber、SMSContent或Status列");
        m_lastLost = false;
        return std::nullopt;
    }
    // Only blanks (spaces) are removed around values, as the rows were always read.
    const auto text = [&q](int column) {
        QString v = q.value(column).toString();
        qsizetype b = 0;
        qsizetype e = v.size();
        while (b < e && v.at(b) == QLatin1Char(' '))
            ++b;
        while (e > b && v.at(e - 1) == QLatin1Char(' '))
            --e;
        return (b == 0 && e == v.size()) ? v : v.mid(b, e - b);
    };
    QList<QueuedMessage> rows;
    if (q.size() > 0)
        rows.reserve(q.size());
    while (q.next())
        rows.append({text(sysNo), text(cell), text(content), RowStatus(q.value(status).toInt())});
    if (q.lastError().isValid()) {
        const QString error = describe(q.lastError());
        q = QSqlQuery();
        failed(error);
        return std::nullopt;
    }
    return rows;
}

std::optional<QList<QStringList>> DBHelper::readRows(const QString &sql)
{
    auto query = select(sql);
    if (!query)
        return std::nullopt;
    QSqlQuery &q = *query;
    QList<QStringList> rows;
    const int columns = q.record().count();
    while (q.next()) {
        QStringList row;
        for (int c = 0; c < columns; ++c)
            row << q.value(c).toString();
        rows.append(row);
    }
    return rows;
}

bool DBHelper::beginTransaction()
{
    if (!m_open || !m_db.driver()->hasFeature(QSqlDriver::Transactions))
        return false;
    if (m_db.transaction()) {
        m_inTransaction = true;
        return true;
    }
    failed(describe(m_db.lastError()));
    return false;
}

bool DBHelper::commitTransaction()
{
    if (!m_open || !m_inTransaction)
        return false;
    if (m_db.commit()) {
        m_inTransaction = false;
        return true;
    }
    failed(describe(m_db.lastError()));
    return false;
}

void DBHelper::rollbackTransaction()
{
    if (m_open && m_inTransaction)
        m_db.rollback();
    m_inTransaction = false;
}
