#include "testdatabase.h"

#include "messaging/schemaupgrade.h"
#include "storage/dbhelper.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Databases made by older versions, on every engine: the upgrade adds exactly what they lack,
// and a database made from today's schema files lacks nothing.
class TestSchemaUpgrade : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void engines_data();
    void oldDatabaseGetsWhatItLacksOnce_data() { engines_data(); }
    void oldDatabaseGetsWhatItLacksOnce();
    void partlyUpgradedDatabaseGetsOnlyTheRest_data() { engines_data(); }
    void partlyUpgradedDatabaseGetsOnlyTheRest();
    void schemaFilesLackOnlyThePolicyColumns_data() { engines_data(); }
    void schemaFilesLackOnlyThePolicyColumns();
    void commandLineChecksAndUpgrades();
};

namespace {

QString dbName()
{
    return QStringLiteral("su_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

// What a database of the first versions lacked.
QStringList oldShape(const QString &engine)
{
    QStringList statements{QStringLiteral("drop table smsreport"),
                           QStringLiteral("alter table SMS drop column Gateway")};
    if (engine == QLatin1String("postgresql"))
        statements << QStringLiteral("drop trigger sms_queued on SMS")
                   << QStringLiteral("drop function velmora_sms_queued()");
    return statements;
}

QStringList names(const QList<SchemaUpgrade::Piece> &pieces)
{
    QStringList out;
    for (const auto &piece : pieces)
        out << piece.name;
    return out;
}

// The sending policy's optional columns, which the schema files leave out.
QStringList policyColumns()
{
    return {QStringLiteral("表SMS的Priority列"), QStringLiteral("表SMS的SendAfter列"),
            QStringLiteral("表SMS的ValidUntil列"), QStringLiteral("表SMS的Reason列")};
}

QList<SchemaUpgrade::Piece> missingFrom(DBHelper &db)
{
    QString error;
    const auto missing = SchemaUpgrade(db).missing(&error);
    if (!missing)
        qWarning("%s", qPrintable(error));
    return missing.value_or(QList<SchemaUpgrade::Piece>{{QStringLiteral("?"), {}}});
}

} // namespace

void TestSchemaUpgrade::engines_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestSchemaUpgrade::oldDatabaseGetsWhatItLacksOnce()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    for (const QString &statement : oldShape(engine))
        QVERIFY(tdb.exec(statement));
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));

    const auto missing = missingFrom(db);
    QStringList expected{QStringLiteral("表smsreport"), QStringLiteral("表SMS的Gateway列")};
    if (engine == QLatin1String("postgresql"))
        expected << QStringLiteral("表SMS的触发器sms_queued");
    expected << policyColumns();
    QCOMPARE(names(missing), expected);
    SchemaUpgrade schema(db);
    for (const auto &piece : missing)
        QVERIFY2(schema.add(piece, &error), qPrintable(error));
    QVERIFY(missingFrom(db).isEmpty());

    // What was added is what the gateway uses.
    QVERIFY(tdb.exec(QStringLiteral("insert into smsreport(SysNo,CellNumber,Status) "
                                    "values(1,'13800138000',0)")));
    QVERIFY(tdb.exec(QStringLiteral("insert into SMS(CellNumber,SMSContent,Gateway) "
                                    "values('13800138000','hello','gw-a')")));
    QCOMPARE(tdb.rows(QStringLiteral("select Gateway from SMS")), QStringList{"gw-a"});
}

void TestSchemaUpgrade::partlyUpgradedDatabaseGetsOnlyTheRest()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    QVERIFY(tdb.exec(QStringLiteral("alter table SMS drop column Gateway")));
    QVERIFY(tdb.exec(QStringLiteral("insert into smsreport(SysNo,Status) values(7,0)")));
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));

    const auto missing = missingFrom(db);
    QCOMPARE(names(missing), QStringList{QStringLiteral("表SMS的Gateway列")} + policyColumns());
    QVERIFY2(SchemaUpgrade(db).add(missing.first(), &error), qPrintable(error));
    for (const auto &piece : missing.mid(1))
        QVERIFY2(SchemaUpgrade(db).add(piece, &error), qPrintable(error));
    QVERIFY(missingFrom(db).isEmpty());
    // The table that was there keeps its rows.
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from smsreport")).toInt(), 1);
}

void TestSchemaUpgrade::schemaFilesLackOnlyThePolicyColumns()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    QVERIFY(tdb.exec(QStringLiteral("insert into SMS(CellNumber,SMSContent) values('139','old')")));
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));
    const auto missing = missingFrom(db);
    QCOMPARE(names(missing), policyColumns());
    // Only what the policy uses: a start does not name the command for them.
    QCOMPARE(SchemaUpgrade::notice(missing, QStringLiteral("/opt")), QString());
    for (const auto &piece : missing)
        QVERIFY2(SchemaUpgrade(db).add(piece, &error), qPrintable(error));
    // A second run finds nothing to do.
    QCOMPARE(names(missingFrom(db)), QStringList());

    // The columns take what the policy writes and reads, and the rows there keep theirs.
    QVERIFY(tdb.exec(QStringLiteral(
            "insert into SMS(CellNumber,SMSContent,Priority,SendAfter,ValidUntil) "
            "values('139','new',5,'2026-03-16 06:00:00','2026-03-17 06:00:00')")));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Reason='expired' where SMSContent='new'")));
    const auto rows = db.readQueuedMessages(
            {QStringLiteral("select * from SMS where Status=0 order by SysNo"), {}});
    QVERIFY(rows);
    QCOMPARE(rows->size(), 2);
    QCOMPARE(rows->at(0).Priority, 0);
    QVERIFY(!rows->at(0).SendAfter.isValid());
    QCOMPARE(rows->at(1).Priority, 5);
    QCOMPARE(rows->at(1).SendAfter, QDateTime(QDate(2026, 3, 16), QTime(6, 0)));
    QCOMPARE(rows->at(1).ValidUntil, QDateTime(QDate(2026, 3, 17), QTime(6, 0)));
    QCOMPARE(tdb.rows(QStringLiteral("select Reason from SMS where SMSContent='new'")),
             QStringList{"expired"});
}

void TestSchemaUpgrade::commandLineChecksAndUpgrades()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    for (const QString &statement : oldShape(tdb.engine()))
        QVERIFY(tdb.exec(statement));
    QTemporaryDir folder;
    QFile config(folder.filePath(QStringLiteral("Config.ini")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[DBCon]\nConSTR=" + tdb.connectionString().toUtf8() + "\n");
    config.close();

    const auto run = [&](const char *option, int *status) {
        QProcess p;
        p.start(qEnvironmentVariable("VELMORA_GATEWAYD"),
                {QStringLiteral("--program-dir"), folder.path(), QString::fromLatin1(option)});
        if (!p.waitForFinished(30000))
            return QString();
        *status = p.exitCode();
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    int status = -1;
    QString lacks = QStringLiteral("缺少表smsreport\n缺少表SMS的Gateway列\n");
    for (const QString &column : policyColumns())
        lacks += QStringLiteral("缺少") + column + QLatin1Char('\n');
    QCOMPARE(run("--check-database", &status), lacks);
    QCOMPARE(status, 3);
    const QString upgrade = run("--upgrade-database", &status);
    QCOMPARE(status, 0);
    QVERIFY2(upgrade.contains(QLatin1String("ALTER TABLE SMS ADD Gateway TEXT;")),
             qPrintable(upgrade));
    QVERIFY(upgrade.contains(QLatin1String("CREATE TABLE smsreport")));
    QVERIFY2(upgrade.contains(QLatin1String("alter table SMS add SendAfter TEXT;")),
             qPrintable(upgrade));
    // Up to date: nothing to say, nothing done.
    QCOMPARE(run("--upgrade-database", &status), QString());
    QCOMPARE(status, 0);
    QCOMPARE(run("--check-database", &status), QString());
    QCOMPARE(status, 0);
}

QTEST_GUILESS_MAIN(TestSchemaUpgrade)
#include "tst_schemaupgrade.moc"
