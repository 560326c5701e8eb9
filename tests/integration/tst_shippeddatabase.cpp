#include "messaging/schemaupgrade.h"
#include "storage/dbhelper.h"
#include "storage/statements.h"

#include "core/settings.h"
#include "policy/policycolumns.h"

#include <QDir>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// The database file the build ships in MainApp/DataBase, opened the way the default
// connection string opens it.
class TestShippedDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultConnectionOpensTheShippedFile();
    void upgradeSwitchesThePolicyColumnsOnOnce();
};

namespace {

// A copy of the shipped file where the default connection string looks for it.
bool copyShipped(const QTemporaryDir &programDir)
{
    const QString shipped = qEnvironmentVariable("VELMORA_BUILD_DIR")
            + QStringLiteral("/install-root/MainApp/DataBase/SMS.db");
    return QDir().mkpath(programDir.filePath(QStringLiteral("DataBase")))
            && QFile::copy(shipped, programDir.filePath(QStringLiteral("DataBase/SMS.db")));
}

} // namespace

void TestShippedDatabase::defaultConnectionOpensTheShippedFile()
{
    const QString shipped = qEnvironmentVariable("VELMORA_BUILD_DIR")
            + QStringLiteral("/install-root/MainApp/DataBase/SMS.db");
    QVERIFY2(QFile::exists(shipped), qPrintable(shipped));
    QTemporaryDir programDir;
    QVERIFY(QDir().mkpath(programDir.filePath(QStringLiteral("DataBase"))));
    QVERIFY(QFile::copy(shipped, programDir.filePath(QStringLiteral("DataBase/SMS.db"))));

    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(Settings::defaultConnectionString(programDir.path()), &error),
             qPrintable(error));
    const Statements st(db.driver());
    QCOMPARE(db.ExecSQLString(st.insertTest(QStringLiteral("139"), QStringLiteral("a"))),
             std::optional<int>(1));
    QCOMPARE(db.ExecSQLString(st.insertTest(QStringLiteral("139"), QStringLiteral("b"))),
             std::optional<int>(1));
    const auto rows = db.readQueuedMessages(Statements::loadPending());
    QVERIFY(rows);
    QCOMPARE(rows->size(), 2);
    QCOMPARE(rows->at(0).SysNo, QStringLiteral("1"));
    QCOMPARE(rows->at(1).SysNo, QStringLiteral("2"));
    QCOMPARE(rows->at(0).Status, RowStatus::Pending);
    QVERIFY(db.ExecSQLString(st.insertReceived(QStringLiteral("1"), QStringLiteral("x"),
                                               QStringLiteral("2023-12-06 15:45:30"))));
    // Names in any case reach the same tables.
    QVERIFY(db.ExecSQLString(QStringLiteral("update sms set STATUS=1 where sysno=1")));
    QVERIFY(db.ExecSQLString(QStringLiteral("select COUNT(*) from SMSRECV")));

    QSqlDatabase check =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
    check.setDatabaseName(programDir.filePath(QStringLiteral("DataBase/SMS.db")));
    QVERIFY(check.open());
    {
        QSqlQuery q(check);
        QVERIFY(q.exec(QStringLiteral("pragma journal_mode")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
        QVERIFY(q.exec(QStringLiteral("select Status from SMS where SysNo=1")) && q.next());
        QCOMPARE(q.value(0).toInt(), 1);
    }
    check.close();
    check = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
}

void TestShippedDatabase::upgradeSwitchesThePolicyColumnsOnOnce()
{
    QTemporaryDir programDir;
    QVERIFY(copyShipped(programDir));
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(Settings::defaultConnectionString(programDir.path()), &error),
             qPrintable(error));
    SchemaUpgrade schema(db);
    auto missing = schema.missing(&error);
    QVERIFY2(missing, qPrintable(error));
    QCOMPARE(missing->size(), 4);
    for (const auto &piece : std::as_const(*missing))
        QVERIFY2(schema.add(piece, &error), qPrintable(error));
    missing = schema.missing(&error);
    QVERIFY(missing && missing->isEmpty());
    QVERIFY(PolicyColumns::probe(db).priority && PolicyColumns::probe(db).sendAfter
            && PolicyColumns::probe(db).validUntil && PolicyColumns::probe(db).reason);
}

QTEST_GUILESS_MAIN(TestShippedDatabase)
#include "tst_shippeddatabase.moc"
