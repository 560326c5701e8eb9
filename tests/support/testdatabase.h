#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>

// A fresh database with the gateway's schema for one test: a SQLite file in a temporary
// folder, or a new database on the PostgreSQL or MariaDB server that VELMORA_TEST_PGSQL /
// VELMORA_TEST_MYSQL name. It also holds a second connection, playing the application that
// inserts rows and reads results.
class TestDatabase
{
public:
    // "sqlite", "postgresql" or "mysql".
    explicit TestDatabase(QString engine);
    ~TestDatabase();

    // The env variable that names the server, empty for SQLite.
    static QString serverVariable(const QString &engine);
    // True when the engine can be used here; for a server, whether its variable is set.
    static bool available(const QString &engine);

    // Creates the database (dropping one of the same name left from an earlier run), applies
    // the schema and opens the application's connection. False with the reason in *error.
    bool create(const QString &name, QString *error);

    const QString &engine() const { return m_engine; }
    const QString &connectionString() const { return m_connectionString; }
    QSqlDatabase &app() { return m_app; }
    // SQLite only: the database file.
    QString file() const;

    // Runs a statement on the application's connection; fails the test on an error.
    bool exec(const QString &sql, QString *error = nullptr);
    QVariant scalar(const QString &sql);
    // Rows of the query as lists of texts, columns joined by "|".
    QStringList rows(const QString &sql);
    // Inserts n rows into SMS (CellNumber, SMSContent) in one transaction.
    bool insertPending(int n, const QString &numberPrefix = QStringLiteral("1390000"),
                       const QString &textPrefix = QStringLiteral("msg "));

    // Servers: ends the gateway's sessions on this database, as a server restart would.
    bool dropOtherSessions(QString *error);

private:
    bool applySchema(QSqlDatabase &db, QString *error);

    QString m_engine;
    QString m_connectionString;
    QString m_name;
    std::unique_ptr<QTemporaryDir> m_dir;
    QSqlDatabase m_app;
    QString m_appName;
};

// Creates the test's database or ends the test function: skipped when the engine's server is
// not named in the environment, failed when it is named but the database cannot be made.
#define VELMORA_NEED_DATABASE(tdb, name) \
    do { \
        if (!TestDatabase::available((tdb).engine())) \
            QSKIP(qPrintable(TestDatabase::serverVariable((tdb).engine()) \
                             + QStringLiteral(" is not set"))); \
        QString velmoraWhy; \
        if (!(tdb).create((name), &velmoraWhy)) \
            QFAIL(qPrintable(velmoraWhy)); \
    } while (false)
