#include "testdatabase.h"

#include "storage/connectionstring.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("VELMORA_SOURCE_DIR");
}

QSqlDatabase connect(const QString &connectionString, const QString &name, QString *error)
{
    ConnectionString cs;
    if (!ConnectionString::parse(connectionString, &cs, error))
        return {};
    QSqlDatabase db = QSqlDatabase::addDatabase(cs.driver, name);
    db.setDatabaseName(cs.databaseName);
    if (!cs.host.isEmpty())
        db.setHostName(cs.host);
    if (cs.port > 0)
        db.setPort(cs.port);
    db.setUserName(cs.user);
    db.setPassword(cs.password);
    if (cs.kind == ConnectionString::Kind::PostgreSQL)
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    if (cs.kind == ConnectionString::Kind::MySQL)
        db.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=10"));
    if (cs.kind == ConnectionString::Kind::SQLite)
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        *error = db.lastError().text();
        return {};
    }
    return db;
}

QString withCatalog(const QString &connectionString, const QString &catalog)
{
    QString s = connectionString;
    s.remove(QRegularExpression(QStringLiteral("(^|;)\\s*(Initial Catalog|Database)\\s*=[^;]*"),
                                QRegularExpression::CaseInsensitiveOption));
    return s + QStringLiteral("; Initial Catalog=") + catalog;
}

// Statements end at ";", except inside a function body between $$ marks.
QStringList splitScript(const QString &script)
{
    QStringList statements;
    QString current;
    bool inBody = false;
    for (qsizetype i = 0; i < script.size(); ++i) {
        if (script.mid(i, 2) == QLatin1String("$$")) {
            inBody = !inBody;
            current += QLatin1String("$$");
            ++i;
        } else if (script.at(i) == QLatin1Char(';') && !inBody) {
            statements << current;
            current.clear();
        } else {
            current += script.at(i);
        }
    }
    statements << current;
    return statements;
}

} // namespace

TestDatabase::TestDatabase(QString engine) : m_engine(std::move(engine)) { }

TestDatabase::~TestDatabase()
{
    m_app = QSqlDatabase();
    if (!m_appName.isEmpty())
        QSqlDatabase::removeDatabase(m_appName);
}

QString TestDatabase::serverVariable(const QString &engine)
{
    if (engine == QLatin1String("postgresql"))
        return QStringLiteral("VELMORA_TEST_PGSQL");
    if (engine == QLatin1String("mysql"))
        return QStringLiteral("VELMORA_TEST_MYSQL");
    return {};
}

bool TestDatabase::available(const QString &engine)
{
    const QString var = serverVariable(engine);
    return var.isEmpty() || !qEnvironmentVariableIsEmpty(var.toLatin1().constData());
}

QString TestDatabase::file() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("SMS.db")) : QString();
}

bool TestDatabase::applySchema(QSqlDatabase &db, QString *error)
{
    const QString name = m_engine == QLatin1String("sqlite") ? QStringLiteral("sqlite.sql")
            : m_engine == QLatin1String("postgresql")        ? QStringLiteral("postgresql.sql")
                                                             : QStringLiteral("mariadb.sql");
    QFile file(sourceDir() + QStringLiteral("/DataBase/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.fileName() + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QStringList lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (!line.trimmed().startsWith(QLatin1String("--")))
            lines << line;
    }
    for (const QString &statement : splitScript(lines.join(QLatin1Char('\n')))) {
        if (statement.trimmed().isEmpty())
            continue;
        QSqlQuery q(db);
        if (!q.exec(statement)) {
            *error = statement + QStringLiteral(": ") + q.lastError().text();
            return false;
        }
    }
    return true;
}

bool TestDatabase::create(const QString &name, QString *error)
{
    m_name = name.toLower();
    m_appName = QStringLiteral("test-app-") + m_name;
    if (m_engine == QLatin1String("sqlite")) {
        m_dir = std::make_unique<QTemporaryDir>();
        QFile f(file());
        if (!f.open(QIODevice::WriteOnly)) {
            *error = f.errorString();
            return false;
        }
        f.close();
        m_connectionString = QStringLiteral("Provider=SQLite; Data Source=") + file()
                + QStringLiteral("; User Id=admin; Password=");
        m_app = connect(m_connectionString, m_appName, error);
        return m_app.isValid() && applySchema(m_app, error);
    }
    const QString var = serverVariable(m_engine);
    const QString base = qEnvironmentVariable(var.toLatin1().constData());
    if (base.isEmpty()) {
        *error = var + QStringLiteral(" is not set");
        return false;
    }
    const QString catalog = QStringLiteral("velmora_t_") + m_name;
    {
        QSqlDatabase admin = connect(base, m_appName + QStringLiteral("-admin"), error);
        if (!admin.isValid()) {
            *error = var + QStringLiteral(" does not answer: ") + *error;
            QSqlDatabase::removeDatabase(m_appName + QStringLiteral("-admin"));
            return false;
        }
        QSqlQuery q(admin);
        const bool pg = m_engine == QLatin1String("postgresql");
        const QString drop = pg ? QStringLiteral("drop database if exists %1 with (force)")
                                : QStringLiteral("drop database if exists %1");
        const QString make = pg ? QStringLiteral("create database %1 encoding 'UTF8'")
                                : QStringLiteral("create database %1 character set utf8mb4");
        if (pg)
            q.exec(QStringLiteral("set client_min_messages to warning"));
        const bool ok = q.exec(drop.arg(catalog)) && q.exec(make.arg(catalog));
        if (!ok)
            *error = q.lastError().text();
        q = QSqlQuery();
        admin.close();
        admin = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_appName + QStringLiteral("-admin"));
        if (!ok)
            return false;
    }
    m_connectionString = withCatalog(base, catalog);
    m_app = connect(m_connectionString, m_appName, error);
    return m_app.isValid() && applySchema(m_app, error);
}

bool TestDatabase::exec(const QString &sql, QString *error)
{
    QSqlQuery q(m_app);
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    else
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return false;
}

QVariant TestDatabase::scalar(const QString &sql)
{
    QSqlQuery q(m_app);
    if (!q.exec(sql) || !q.next()) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return {};
    }
    return q.value(0);
}

QStringList TestDatabase::rows(const QString &sql)
{
    QStringList out;
    QSqlQuery q(m_app);
    if (!q.exec(sql)) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return out;
    }
    const int columns = q.record().count();
    while (q.next()) {
        QStringList cells;
        for (int c = 0; c < columns; ++c) {
            const QVariant v = q.value(c);
            if (v.isNull())
                cells << QStringLiteral("<null>");
            else if (v.metaType().id() == QMetaType::QDateTime)
                cells << v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            else
                cells << v.toString();
        }
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

bool TestDatabase::insertPending(int n, const QString &numberPrefix, const QString &textPrefix)
{
    if (!m_app.transaction())
        return false;
    QSqlQuery q(m_app);
    q.prepare(QStringLiteral("insert into SMS(CellNumber, SMSContent) values(?, ?)"));
    for (int i = 1; i <= n; ++i) {
        q.addBindValue(numberPrefix + QString::number(i));
        q.addBindValue(textPrefix + QString::number(i));
        if (!q.exec()) {
            qWarning("insert: %s", qPrintable(q.lastError().text()));
            m_app.rollback();
            return false;
        }
    }
    return m_app.commit();
}

bool TestDatabase::dropOtherSessions(QString *error)
{
    QString sql;
    if (m_engine == QLatin1String("postgresql")) {
        sql = QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity "
                             "where datname = current_database() and pid <> pg_backend_pid()");
        return exec(sql, error);
    }
    if (m_engine == QLatin1String("mysql")) {
        const QStringList ids =
                rows(QStringLiteral("select id from information_schema.processlist "
                                    "where db = database() and id <> connection_id()"));
        for (const QString &id : ids) {
            if (!exec(QStringLiteral("kill ") + id, error))
                return false;
        }
        return true;
    }
    *error = QStringLiteral("not a server");
    return false;
}
