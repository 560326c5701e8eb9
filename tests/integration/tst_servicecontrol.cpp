#include "gatewayharness.h"
#include "testdatabase.h"

#include <QFile>
#include <QTest>
#include <QTimer>

// Stopping and starting the service while messages are in flight, and the supervision tick's
// part in it: no row written as failed for a send the gateway cut off, no device left busy, no
// poll left running that the last start did not ask for, and a database that was down at the
// start taken up again for what waits in the spool.
class TestServiceControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stopLeavesRowsInFlightAtOne();
    void restartFreesDevicesWhoseResultsComeLate();
    void restartStopsAPollItNoLongerWants_data();
    void restartStopsAPollItNoLongerWants();
    void stopBeforeTheOpensEndLeavesEveryPortClosed();
    void stopDuringTheFirstRoundLeavesNothingRunning();
    void stopLetsTheSendsInFlightEnd();
    void rowsLongAtOneAreCounted();
    void aBadValueIsReportedOnce();
    void databaseDownAtTheStartIsTakenUpAtTheTick_data();
    void databaseDownAtTheStartIsTakenUpAtTheTick();
};

namespace {

QString dbName()
{
    return QStringLiteral("svc_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

bool anyLineContains(const QStringList &lines, const QString &part)
{
    return std::any_of(lines.cbegin(), lines.cend(),
                       [&](const QString &l) { return l.contains(part); });
}

} // namespace

void TestServiceControl::stopLeavesRowsInFlightAtOne()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    QVERIFY(tdb.insertPending(2));
    h.poll();
    QVERIFY(h.fake(0).inFlight && h.fake(1).inFlight);
    h.stop();
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=1")).toInt(), 2);
    QVERIFY(!anyLineContains(h.log(), QStringLiteral("失败")));
    QVERIFY(!anyLineContains(h.log(), QStringLiteral("已忽略")));
}

void TestServiceControl::restartFreesDevicesWhoseResultsComeLate()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.insertPending(3));
    h.poll();
    QCOMPARE(h->pool().state(0), DeviceState::Busy);
    h.start(); // 启动服务 again while the message is in flight
    h.finish(0, true);
    QCOMPARE(h->pool().state(0), DeviceState::Free);
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 2);
}

void TestServiceControl::restartStopsAPollItNoLongerWants_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("database gone") << "ConSTR"
                                   << "Provider=SQLite; Data Source=/nonexistent.db";
    QTest::newRow("ScanDT 0") << "ScanDT"
                              << "0";
}

void TestServiceControl::restartStopsAPollItNoLongerWants()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(h->service().queuePollActive());
    h.setConfig(QStringLiteral("DBCon"), key, value);
    h.start();
    QVERIFY(!h->service().queuePollActive());
}

// The opens of a round end after it returns; a stop before they do cancels them, and a failed
// open's retry never comes after it.
void TestServiceControl::stopBeforeTheOpensEndLeavesEveryPortClosed()
{
    GatewayHarness h(QStringLiteral("Provider=SQLite; Data Source=/nonexistent.db"),
                     QStringLiteral("1,2,3"));
    for (FakeModemControl *f : std::as_const(h.fakes))
        f->openResult = 1;
    h.start();
    h.fake(0).openResult = 0;
    h.fake(0).answersOpen = false;
    h->service().tm_md_Timer();
    h->service().mnuGXFW_Click();
    // A driver that reports the open it was told to drop is not listened to.
    Q_EMIT h.fake(0).OpenFinished(0);
    QTest::qWait(1500);
    for (int d = 0; d < 3; ++d) {
        QCOMPARE(h.fake(d).calls.count(QStringLiteral("BeginOpenComm")), 2);
        QCOMPARE(h->devices().row(d).status, QStringLiteral("未连接"));
    }
    QCOMPARE(h->pool().state(0), DeviceState::Offline);
    QCOMPARE(h.log().last(), QStringLiteral("系统服务停止……"));
}

// The supervision timer used to be armed after the start's first round whatever happened in it,
// so a minute after a stop the "stopped" gateway opened every port.
void TestServiceControl::stopDuringTheFirstRoundLeavesNothingRunning()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3"));
    QTimer::singleShot(0, &*h, [&h] { h->service().mnuGXFW_Click(); });
    h.start();
    QVERIFY(!h->service().supervisionActive());
    QVERIFY(!h->service().queuePollActive());
    for (int d = 0; d < 3; ++d) {
        QVERIFY(!h.fake(d).isOpen);
        QCOMPARE(h->devices().row(d).status, QStringLiteral("未连接"));
    }
}

// A stop used to close the ports at once, leaving at 1 rows whose modems answered a moment
// later; it now waits for their answers and names what is still unknown.
void TestServiceControl::stopLetsTheSendsInFlightEnd()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.setConfig(QStringLiteral("Service"), QStringLiteral("StopWait"), QStringLiteral("2"));
    h.start();
    QVERIFY(tdb.insertPending(2));
    h.poll();
    QVERIFY(h.fake(0).inFlight && h.fake(1).inFlight);
    QTimer::singleShot(20, &*h, [&h] { h.fake(0).finishSend(true); });
    h.stop();
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, Status from SMS order by SysNo")),
             QStringList({QStringLiteral("1|1"), QStringLiteral("2|2")}));
    QVERIFY(h.logged(QStringLiteral("停止时1条短信的发送结果未知，状态保持为1(SysNo=1)")));
    QCOMPARE(h.log().last(), QStringLiteral("系统服务停止……"));
}

// Nothing named the rows a stop or a crash left at 1; the tick counts those older than
// StuckAfter for the page and /metrics.
void TestServiceControl::rowsLongAtOneAreCounted()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.exec(QStringLiteral("insert into SMS(CellNumber,SMSContent,Status,HandleTime) "
                                    "values('1','a',1,'2026-12-06 04:30:00'),"
                                    "('2','b',1,'2026-12-06 04:45:00'),"
                                    "('3','c',2,'2026-12-06 04:00:00')")));
    h.supervise();
    QCOMPARE(h->status().rowsStuck, 1);
}

// The window's start-up reads the file twice and the start once more: three lines for one
// bad value.
void TestServiceControl::aBadValueIsReportedOnce()
{
    GatewayHarness h(QStringLiteral("Provider=SQLite; Data Source=/nonexistent.db"),
                     QStringLiteral("1"));
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), QStringLiteral("fast"));
    h.makeGateway();
    h.start();
    QCOMPARE(h.log().filter(QStringLiteral("ScanDT")).size(), 1);
}

void TestServiceControl::databaseDownAtTheStartIsTakenUpAtTheTick_data()
{
    QTest::addColumn<bool>("pollWhenBack");
    QTest::newRow("window") << false;
    QTest::newRow("headless service") << true;
}

void TestServiceControl::databaseDownAtTheStartIsTakenUpAtTheTick()
{
    QFETCH(bool, pollWhenBack);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    const QString away = tdb.file() + QStringLiteral(".away");
    QVERIFY(QFile::rename(tdb.file(), away));
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h->service().setPollWhenDatabaseReturns(pollWhenBack);
    h.start();
    h.fake(0).deliver(QStringLiteral("+8613912345678"), QStringLiteral("早"),
                      QStringLiteral("26120604471000"));
    h.settle();
    QVERIFY(h.logged(QStringLiteral("短信暂存本地，待数据库可用时保存……")));
    QVERIFY(QFile::rename(away, tdb.file()));
    h.supervise();
    QCOMPARE(tdb.rows(QStringLiteral("select cellnumber, smscontent from smsrecv")),
             QStringList(QStringLiteral("+8613912345678|早")));
    QCOMPARE(h->service().queuePollActive(), pollWhenBack);
}

QTEST_GUILESS_MAIN(TestServiceControl)
#include "tst_servicecontrol.moc"
