#include "gatewayharness.h"
#include "testdatabase.h"

#include <QTest>

// Every device opens on its own and takes rows the moment it is ready; one that goes (a boot
// line, a failed send, a lost port) comes back without the supervision tick; a reload keeps the
// ports and sends it has no reason to touch; and the loop is never entered again from inside:
// stop and reload return at once and finish on later turns.
class TestDeviceLifecycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aModemThatNeverAnswersHoldsUpNoOther();
    void aDeviceThatComesUpReadsTheQueueForItself();
    void aModemRestartedTakesRowsAgainWhenItsDriverReopensIt();
    void aLostDeviceIsOpenedAgainBeforeTheTick();
    void aFailedSendReopensTheDeviceAtOnce();
    void aPortClosedUnderAnAcceptedSendLeavesTheRowAtOne();
    void stopReturnsAtOnceAndClosesWhenTheLastSendEnds();
    void startDuringTheStopsWaitNamesTheUnknownRows();
    void reloadWithUnchangedDevicesKeepsPortsAndSends();
    void reloadReopensOnlyAChangedPort();
    void reloadWithANewConnectionKeepsTheModems();
    void reloadWithMoreOrFewerDevices();
};

namespace {

QString dbName()
{
    return QStringLiteral("life_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

int opens(GatewayHarness &h, int d)
{
    return int(h.fake(d).calls.count(QStringLiteral("BeginOpenComm")));
}

int closes(GatewayHarness &h, int d)
{
    return int(h.fake(d).calls.count(QStringLiteral("CloseComm")));
}

constexpr int Wait = 10000;

} // namespace

void TestDeviceLifecycle::aModemThatNeverAnswersHoldsUpNoOther()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3"));
    h.fake(1).answersOpen = false;
    h.start();
    // Every open was begun in the start itself; two have ended, one never will.
    for (int d = 0; d < 3; ++d)
        QCOMPARE(opens(h, d), 1);
    QCOMPARE(h->devices().row(0).status, QStringLiteral("空闲"));
    QCOMPARE(h->devices().row(1).status, QStringLiteral("准备连接"));
    QCOMPARE(h->devices().row(2).status, QStringLiteral("空闲"));
    QVERIFY(tdb.insertPending(2));
    h.poll();
    QCOMPARE(h.fake(0).sent.size() + h.fake(2).sent.size(), 2);
    QVERIFY(h.fake(1).sent.isEmpty());
    // A tick while the open is still under way does not begin a second one.
    h.supervise();
    QCOMPARE(opens(h, 1), 1);
    // The modem answers at last and takes the next row.
    h.fake(0).finishSend(true);
    h.fake(2).finishSend(true);
    QVERIFY(tdb.insertPending(1, QStringLiteral("1370000")));
    h.fake(1).answerOpen();
    QTRY_COMPARE_WITH_TIMEOUT(h.fake(0).sent.size() + h.fake(1).sent.size() + h.fake(2).sent.size(),
                              3, Wait);
    QCOMPARE(h->devices().row(1).status == QStringLiteral("准备连接"), false);
}

void TestDeviceLifecycle::aDeviceThatComesUpReadsTheQueueForItself()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.fake(0).answersOpen = false;
    h.start();
    QVERIFY(tdb.insertPending(1));
    // No poll: the hour-long ScanDT would be the next one.
    h.fake(0).answerOpen();
    QTRY_COMPARE_WITH_TIMEOUT(h.fake(0).sent.size(), 1, Wait);
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS")).toInt(), 1);
}

void TestDeviceLifecycle::aModemRestartedTakesRowsAgainWhenItsDriverReopensIt()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.insertPending(1));
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 1);
    // The boot line: the message it held has no known outcome and stays at 1.
    h.fake(0).restart();
    h.settle();
    QCOMPARE(h->pool().state(0), DeviceState::Offline);
    QCOMPARE(h->devices().row(0).status, QStringLiteral("连接失败,等候再试"));
    QVERIFY(tdb.insertPending(1, QStringLiteral("1370000")));
    h.poll();
    QCOMPARE(h->flow().queueLength(), 1);
    h.fake(0).reopenedItself();
    h.settle();
    QCOMPARE(h->pool().state(0), DeviceState::Busy);
    QCOMPARE(h.fake(0).sent.last().number, QStringLiteral("13700001"));
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, Status from SMS order by SysNo")),
             QStringList({QStringLiteral("1|1"), QStringLiteral("2|1")}));
    QCOMPARE(opens(h, 0), 1);
}

void TestDeviceLifecycle::aLostDeviceIsOpenedAgainBeforeTheTick()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    // Unplugged: the driver never reopens it; the gateway tries again after a short pause,
    // and again after a longer one while the port is still missing.
    h.fake(0).openResult = 1;
    h.fake(0).restart();
    h.fake(0).lastError = QStringLiteral("COM1 does not exist");
    h.settle();
    QTRY_COMPARE_WITH_TIMEOUT(opens(h, 0), 2, Wait);
    QTRY_COMPARE_WITH_TIMEOUT(h->devices().row(0).status, QStringLiteral("连接失败,等候再试"),
                              Wait);
    // Plugged back.
    h.fake(0).openResult = 0;
    QTRY_COMPARE_WITH_TIMEOUT(h->devices().row(0).status, QStringLiteral("空闲"), Wait);
    QCOMPARE(opens(h, 0), 3);
    QCOMPARE(opens(h, 1), 1);
    QVERIFY(h.logged(QStringLiteral("Com1口打开失败：COM1 does not exist")));
}

void TestDeviceLifecycle::aFailedSendReopensTheDeviceAtOnce()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.insertPending(2));
    h.poll();
    h.fake(0).sendRefusal = QStringLiteral("21");
    h.fake(0).sendFailure = QStringLiteral("+CMS ERROR: 21");
    h.finish(0, false);
    // Reopened and sending the second row, with no tick and no poll.
    QTRY_COMPARE_WITH_TIMEOUT(h.fake(0).sent.size(), 2, Wait);
    QCOMPARE(opens(h, 0), 2);
    QCOMPARE(h->pool().state(0), DeviceState::Busy);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=-1")).toInt(), 1);
}

void TestDeviceLifecycle::aPortClosedUnderAnAcceptedSendLeavesTheRowAtOne()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.insertPending(1));
    h.poll();
    // The text reached the modem, then the port went: no refusal, nothing known.
    h.fake(0).sendFailure = QStringLiteral("串口已关闭");
    h.finish(0, false);
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, Status from SMS")),
             QStringList(QStringLiteral("1|1")));
    QVERIFY(h.logged(
            QStringLiteral("Com1口串口已关闭，1条短信的发送结果未知，状态保持为1(SysNo=1)")));
    QVERIFY(!h.loggedStartingWith(QStringLiteral("Com1口提交到GSM网络失败")));
    QCOMPARE(h->devices().row(0).sent, QStringLiteral("0/0"));
    // A refusal with the same words is still a refusal.
    QTRY_COMPARE_WITH_TIMEOUT(h->pool().state(0), DeviceState::Free, Wait);
    QVERIFY(tdb.insertPending(1, QStringLiteral("1370000")));
    h.poll();
    h.fake(0).sendRefusal = QStringLiteral("38");
    h.finish(0, false);
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS where SysNo=2")).toInt(), -1);
}

void TestDeviceLifecycle::stopReturnsAtOnceAndClosesWhenTheLastSendEnds()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    QVERIFY(tdb.insertPending(2));
    h.poll();
    bool stopped = false;
    QObject::connect(&h->service(), &Service::stopped, &*h, [&stopped] { stopped = true; });
    h->stop();
    // Back from the stop with both sends still in flight and both ports open.
    QVERIFY(h->service().stopping());
    QVERIFY(!h->ServiceRunning());
    QVERIFY(h.fake(0).isOpen && h.fake(1).isOpen);
    // The list the stop rebuilds when it ends would drop an edit made now.
    QVERIFY(!h->addDevice(QStringLiteral("9"), QStringLiteral("9600")));
    h.finish(0, true);
    QVERIFY(h->service().stopping());
    QVERIFY(h.fake(1).isOpen);
    h.finish(1, false);
    QTRY_VERIFY_WITH_TIMEOUT(stopped, Wait);
    QVERIFY(!h.fake(0).isOpen && !h.fake(1).isOpen);
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS order by Status")),
             QStringList({QStringLiteral("-1"), QStringLiteral("2")}));
    QCOMPARE(h.log().last(), QStringLiteral("系统服务停止……"));
    QVERIFY(!h.loggedStartingWith(QStringLiteral("停止时")));
    // The failed send brings no reopen after the stop.
    QTest::qWait(50);
    QCOMPARE(opens(h, 1), 1);
}

void TestDeviceLifecycle::startDuringTheStopsWaitNamesTheUnknownRows()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.insertPending(1));
    h.poll();
    h->stop();
    QVERIFY(h->service().stopping());
    h->start();
    h.settle();
    QVERIFY(!h->service().stopping());
    QVERIFY(h.logged(QStringLiteral("停止时1条短信的发送结果未知，状态保持为1(SysNo=1)")));
    QCOMPARE(h->devices().row(0).status, QStringLiteral("空闲"));
    // The late answer of the cut-off send writes nothing.
    h.finish(0, false);
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS")).toInt(), 1);
}

void TestDeviceLifecycle::reloadWithUnchangedDevicesKeepsPortsAndSends()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    QVERIFY(tdb.insertPending(3));
    h.poll();
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), QStringLiteral("1800000"));
    h->reload();
    h.settle();
    for (int d = 0; d < 2; ++d) {
        QCOMPARE(opens(h, d), 1);
        QCOMPARE(closes(h, d), 1); // the one before the first open
        QVERIFY(h.fake(d).inFlight);
    }
    QVERIFY(h->ServiceRunning());
    QVERIFY(h->service().queuePollActive());
    // The sends in flight end as if nothing had happened, and the third row follows.
    h.finish(0, true);
    h.finish(1, true);
    QCOMPARE(h.fake(0).sent.size() + h.fake(1).sent.size(), 3);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt(), 2);
    QCOMPARE(h->devices().row(0).sent, QStringLiteral("1/1"));
    QVERIFY(h.logged(QStringLiteral("配置已重新读取……")));
    QVERIFY(!h.logged(QStringLiteral("系统服务停止……")));
}

void TestDeviceLifecycle::reloadReopensOnlyAChangedPort()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    QVERIFY(tdb.insertPending(2));
    h.poll();
    const QString second = h.fake(1).sent.first().number;
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("Port"), QStringLiteral("1,5"));
    h->reload();
    h.settle();
    QCOMPARE(opens(h, 0), 1);
    QVERIFY(h.fake(0).inFlight);
    QCOMPARE(opens(h, 1), 2);
    QCOMPARE(h.fake(1).port, 5);
    QCOMPARE(h->devices().row(1).portText, QStringLiteral("Com5"));
    QCOMPARE(h->devices().row(1).status, QStringLiteral("空闲"));
    // The send the reopen cut off has no known outcome: named, left at 1.
    const QString sysNo = tdb.scalar(QStringLiteral("select SysNo from SMS where CellNumber='")
                                     + second + QLatin1Char('\''))
                                  .toString();
    QVERIFY(h.logged(QStringLiteral("重新读取配置时1条短信的发送结果未知，状态保持为1(SysNo=%1)")
                             .arg(sysNo)));
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=1")).toInt(), 2);
    h.finish(0, true);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt(), 1);
}

void TestDeviceLifecycle::reloadWithANewConnectionKeepsTheModems()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    QVERIFY(tdb.insertPending(3));
    h.poll();
    QCOMPARE(h->flow().queueLength(), 1);
    // The same file by another spelling, as a moved server or a new password would be.
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("ConSTR"),
                QStringLiteral("Data Source=") + tdb.file() + QStringLiteral(";Provider=SQLite"));
    h->reload();
    h.settle();
    QCOMPARE(opens(h, 0), 1);
    QCOMPARE(opens(h, 1), 1);
    QVERIFY(h.fake(0).inFlight && h.fake(1).inFlight);
    QCOMPARE(h.log().count(QStringLiteral("数据库连接成功……")), 2);
    // Rows loaded on the old connection are read again on the new one.
    QCOMPARE(h->flow().queueLength(), 0);
    h.finish(0, true);
    h.finish(1, true);
    QTRY_COMPARE_WITH_TIMEOUT(h.fake(0).sent.size() + h.fake(1).sent.size(), 3, Wait);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt(), 2);
}

void TestDeviceLifecycle::reloadWithMoreOrFewerDevices()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("Port"), QStringLiteral("1,2,3"));
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("Rate"),
                QStringLiteral("115200,115200,115200"));
    h->reload();
    h.settle();
    QCOMPARE(h->devices().rowCount(), 3);
    QCOMPARE(h->devices().row(2).status, QStringLiteral("空闲"));
    QCOMPARE(opens(h, 0), 1);
    QCOMPARE(opens(h, 2), 1);
    // The new device takes the row.
    QVERIFY(h->setDeviceInService(QStringLiteral("1"), false));
    QVERIFY(h->setDeviceInService(QStringLiteral("2"), false));
    QVERIFY(tdb.insertPending(1));
    h.poll();
    QVERIFY(h.fake(2).inFlight);
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("Port"), QStringLiteral("1"));
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("Rate"), QStringLiteral("115200"));
    h->reload();
    h.settle();
    QCOMPARE(h->devices().rowCount(), 1);
    QVERIFY(!h.fake(1).isOpen && !h.fake(2).isOpen);
    QVERIFY(h.fake(0).isOpen);
    QCOMPARE(opens(h, 0), 1);
    QVERIFY(h.logged(QStringLiteral("重新读取配置时1条短信的发送结果未知，状态保持为1(SysNo=1)")));
    // A late answer from a device no longer configured writes nothing.
    h.fake(2).finishSend(true);
    h.settle();
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS")).toInt(), 1);
}

QTEST_GUILESS_MAIN(TestDeviceLifecycle)
#include "tst_devicelifecycle.moc"
