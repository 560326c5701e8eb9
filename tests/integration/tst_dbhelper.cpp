#include "testdatabase.h"

#include "storage/dbhelper.h"
#include "storage/statements.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// DBHelper against real databases: the embedded SQLite file and, where the environment names
// them, PostgreSQL and MariaDB servers (a named server that does not answer fails the test).
class TestDBHelper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void engines_data();
    void openRunAndReplace_data() { engines_data(); }
    void openRunAndReplace();
    void statementErrorKeepsTheConnection_data() { engines_data(); }
    void statementErrorKeepsTheConnection();
    void readsPendingRowsWithAnExactCount_data() { engines_data(); }
    void readsPendingRowsWithAnExactCount();
    void valuesAreStoredExactly_data() { engines_data(); }
    void valuesAreStoredExactly();
    void lostConnectionIsNoticedAndReopened_data();
    void lostConnectionIsNoticedAndReopened();
    void failedOpens_data();
    void failedOpens();
    void sqliteFileIsNeverCreated();
    void serverRefusesWrongPassword_data();
    void serverRefusesWrongPassword();
    void odbcDriverManager();
};

void TestDBHelper::engines_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

static QString dbName()
{
    return QStringLiteral("dbh_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

#define NEED(db) VELMORA_NEED_DATABASE(db, dbName())

void TestDBHelper::openRunAndReplace()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    NEED(tdb);
    const QStringList before = QSqlDatabase::connectionNames();
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));
    QVERIFY(db.isOpen());
    QCOMPARE(db.ExecSQLString(
                     QStringLiteral("insert into sms(cellnumber,smscontent) values('139','a')")),
             std::optional<int>(1));
    QCOMPARE(db.ExecSQLString(QStringLiteral("update SMS set status=0 where Status=0")),
             std::optional<int>(1));
    QCOMPARE(db.ExecSQLString(QStringLiteral("  \t ")), std::optional<int>(0));

    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));
    QCOMPARE(QSqlDatabase::connectionNames().size(), before.size() + 1);
    QCOMPARE(db.ExecSQLString(QStringLiteral("delete from SMS")), std::optional<int>(1));
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS")).toInt(), 0);
}

void TestDBHelper::statementErrorKeepsTheConnection()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    NEED(tdb);
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));
    QVERIFY(!db.ExecSQLString(QStringLiteral("insert into nosuchtable values(1)")));
    QVERIFY2(db.lastError().contains(QStringLiteral("nosuchtable"), Qt::CaseInsensitive),
             qPrintable(db.lastError()));
    QVERIFY(!db.lastFailureLostConnection());
    QVERIFY(db.isOpen());
    QVERIFY(!db.isLost());
    QCOMPARE(db.ExecSQLString(
                     QStringLiteral("insert into sms(cellnumber,smscontent) values('1','x')")),
             std::optional<int>(1));
}

void TestDBHelper::readsPendingRowsWithAnExactCount()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    NEED(tdb);
    QVERIFY(tdb.exec(QStringLiteral(
            "insert into SMS(CellNumber, SMSContent) values('  13900000001 ', ' hello  ')")));
    QVERIFY(tdb.exec(QStringLiteral("insert into SMS(CellNumber, SMSContent) values(null, null)")));
    QVERIFY(tdb.exec(QStringLiteral(
            "insert into SMS(CellNumber, SMSContent, Status) values('2', 'sent', 2)")));
    QVERIFY(tdb.insertPending(300));
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));
    const auto rows = db.readQueuedMessages(Statements::loadPending());
    QVERIFY2(rows, qPrintable(db.lastError()));
    QCOMPARE(rows->size(), 302);
    // Only spaces around values are removed; the key is a plain number; null reads as empty.
    const auto first = std::find_if(rows->cbegin(), rows->cend(), [](const QueuedMessage &m) {
        return m.SMSContent == QLatin1String("hello");
    });
    QVERIFY(first != rows->cend());
    QCOMPARE(first->CellNumber, QStringLiteral("13900000001"));
    QCOMPARE(first->Status, RowStatus::Pending);
    QVERIFY(first->SysNo.toLongLong() > 0);
    const auto nulls = std::find_if(rows->cbegin(), rows->cend(),
                                    [](const QueuedMessage &m) { return m.CellNumber.isEmpty(); });
    QVERIFY(nulls != rows->cend());
    QCOMPARE(nulls->SMSContent, QString());
    QVERIFY(!nulls->SysNo.isEmpty());
}

void TestDBHelper::valuesAreStoredExactly()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    NEED(tdb);
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));
    QVERIFY(tdb.insertPending(3));
    const Statements st(db.driver());
    const QStringList texts = {QStringLiteral("it's'); delete from SMS; --"),
                               QStringLiteral("back\\slash \\' and \\\\"),
                               QStringLiteral("汉字 €  emoji 😀 \"double\" ; --"),
                               QStringLiteral("line\r\nbreak\ttab")};
    for (const QString &text : texts) {
        QVERIFY2(db.ExecSQLString(
                         st.insertReceived(text, text, QStringLiteral("2023-12-06 15:45:30"))),
                 qPrintable(db.lastError()));
    }
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS")).toInt(), 3);
    const QStringList stored =
            tdb.rows(QStringLiteral("select smscontent, cellnumber from smsrecv order by SysNo"));
    QCOMPARE(stored.size(), texts.size());
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(stored.at(i), texts.at(i) + QLatin1Char('|') + texts.at(i));
}

void TestDBHelper::lostConnectionIsNoticedAndReopened_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestDBHelper::lostConnectionIsNoticedAndReopened()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    NEED(tdb);
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));
    QVERIFY2(tdb.dropOtherSessions(&error), qPrintable(error));

    QVERIFY(!db.ExecSQLString(
            QStringLiteral("insert into sms(cellnumber,smscontent) values('1','x')")));
    QVERIFY(db.lastFailureLostConnection());
    QVERIFY(db.isLost());
    QVERIFY(!db.isOpen());
    QVERIFY(!db.lastError().isEmpty());
    // Nothing is sent while lost; the failure is immediate.
    QVERIFY(!db.readQueuedMessages(Statements::loadPending()));

    QVERIFY2(db.reopen(&error), qPrintable(error));
    QVERIFY(db.isOpen());
    QCOMPARE(db.ExecSQLString(
                     QStringLiteral("insert into sms(cellnumber,smscontent) values('1','x')")),
             std::optional<int>(1));
}

void TestDBHelper::failedOpens_data()
{
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("Jet") << "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/x/DataBase/SMS.mdb; "
                            "User Id=admin; Password="
                         << "Provider=SQLite";
    QTest::newRow("missing SQLite file") << "Provider=SQLite; Data Source=/nonexistent/SMS.db"
                                         << "/nonexistent/SMS.db";
    QTest::newRow("PostgreSQL port without server")
            << "Provider=PostgreSQL; Data Source=127.0.0.1; Port=1; Initial Catalog=x; "
               "User Id=u; Password=p"
            << "127.0.0.1";
    QTest::newRow("MariaDB port without server")
            << "Provider=MariaDB; Data Source=127.0.0.1; Port=1; Initial Catalog=x; User Id=u"
            << "127.0.0.1";
}

void TestDBHelper::failedOpens()
{
    QFETCH(QString, connectionString);
    DBHelper db;
    QString error;
    QElapsedTimer t;
    t.start();
    QVERIFY(!db.OpenConnection(connectionString, &error));
    QVERIFY(t.elapsed() < (DBHelper::OpenTimeoutSeconds + 2) * 1000);
    QFETCH(QString, mentions);
    QVERIFY2(error.contains(mentions), qPrintable(error));
    QVERIFY(!db.isOpen());
    QVERIFY(!db.isLost());
    QVERIFY(!db.ExecSQLString(QStringLiteral("select 1")));
}

void TestDBHelper::sqliteFileIsNeverCreated()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SMS.db"));
    DBHelper db;
    QString error;
    QVERIFY(!db.OpenConnection(QStringLiteral("Provider=SQLite; Data Source=") + path, &error));
    QVERIFY(error.contains(path));
    QVERIFY(!QFile::exists(path));

    // A file that is not a database fails at the open, where the operator is told.
    QFile junk(path);
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    QVERIFY(!db.OpenConnection(QStringLiteral("Provider=SQLite; Data Source=") + path, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!db.isOpen());
}

void TestDBHelper::serverRefusesWrongPassword_data()
{
    lostConnectionIsNoticedAndReopened_data();
}

void TestDBHelper::serverRefusesWrongPassword()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    NEED(tdb);
    QString wrong = tdb.connectionString();
    wrong.replace(QRegularExpression(QStringLiteral("Password=[^;]*")),
                  QStringLiteral("Password=wrong"));
    DBHelper db;
    QString error;
    QVERIFY(!db.OpenConnection(wrong, &error));
    QVERIFY(!error.isEmpty());
    // No password at all is an error too, never a prompt.
    wrong.replace(QStringLiteral("Password=wrong"), QStringLiteral("Password="));
    QVERIFY(!db.OpenConnection(wrong, &error));
}

void TestDBHelper::odbcDriverManager()
{
    const QString driver = QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so");
    if (!QFile::exists(driver))
        QSKIP("libsqliteodbc is not installed");
    TestDatabase tdb(QStringLiteral("sqlite"));
    NEED(tdb);
    DBHelper db;
    QString error;
    const QString cs = QStringLiteral("Provider=MSDASQL; Driver=") + driver
            + QStringLiteral("; Database=") + tdb.file();
    QVERIFY2(db.OpenConnection(cs, &error), qPrintable(error));
    QCOMPARE(db.ExecSQLString(Statements(db.driver())
                                      .insertTest(QStringLiteral("139"), QStringLiteral("it's"))),
             std::optional<int>(1));
    const auto rows = db.readQueuedMessages(Statements::loadPending());
    QVERIFY2(rows, qPrintable(db.lastError()));
    QCOMPARE(rows->size(), 1);
    QCOMPARE(rows->first().SMSContent, QStringLiteral("it's"));
    QVERIFY(!db.ExecSQLString(QStringLiteral("insert into nosuchtable values(1)")));
    QVERIFY(db.isOpen());
}

QTEST_GUILESS_MAIN(TestDBHelper)
#include "tst_dbhelper.moc"
