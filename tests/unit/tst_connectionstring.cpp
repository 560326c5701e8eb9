#include "storage/connectionstring.h"

#include <QTest>

class TestConnectionString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parses_data();
    void parses();
    void refuses_data();
    void refuses();
};

void TestConnectionString::parses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    QTest::newRow("default SQLite")
            << "Provider=SQLite; Data Source=/opt/v/MainApp/DataBase/SMS.db; User Id=admin; "
               "Password="
            << "QSQLITE"
            << "/opt/v/MainApp/DataBase/SMS.db"
            << "" << -1 << "admin"
            << "";
    QTest::newRow("keys in any case, blanks around")
            << "  provider = sqlite ;DATA SOURCE= /tmp/a b.db ;"
            << "QSQLITE"
            << "/tmp/a b.db"
            << "" << -1 << ""
            << "";
    QTest::newRow("PostgreSQL")
            << "Provider=PostgreSQL; Data Source=127.0.0.1; Port=5433; Initial Catalog=sms; "
               "User Id=gw; Password=secret"
            << "QPSQL"
            << "sms"
            << "127.0.0.1" << 5433 << "gw"
            << "secret";
    QTest::newRow("PostgreSQL with Server and Database")
            << "Provider=PostgreSQL;Server=db.local;Database=sms;User Id=gw"
            << "QPSQL"
            << "sms"
            << "db.local" << -1 << "gw"
            << "";
    QTest::newRow("MariaDB")
            << "Provider=MariaDB; Host=localhost; Initial Catalog=sms; User Id=u; Password=p"
            << "QMYSQL"
            << "sms"
            << "localhost" << -1 << "u"
            << "p";
    QTest::newRow("MySQL") << "Provider=MySQL; Data Source=10.0.0.1; Port=3307; Initial Catalog=x"
                           << "QMYSQL"
                           << "x"
                           << "10.0.0.1" << 3307 << ""
                           << "";
    QTest::newRow("password in quotes holds ; and a doubled quote")
            << "Provider=PostgreSQL; Data Source=h; Initial Catalog=d; Password='a;b''c'; "
               "User Id=u"
            << "QPSQL"
            << "d"
            << "h" << -1 << "u"
            << "a;b'c";
    QTest::newRow("ODBC with a DSN") << "Provider=MSDASQL; DSN=SmsData; User Id=u; Password=p"
                                     << "QODBC"
                                     << "SmsData"
                                     << "" << -1 << "u"
                                     << "p";
    QTest::newRow("ODBC with a DSN and further keys") << "Provider=MSDASQL.1;DSN=SmsData;Timeout=5"
                                                      << "QODBC"
                                                      << "SmsData;Timeout=5"
                                                      << "" << -1 << ""
                                                      << "";
    QTest::newRow("ODBC with a driver") << "Provider=MSDASQL; Driver={SQLite3}; Database=/tmp/x.db"
                                        << "QODBC"
                                        << "Driver={SQLite3};Database=/tmp/x.db"
                                        << "" << -1 << ""
                                        << "";
    QTest::newRow("no provider means ODBC, as in ADO") << "DSN=SmsData"
                                                       << "QODBC"
                                                       << "SmsData"
                                                       << "" << -1 << ""
                                                       << "";
}

void TestConnectionString::parses()
{
    QFETCH(QString, text);
    ConnectionString cs;
    QString error;
    QVERIFY2(ConnectionString::parse(text, &cs, &error), qPrintable(error));
    QTEST(cs.driver, "driver");
    QTEST(cs.databaseName, "database");
    QTEST(cs.host, "host");
    QTEST(cs.port, "port");
    QTEST(cs.user, "user");
    QTEST(cs.password, "password");
}

void TestConnectionString::refuses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("Jet") << "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=C:\\x\\SMS.mdb; "
                            "User Id=admin; Password="
                         << "Provider=SQLite";
    QTest::newRow("ACE") << "Provider=Microsoft.ACE.OLEDB.12.0; Data Source=SMS.accdb"
                         << "Provider=SQLite";
    QTest::newRow("unknown provider") << "Provider=SQLOLEDB; Data Source=x"
                                      << "SQLOLEDB";
    QTest::newRow("SQLite without a file") << "Provider=SQLite; User Id=admin"
                                           << "Data Source";
    QTest::newRow("server without a catalog") << "Provider=PostgreSQL; Data Source=h"
                                              << "Initial Catalog";
    QTest::newRow("port not a number") << "Provider=MySQL; Data Source=h; Port=x; Database=d"
                                       << "x";
    QTest::newRow("empty string") << ""
                                  << "ODBC";
}

void TestConnectionString::refuses()
{
    QFETCH(QString, text);
    QFETCH(QString, mentions);
    ConnectionString cs;
    QString error;
    QVERIFY(!ConnectionString::parse(text, &cs, &error));
    QVERIFY2(error.contains(mentions), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
