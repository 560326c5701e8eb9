#include "gatewayharness.h"
#include "testdatabase.h"

#include "status/statusreport.h"

#include <QFile>
#include <QTest>

// The engine's status snapshot: what the page, the metrics and /healthz say of a real gateway.
class TestEngineStatus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aRefusedSharedQueueIsNotHealthy();
    void aDatabaseFileMovedAwayIsNoticedAtTheTick();
    void countersAndHistogramStartTogether();
    void sharedCountsFollowWithoutARequestReadingThem();
};

namespace {

QString dbName()
{
    return QStringLiteral("st_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

} // namespace

void TestEngineStatus::aRefusedSharedQueueIsNotHealthy()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    QVERIFY(tdb.exec(QStringLiteral("alter table SMS drop column Gateway")));
    GatewayHarness h(tdb.connectionString());
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("GatewayName"), QStringLiteral("east"));
    h.start();
    QVERIFY2(h.logged(QStringLiteral("数据库连接成功，但短信队列不可用，不发送短信……")),
             qPrintable(h.log().join(QLatin1Char('\n'))));
    QVERIFY(!h.logged(QStringLiteral("数据库连接失败……")));
    const EngineStatus s = h->status();
    QVERIFY(s.databaseUp);
    QVERIFY(s.cannotSend.contains(QStringLiteral("Gateway")));
    QCOMPARE(StatusReport::unavailable(s), s.cannotSend);
    // The column added, the next tick finds the queue usable.
    QVERIFY(tdb.exec(QStringLiteral("alter table SMS add column Gateway TEXT")));
    h.supervise();
    QCOMPARE(StatusReport::unavailable(h->status()), QString());
}

void TestEngineStatus::aDatabaseFileMovedAwayIsNoticedAtTheTick()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString());
    h.start();
    QCOMPARE(StatusReport::unavailable(h->status()), QString());
    QVERIFY(QFile::rename(tdb.file(), tdb.file() + QStringLiteral(".moved")));
    h.supervise();
    QVERIFY(StatusReport::unavailable(h->status()).contains(QStringLiteral("不存在")));
    QVERIFY(QFile::rename(tdb.file() + QStringLiteral(".moved"), tdb.file()));
    h.supervise();
    QCOMPARE(StatusReport::unavailable(h->status()), QString());
}

void TestEngineStatus::countersAndHistogramStartTogether()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString());
    h->start();
    h.settle();
    QVERIFY(tdb.insertPending(1));
    h.poll();
    h.finish(0, true);
    EngineStatus s = h->status();
    QCOMPARE(s.devices.at(0).sent, qint64(1));
    QCOMPARE(s.sendDurations.count, qint64(1));
    // A reload keeps the devices running, and both with them.
    h->reload();
    h.settle();
    s = h->status();
    QCOMPARE(s.devices.at(0).sent, qint64(1));
    QCOMPARE(s.sendDurations.count, qint64(1));
    h.stop();
    h->start();
    h.settle();
    s = h->status();
    QCOMPARE(s.devices.at(0).sent, qint64(0));
    QCOMPARE(s.sendDurations.count, qint64(0));
}

void TestEngineStatus::sharedCountsFollowWithoutARequestReadingThem()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("GatewayName"), QStringLiteral("east"));
    h.start();
    QVERIFY(h->status().handedByGateway.isEmpty());
    QVERIFY(tdb.insertPending(2));
    h.poll();
    // Read at the start: the snapshot does not go to the database for newer figures.
    QVERIFY(h->status().handedByGateway.isEmpty());
    h.clock.advance(10);
    h.poll();
    const EngineStatus s = h->status();
    QCOMPARE(s.handedByGateway, (QList<QPair<QString, qint64>>{{QStringLiteral("east"), 2}}));
    QCOMPARE(s.countsAt, h.clock.now());
}

QTEST_GUILESS_MAIN(TestEngineStatus)
#include "tst_enginestatus.moc"
