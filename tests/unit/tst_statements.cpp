#include "storage/queuedmessage.h"
#include "storage/statements.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTest>

// Statement texts are compared with every driver the gateway may use: each formats literals
// its own way, and ordinary values must still give the classic texts.
class TestStatements : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void ordinaryValues_data();
    void ordinaryValues();
    void quotesCannotEscape_data();
    void quotesCannotEscape();
    void ConvertTimeStamp_data();
    void ConvertTimeStamp();

private:
    const QSqlDriver *driver(const QString &name)
    {
        return name.isEmpty() ? nullptr : QSqlDatabase::database(name, false).driver();
    }
    QStringList m_drivers;
};

void TestStatements::initTestCase()
{
    for (const char *d : {"QSQLITE", "QPSQL", "QMYSQL", "QODBC"}) {
        const QString name = QString::fromLatin1(d);
        if (!QSqlDatabase::isDriverAvailable(name))
            QFAIL(qPrintable(name + QStringLiteral(" is not installed")));
        QSqlDatabase::addDatabase(name, name);
        m_drivers << name;
    }
}

void TestStatements::cleanupTestCase()
{
    for (const QString &name : std::as_const(m_drivers))
        QSqlDatabase::removeDatabase(name);
}

void TestStatements::ordinaryValues_data()
{
    QTest::addColumn<QString>("driver");
    for (const char *d : {"QSQLITE", "QPSQL", "QMYSQL", "QODBC"})
        QTest::newRow(d) << QString::fromLatin1(d);
}

void TestStatements::ordinaryValues()
{
    QFETCH(QString, driver);
    const Statements st(this->driver(driver));
    const QueuedMessage m{QStringLiteral("17"), QStringLiteral("13900000000"), QStringLiteral("hi"),
                          RowStatus::Handed};
    QCOMPARE(st.literal(st.updateStatus(m, QStringLiteral("2026-12-06 04:47:10"))),
             QStringLiteral("update SMS set status=1,HandleTime='2026-12-06 04:47:10' where "
                            "SysNo=17"));
    QCOMPARE(st.literal(st.updateStatus({QStringLiteral("9"), {}, {}, RowStatus::Failed},
                                        QStringLiteral("2026-01-02 03:04:05"))),
             QStringLiteral("update SMS set status=-1,HandleTime='2026-01-02 03:04:05' where "
                            "SysNo=9"));
    QCOMPARE(st.literal(st.insertReceived(QStringLiteral("+8613912345678"), QStringLiteral("你好"),
                                          QStringLiteral("2023-12-06 15:45:30"))),
             QStringLiteral("insert into smsrecv(cellnumber,smscontent, HandleTime) "
                            "values('+8613912345678','你好','2023-12-06 15:45:30')"));
    QCOMPARE(st.literal(st.insertForward(QStringLiteral("13800000000"), QStringLiteral("10086"),
                                         QStringLiteral("余额"))),
             QStringLiteral("insert into sms(cellnumber,smscontent) "
                            "values('13800000000','短信平台收到来自10086的短信:余额')"));
    QCOMPARE(st.literal(st.insertTest(QStringLiteral("13800000000"), QStringLiteral("test"))),
             QStringLiteral("insert into sms(cellnumber,smscontent) "
                            "values('13800000000','test')"));
    QCOMPARE(Statements::loadPending(), QStringLiteral("select * from SMS where Status=0"));
    // An empty value is an empty text, not NULL.
    QCOMPARE(st.text(QString()), QStringLiteral("''"));
}

void TestStatements::quotesCannotEscape_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("literal");

    const QString attack = QStringLiteral("it's'); delete from SMS; --");
    QTest::newRow("SQLite quote") << "QSQLITE" << attack << "'it''s''); delete from SMS; --'";
    QTest::newRow("PostgreSQL quote") << "QPSQL" << attack << "'it''s''); delete from SMS; --'";
    QTest::newRow("MySQL quote") << "QMYSQL" << attack << "'it''s''); delete from SMS; --'";
    // MySQL reads a backslash as an escape inside literals; it must be doubled there.
    QTest::newRow("MySQL backslash") << "QMYSQL"
                                     << "a\\'b"
                                     << "'a\\\\''b'";
    QTest::newRow("SQLite backslash") << "QSQLITE"
                                      << "a\\'b"
                                      << "'a\\''b'";
    QTest::newRow("no connection yet") << ""
                                       << "it's \\"
                                       << "'it''s \\'";
}

void TestStatements::quotesCannotEscape()
{
    QFETCH(QString, driver);
    QFETCH(QString, value);
    const Statements st(this->driver(driver));
    QTEST(st.text(value), "literal");
    // A key that is not a plain number is written as a literal, never as SQL.
    QCOMPARE(st.number(QStringLiteral("1 or 1=1")), QStringLiteral("'1 or 1=1'"));
    QCOMPARE(st.number(QStringLiteral("42")), QStringLiteral("42"));
}

void TestStatements::ConvertTimeStamp_data()
{
    QTest::addColumn<QString>("stamp");
    QTest::addColumn<QString>("converted");

    QTest::newRow("with zone") << "231206154530+32"
                               << "2023-12-06 15:45:30";
    QTest::newRow("exactly twelve") << "991231235959"
                                    << "2099-12-31 23:59:59";
    QTest::newRow("short") << "2312061545"
                           << "2023-12-06 15:45:";
    QTest::newRow("empty") << ""
                           << "20-- ::";
}

void TestStatements::ConvertTimeStamp()
{
    QFETCH(QString, stamp);
    QTEST(Statements::ConvertTimeStamp(stamp), "converted");
}

QTEST_GUILESS_MAIN(TestStatements)
#include "tst_statements.moc"
