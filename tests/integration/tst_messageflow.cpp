#include "gatewayharness.h"
#include "testdatabase.h"

#include "policy/policycolumns.h"

#include <QTest>

// The message path through the real gateway engine, with scriptable modem controls, against
// the embedded SQLite database and, where the environment names them, PostgreSQL and MariaDB.
class TestMessageFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void engines_data();
    void sendsPendingRowsThroughFreeDevices_data() { engines_data(); }
    void sendsPendingRowsThroughFreeDevices();
    void refusedMessageStaysAtTheEndOfTheQueue_data() { engines_data(); }
    void refusedMessageStaysAtTheEndOfTheQueue();
    void resultWithoutAJobChangesNothing_data() { engines_data(); }
    void resultWithoutAJobChangesNothing();
    void deviceLostMidSendKeepsTheRowHanded();
    void statusShowsTheQuotaOfEachDevice();
    void priorityScheduleAndExpiryColumns_data() { engines_data(); }
    void priorityScheduleAndExpiryColumns();
    void openFailureReasonIsLoggedOncePerChange();
    void receivedMessagesAreStoredAndForwarded_data();
    void receivedMessagesAreStoredAndForwarded();
    void sqlInMessagesIsStoredExactly_data() { engines_data(); }
    void sqlInMessagesIsStoredExactly();
    void nullNumberOrTextIsSentAsEmptyText_data() { engines_data(); }
    void nullNumberOrTextIsSentAsEmptyText();
    void rowsOutsideStatusZeroAndRowsThatVanish_data() { engines_data(); }
    void rowsOutsideStatusZeroAndRowsThatVanish();
    void stopAndStartDropTheQueueButNoRow_data() { engines_data(); }
    void stopAndStartDropTheQueueButNoRow();
    void hundredThousandPendingRows();
    void testMessagesAreQueuedRows_data() { engines_data(); }
    void testMessagesAreQueuedRows();
    void failedOpenShowsOneBoxAndDevicesStillConnect_data();
    void failedOpenShowsOneBoxAndDevicesStillConnect();
    void threeDevicesWithTheSecondPortMissing();
    void incomingCalls_data();
    void incomingCalls();
};

namespace {

QString dbName()
{
    return QStringLiteral("flow_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

const QString HandedOver = QStringLiteral("2026-12-06 04:47:10");
const QString Finished = QStringLiteral("2026-12-06 04:48:00");

} // namespace

void TestMessageFlow::engines_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestMessageFlow::sendsPendingRowsThroughFreeDevices()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("3,4,5"));
    h.start();
    QCOMPARE(h.log().mid(1, 2),
             QStringList({QStringLiteral("系统服务启动……"), QStringLiteral("数据库连接成功……")}));
    QVERIFY(h->service().queuePollActive());
    h->states().apply(2, DeviceEvent::HandedOver);
    QVERIFY(tdb.insertPending(3));

    h.poll();
    // Served from the end: device 0 takes R3, device 1 takes R2, R1 waits.
    QCOMPARE(h.fake(0).sent.size(), 1);
    QCOMPARE(h.fake(0).sent.first().number, QStringLiteral("13900003"));
    QCOMPARE(h.fake(0).sent.first().text, QStringLiteral("msg 3"));
    QCOMPARE(h.fake(1).sent.first().number, QStringLiteral("13900002"));
    QVERIFY(h.fake(2).sent.isEmpty());
    QCOMPARE(h->flow().queueLength(), 1);
    QCOMPARE(h->statusPanel(), QStringLiteral("内存剩余短信:1"));
    QCOMPARE(h->devices().row(0).status, QStringLiteral("正在发送"));
    QCOMPARE(h->pool().state(0), DeviceState::Busy);
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, Status, HandleTime from SMS order by SysNo")),
             QStringList({QStringLiteral("1|0|<null>"), QStringLiteral("2|1|") + HandedOver,
                          QStringLiteral("3|1|") + HandedOver}));

    // Success: 2 with the time of the result, counters, and the device takes R1 at once.
    h.clock.set(QDateTime::fromString(Finished, QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    h.finish(0, true);
    QVERIFY(h.logged(QStringLiteral("Com3口成功提交到GSM网络-13900003:msg 3")));
    QCOMPARE(h->devices().row(0).sent, QStringLiteral("1/1"));
    QCOMPARE(h.fake(0).sent.size(), 2);
    QCOMPARE(h.fake(0).sent.last().number, QStringLiteral("13900001"));
    QCOMPARE(h->pool().state(0), DeviceState::Busy);
    QCOMPARE(h->devices().row(0).status, QStringLiteral("正在发送"));
    QCOMPARE(h->flow().queueLength(), 0);

    // Failure: -1, the device leaves service and is opened again at once, not at the tick;
    // here its modem is gone for the moment.
    h.fake(1).openResult = 1;
    h.finish(1, false);
    QVERIFY(h.logged(QStringLiteral("Com4口提交到GSM网络失败-13900002:msg 2")));
    QCOMPARE(h->devices().row(1).sent, QStringLiteral("0/1"));
    QCOMPARE(h->pool().state(1), DeviceState::Offline);
    QTRY_COMPARE(h->devices().row(1).status, QStringLiteral("连接失败,等候再试"));
    h.finish(0, true);
    QCOMPARE(h->devices().row(0).sent, QStringLiteral("2/2"));
    QCOMPARE(h->devices().row(0).status, QStringLiteral("空闲"));
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, Status, HandleTime from SMS order by SysNo")),
             QStringList({QStringLiteral("1|2|") + Finished, QStringLiteral("2|-1|") + Finished,
                          QStringLiteral("3|2|") + Finished}));

    // A queue emptied by hand-overs is refilled at the next tick.
    QVERIFY(tdb.insertPending(1, QStringLiteral("1380000")));
    h.poll();
    QCOMPARE(h.fake(0).sent.last().number, QStringLiteral("13800001"));
    QCOMPARE(h.fake(1).sent.size(), 1);
    h.fake(1).openResult = 0;
    const int opens = int(h.fake(1).calls.count(QStringLiteral("OpenComm")));
    h.supervise();
    QCOMPARE(h.fake(1).calls.count(QStringLiteral("OpenComm")), opens + 1);
    QCOMPARE(h->devices().row(1).status, QStringLiteral("空闲"));
    QCOMPARE(h->pool().state(1), DeviceState::Free);
    QVERIFY(h.prompter.messages.isEmpty());
}

void TestMessageFlow::refusedMessageStaysAtTheEndOfTheQueue()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    QVERIFY(tdb.insertPending(2));
    h.fake(0).sendResult = 0;
    h.poll();
    // Device 0 refused R2; it stays last and goes to device 1 in the same tick.
    QVERIFY(h.fake(0).sent.isEmpty());
    QCOMPARE(h->pool().state(0), DeviceState::Free);
    QCOMPARE(h.fake(1).sent.first().number, QStringLiteral("13900002"));
    QCOMPARE(h->flow().queueLength(), 1);
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, Status from SMS order by SysNo")),
             QStringList({QStringLiteral("1|0"), QStringLiteral("2|1")}));
    // A refused device holds no job: a stray result writes nothing.
    h.finish(0, true);
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS where SysNo=1")).toInt(), 0);
    h.fake(0).sendResult = 1;
    h.poll();
    QCOMPARE(h.fake(0).sent.first().number, QStringLiteral("13900001"));
}

void TestMessageFlow::resultWithoutAJobChangesNothing()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("7"));
    h.start();
    QVERIFY(tdb.insertPending(1));
    h.finish(0, true);
    QVERIFY(h.logged(QStringLiteral("Com7口报告发送结果，但没有正在发送的短信，已忽略！")));
    QCOMPARE(h->devices().row(0).sent, QStringLiteral("0/0"));
    QCOMPARE(h->pool().state(0), DeviceState::Free);

    h.poll();
    h.finish(0, true);
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS")), QStringList(QStringLiteral("2")));
    // A second result for the same message must not turn the row into a failure.
    h.finish(0, false);
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS")), QStringList(QStringLiteral("2")));
    QCOMPARE(h->devices().row(0).sent, QStringLiteral("1/1"));
    QCOMPARE(h->pool().state(0), DeviceState::Free);
}

void TestMessageFlow::deviceLostMidSendKeepsTheRowHanded()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("7"));
    h.start();
    QVERIFY(tdb.insertPending(1));
    h.poll();
    Q_EMIT h.fake(0).DeviceLost();
    GatewayHarness::settle();
    QCOMPARE(h->pool().state(0), DeviceState::Offline);
    QCOMPARE(h->devices().row(0).status, QStringLiteral("连接失败,等候再试"));
    // Whether it went out is not known: neither the loss nor a stray result makes it a failure.
    h.finish(0, false);
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS")), QStringList(QStringLiteral("1")));

    h.supervise();
    QCOMPARE(h->pool().state(0), DeviceState::Free);
}

void TestMessageFlow::statusShowsTheQuotaOfEachDevice()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    QVERIFY(!h->status().devices.at(0).quota);
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("DayLimit"), QStringLiteral("1"));
    h.makeGateway();
    h.start();
    QVERIFY(tdb.insertPending(2));
    h.poll();
    h.finish(0, true);
    h.poll();
    // One part sent of one a day: the device rests until midnight, the other row waits.
    const std::optional<DeviceQuota> quota = h->status().devices.at(0).quota;
    QVERIFY(quota);
    QCOMPARE(quota->dayParts, 1);
    QCOMPARE(quota->dayLimit, 1);
    const QDateTime midnight(QDate(2026, 12, 7), QTime(0, 0));
    QCOMPARE(quota->restingUntil, midnight);
    QCOMPARE(quota->nextReset, midnight);
    QCOMPARE(h.fake(0).sent.size(), 1);
}

void TestMessageFlow::priorityScheduleAndExpiryColumns()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    const auto kind = engine == QLatin1String("postgresql") ? PolicyColumns::Engine::PostgreSQL
            : engine == QLatin1String("mysql")              ? PolicyColumns::Engine::MariaDB
                                                            : PolicyColumns::Engine::SQLite;
    for (const QString &add : PolicyColumns::addColumns(kind))
        QVERIFY(tdb.exec(add));
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.insertPending(4));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Priority=5 where SysNo=1")));
    QVERIFY(tdb.exec(
            QStringLiteral("update SMS set ValidUntil='2026-12-06 04:00:00' where SysNo=3")));
    QVERIFY(tdb.exec(
            QStringLiteral("update SMS set SendAfter='2026-12-06 05:00:00' where SysNo=4")));
    h.poll();
    // The oldest row goes first for its priority; the expired one is refused, the one not due
    // yet waits at 0 outside the queue.
    QCOMPARE(h.fake(0).sent.size(), 1);
    QCOMPARE(h.fake(0).sent.last().number, QStringLiteral("13900001"));
    QCOMPARE(h->flow().queueLength(), 1);
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, Status, Reason from SMS order by SysNo")),
             QStringList({QStringLiteral("1|1|<null>"), QStringLiteral("2|0|<null>"),
                          QStringLiteral("3|-1|expired"), QStringLiteral("4|0|<null>")}));
    // A row of a higher priority that comes while the queue is loaded goes next.
    QVERIFY(tdb.insertPending(1, QStringLiteral("1380000")));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Priority=9 where SysNo=5")));
    h.poll();
    h.finish(0, true);
    QCOMPARE(h.fake(0).sent.last().number, QStringLiteral("13800001"));
    h.finish(0, true);
    QCOMPARE(h.fake(0).sent.last().number, QStringLiteral("13900002"));
    // A failure keeps the modem's words.
    h.fake(0).sendFailure = QStringLiteral("+CMS ERROR: 21（短信被网络拒绝）");
    h.finish(0, false);
    QCOMPARE(tdb.rows(QStringLiteral("select Status, Reason from SMS where SysNo=2")),
             QStringList({QStringLiteral("-1|+CMS ERROR: 21（短信被网络拒绝）")}));
    h.supervise();
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 3);
    h.clock.set(QDateTime(QDate(2026, 12, 6), QTime(5, 0, 1)));
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 4);
    QCOMPARE(h.fake(0).sent.last().number, QStringLiteral("13900004"));
}

void TestMessageFlow::openFailureReasonIsLoggedOncePerChange()
{
    GatewayHarness h(QStringLiteral("Provider=SQLite; Data Source=/nonexistent"),
                     QStringLiteral("7"));
    h.fake(0).openResult = 4;
    h.fake(0).lastError = QStringLiteral("SIM asks for a PIN");
    h.start();
    h.supervise();
    h.fake(0).lastError = QStringLiteral("SIM missing");
    h.supervise();
    h.supervise();
    QCOMPARE(h.log().filter(QStringLiteral("Com7口打开失败：")),
             QStringList({QStringLiteral("Com7口打开失败：SIM asks for a PIN"),
                          QStringLiteral("Com7口打开失败：SIM missing")}));
}

void TestMessageFlow::receivedMessagesAreStoredAndForwarded_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("forward");
    for (const char *e : {"sqlite", "postgresql", "mysql"}) {
        QTest::addRow("%s, no forwarding", e) << e << "";
        QTest::addRow("%s, blanks only", e) << e << "   ";
        QTest::addRow("%s, forwarding", e) << e << "13800000000";
    }
}

void TestMessageFlow::receivedMessagesAreStoredAndForwarded()
{
    QFETCH(QString, engine);
    QFETCH(QString, forward);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("3,4"));
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("RMobile"), forward);
    h.start();

    h.fake(1).deliver(QStringLiteral("+8613912345678"), QStringLiteral("到了吗？"),
                      QStringLiteral("231206154530+32"));
    QVERIFY(h.logged(QStringLiteral("Com4口成功收到短信-+8613912345678:到了吗？")));
    QCOMPARE(h->devices().row(1).received, QStringLiteral("1"));
    QCOMPARE(h->devices().row(0).received, QStringLiteral("0"));
    QCOMPARE(tdb.rows(QStringLiteral("select cellnumber, smscontent, HandleTime from smsrecv")),
             QStringList(QStringLiteral("+8613912345678|到了吗？|2023-12-06 15:45:30")));
    const QStringList queued =
            tdb.rows(QStringLiteral("select CellNumber, SMSContent, Status from SMS"));
    if (forward.trimmed().isEmpty()) {
        QVERIFY(queued.isEmpty());
    } else {
        QCOMPARE(queued,
                 QStringList(forward
                             + QStringLiteral("|短信平台收到来自+8613912345678的短信:到了吗？|0")));
        h.poll();
        QCOMPARE(h.fake(0).sent.first().number, forward);
    }

    // A read that yields nothing: nothing logged, counted or stored; the panel is refreshed.
    const int lines = h->log().lineCount();
    h->setStatusPanel(QString());
    Q_EMIT h.fake(0).OnRecvMsg();
    QCOMPARE(h->log().lineCount(), lines);
    QCOMPARE(h->devices().row(0).received, QStringLiteral("0"));
    QCOMPARE(h->statusPanel(), QStringLiteral("内存剩余短信:0"));
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from smsrecv")).toInt(), 1);
}

void TestMessageFlow::sqlInMessagesIsStoredExactly()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("RMobile"), QStringLiteral("10086"));
    h.start();
    QVERIFY(tdb.insertPending(2));
    const QString attack = QStringLiteral("it's'); delete from SMS; --");
    const QString slashes = QStringLiteral("\\'); delete from SMS; -- \\");
    h.fake(0).deliver(attack, attack, QStringLiteral("231206154530"));
    h.fake(0).deliver(slashes, slashes, QStringLiteral("231206154531"));
    QCOMPARE(tdb.rows(QStringLiteral("select cellnumber, smscontent from smsrecv order by SysNo")),
             QStringList(
                     {attack + QLatin1Char('|') + attack, slashes + QLatin1Char('|') + slashes}));
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS")).toInt(), 4);
    QCOMPARE(tdb.rows(QStringLiteral("select SMSContent from SMS where SysNo>2 order by SysNo")),
             QStringList({QStringLiteral("短信平台收到来自") + attack + QStringLiteral("的短信:")
                                  + attack,
                          QStringLiteral("短信平台收到来自") + slashes + QStringLiteral("的短信:")
                                  + slashes}));
}

void TestMessageFlow::nullNumberOrTextIsSentAsEmptyText()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    QVERIFY(tdb.exec(
            QStringLiteral("insert into SMS(CellNumber, SMSContent) values('139', null)")));
    QVERIFY(tdb.exec(QStringLiteral("insert into SMS(CellNumber, SMSContent) values(null, 'x')")));
    h.poll();
    // A row without a number reaches no modem; one without a text goes as an empty text.
    QCOMPARE(h.fake(0).sent.size() + h.fake(1).sent.size(), 1);
    const int d = h.fake(0).sent.isEmpty() ? 1 : 0;
    QCOMPARE(h.fake(d).sent.first().number, QStringLiteral("139"));
    QCOMPARE(h.fake(d).sent.first().text, QString());
    QVERIFY(h.logged(QStringLiteral("短信(SysNo=2)未发送：号码“”不是电话号码")));
    h.finish(d, false);
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS order by SysNo")),
             QStringList({QStringLiteral("-1"), QStringLiteral("-1")}));
}

void TestMessageFlow::rowsOutsideStatusZeroAndRowsThatVanish()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.exec(QStringLiteral(
            "insert into SMS(CellNumber, SMSContent, Status) values('1391', 'one', 1)")));
    QVERIFY(tdb.exec(QStringLiteral(
            "insert into SMS(CellNumber, SMSContent, Status) values('1392', 'minus', -1)")));
    QVERIFY(tdb.insertPending(2));
    h.poll();
    QCOMPARE(h->flow().queueLength(), 1);
    // Deleted after it was loaded: still sent, its updates change no row and fail nothing.
    QVERIFY(tdb.exec(QStringLiteral("delete from SMS where SysNo=3")));
    h.finish(0, true);
    QCOMPARE(h.fake(0).sent.last().number, QStringLiteral("13900001"));
    h.finish(0, true);
    QVERIFY(!h.loggedStartingWith(QStringLiteral("更新短信状态失败")));
    QVERIFY(h->flow().store().spool().isEmpty());
    // A row set back to 0 by its application is sent again at a later load.
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Status=0 where SysNo=1")));
    h.poll();
    QCOMPARE(h.fake(0).sent.last().text, QStringLiteral("one"));
    QCOMPARE(h.fake(0).sent.size(), 3);
}

void TestMessageFlow::stopAndStartDropTheQueueButNoRow()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.insertPending(5));
    h.poll();
    QCOMPARE(h->flow().queueLength(), 4);
    h.stop();
    QCOMPARE(h->flow().queueLength(), 0);
    QVERIFY(!h->service().queuePollActive());
    QCOMPARE(h.log().last(), QStringLiteral("系统服务停止……"));
    QCOMPARE(h->devices().row(0).status, QStringLiteral("未连接"));
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS order by SysNo")),
             QStringList({QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                          QStringLiteral("0"), QStringLiteral("1")}));
    h.start();
    h.poll();
    QCOMPARE(h->flow().queueLength(), 3);
    QCOMPARE(h.fake(0).sent.last().number, QStringLiteral("13900004"));
    // The result of the message in flight at the stop finds no job after the restart.
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=1")).toInt(), 2);
}

void TestMessageFlow::hundredThousandPendingRows()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    QVERIFY(tdb.insertPending(100000));
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    h.poll();
    QCOMPARE(h->flow().queueLength(), 99999);
    QCOMPARE(h->statusPanel(), QStringLiteral("内存剩余短信:99999"));
    QCOMPARE(h.fake(0).sent.first().number, QStringLiteral("1390000100000"));
    QCOMPARE(h->flow().dispatch().sendQueue().at(1).SMSContent, QStringLiteral("msg 1"));
}

void TestMessageFlow::testMessagesAreQueuedRows()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    // Before any start there is no connection: refused and logged, nothing thrown.
    QVERIFY(!h->flow().queueTestMessage(QStringLiteral("139"), QStringLiteral("x")));
    QVERIFY(h.logged(QStringLiteral("测试短信入库失败：数据库未连接")));
    h.start();
    QVERIFY(h->flow().queueTestMessage(QStringLiteral(" 13800138000 "),
                                       QStringLiteral("it's a test")));
    QCOMPARE(tdb.rows(QStringLiteral("select CellNumber, SMSContent, Status from SMS")),
             QStringList(QStringLiteral(" 13800138000 |it's a test|0")));
    h.poll();
    QCOMPARE(h.fake(0).sent.first().number, QStringLiteral("13800138000"));
    QCOMPARE(h.fake(0).sent.first().text, QStringLiteral("it's a test"));
}

void TestMessageFlow::failedOpenShowsOneBoxAndDevicesStillConnect_data()
{
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("file missing") << "Provider=SQLite; Data Source=%1/DataBase/SMS.db; "
                                     "User Id=admin; Password="
                                  << "/DataBase/SMS.db";
    QTest::newRow("Jet") << "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=%1\\DataBase\\SMS.mdb; "
                            "User Id=admin; Password="
                         << "Provider=SQLite";
}

void TestMessageFlow::failedOpenShowsOneBoxAndDevicesStillConnect()
{
    QFETCH(QString, connectionString);
    QFETCH(QString, mentions);
    GatewayHarness h(QString(), QStringLiteral("1,2"));
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("ConSTR"),
                connectionString.arg(h.programDir()));
    h.start();
    QCOMPARE(h.prompter.messages.size(), 1);
    QVERIFY2(h.prompter.messages.first().contains(mentions),
             qPrintable(h.prompter.messages.first()));
    QCOMPARE(h.log().mid(1, 2),
             QStringList({QStringLiteral("系统服务启动……"), QStringLiteral("数据库连接失败……")}));
    QVERIFY(!h->service().queuePollActive());
    QVERIFY(h->service().supervisionActive());
    QCOMPARE(h->devices().row(0).status, QStringLiteral("空闲"));
    QCOMPARE(h->devices().row(1).status, QStringLiteral("空闲"));
    QVERIFY(!QFile::exists(h.programDir() + QStringLiteral("/DataBase/SMS.db")));
    // The supervision does not retry an open that failed at the start: no second box.
    h.supervise();
    QCOMPARE(h.prompter.messages.size(), 1);
}

void TestMessageFlow::threeDevicesWithTheSecondPortMissing()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3"));
    h.fake(1).openResult = 1;
    h.start();
    QStringList states;
    for (int d = 0; d < 3; ++d)
        states << h->devices().row(d).status;
    QCOMPARE(states,
             QStringList({QStringLiteral("空闲"), QStringLiteral("连接失败,等候再试"),
                          QStringLiteral("空闲")}));
    QCOMPARE(h.fake(0).port, 1);
    QCOMPARE(h.fake(0).rate, 115200);
    QCOMPARE(h.fake(1).calls.count(QStringLiteral("OpenComm")), 1);
    h.supervise();
    QCOMPARE(h.fake(1).calls.count(QStringLiteral("OpenComm")), 2);
    QCOMPARE(h.fake(0).calls.count(QStringLiteral("OpenComm")), 1);
}

void TestMessageFlow::incomingCalls_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("ringState");
    QTest::addColumn<bool>("ringValid");
    QTest::addColumn<bool>("numberKnown");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("calls");

    const QStringList rejected = {QStringLiteral("GetInfo(16)"),
                                  QStringLiteral("PhoneCallGetInCallNumber"),
                                  QStringLiteral("PauseSMS(1)"), QStringLiteral("PhoneCallHangup"),
                                  QStringLiteral("ResumeSMS")};
    QTest::newRow("ringing") << 0 << "1" << true << true
                             << QStringList({QStringLiteral("com0收到来电:13912345678"),
                                             QStringLiteral("com0来电被挂断")})
                             << rejected;
    QTest::newRow("ring state with blanks, device 1")
            << 1 << " 1 " << true << true
            << QStringList({QStringLiteral("com1收到来电:13912345678"),
                            QStringLiteral("com1来电被挂断")})
            << rejected;
    QTest::newRow("number unknown") << 0 << "1" << true << false
                                    << QStringList(QStringLiteral("com0来电被挂断")) << rejected;
    QTest::newRow("not ringing") << 0 << "0" << true << true << QStringList()
                                 << QStringList(QStringLiteral("GetInfo(16)"));
    QTest::newRow("ring state unknown") << 0 << "1" << false << true << QStringList()
                                        << QStringList(QStringLiteral("GetInfo(16)"));
}

void TestMessageFlow::incomingCalls()
{
    QFETCH(int, device);
    QFETCH(QString, ringState);
    QFETCH(bool, ringValid);
    QFETCH(bool, numberKnown);
    GatewayHarness h(QStringLiteral("Provider=SQLite; Data Source=/nonexistent"),
                     QStringLiteral("5,6"));
    h.start();
    FakeModemControl &f = h.fake(device);
    f.calls.clear();
    f.ringInfoValid = ringValid;
    f.callerKnown = numberKnown;
    f.ringState = ringState;
    f.callerNumber = QStringLiteral("13912345678");
    const int before = int(h.log().size());
    Q_EMIT f.PhoneCall();
    QTEST(h.log().mid(before), "lines");
    QTEST(f.calls, "calls");
    QCOMPARE(h->pool().state(device), DeviceState::Free);
}

QTEST_GUILESS_MAIN(TestMessageFlow)
#include "tst_messageflow.moc"
