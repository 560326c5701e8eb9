#include "gatewayharness.h"
#include "testdatabase.h"

#include "messaging/queuewatcher.h"

#include <QSignalSpy>
#include <QTest>

// A row that an application queues itself is sent without waiting for the ScanDT poll (an hour
// here, so only the watch can have sent it), on the engines that can tell: PostgreSQL through
// the trigger's notification, SQLite through its change counter.
class TestQueueWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void engines_data();
    void rowQueuedElsewhereLeavesBeforeThePoll_data() { engines_data(); }
    void rowQueuedElsewhereLeavesBeforeThePoll();
    void failedRowPutBackIsNoticed_data() { engines_data(); }
    void failedRowPutBackIsNoticed();
    void cutListenerConnectionIsMadeAgain();
    void stoppedServiceSendsNothing();
};

namespace {

constexpr int Wait = 15000;

QString dbName()
{
    return QStringLiteral("qw_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

} // namespace

void TestQueueWatcher::engines_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

void TestQueueWatcher::rowQueuedElsewhereLeavesBeforeThePoll()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("WatchQueue"), QStringLiteral("1"));
    h.start();
    QVERIFY(h.fake(0).sent.isEmpty());
    QVERIFY(tdb.insertPending(1));
    QTRY_COMPARE_WITH_TIMEOUT(h.fake(0).sent.size(), 1, Wait);
    QTRY_COMPARE_WITH_TIMEOUT(tdb.scalar(QStringLiteral("select Status from SMS")).toInt(), 1,
                              Wait);
}

void TestQueueWatcher::failedRowPutBackIsNoticed()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    QVERIFY(tdb.exec(QStringLiteral("insert into SMS(CellNumber,SMSContent,Status) "
                                    "values('13800138000','again',-1)")));
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("WatchQueue"), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Status=0")));
    QTRY_COMPARE_WITH_TIMEOUT(h.fake(0).sent.size(), 1, Wait);
}

void TestQueueWatcher::cutListenerConnectionIsMadeAgain()
{
    TestDatabase tdb(QStringLiteral("postgresql"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    QueueWatcher watcher;
    QSignalSpy changed(&watcher, &QueueWatcher::queueChanged);
    watcher.watch(tdb.connectionString());
    QVERIFY(tdb.insertPending(1));
    QVERIFY(changed.wait(Wait));
    QString error;
    QVERIFY2(tdb.dropOtherSessions(&error), qPrintable(error));
    // Back on line, it says that rows may have come while it could not hear them, and it
    // hears the next one.
    changed.clear();
    QVERIFY(changed.wait(Wait));
    changed.clear();
    QVERIFY(tdb.insertPending(1));
    QVERIFY(changed.wait(Wait));
}

void TestQueueWatcher::stoppedServiceSendsNothing()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("WatchQueue"), QStringLiteral("1"));
    h.start();
    h.stop();
    QVERIFY(tdb.insertPending(1));
    // The watch of a running service would have sent it well within this.
    QTest::qWait(1000);
    QVERIFY(h.fake(0).sent.isEmpty());
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS")).toInt(), 0);
}

QTEST_GUILESS_MAIN(TestQueueWatcher)
#include "tst_queuewatcher.moc"
