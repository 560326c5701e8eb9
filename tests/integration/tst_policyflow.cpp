#include "gatewayharness.h"
#include "testdatabase.h"

#include "policy/policycolumns.h"

#include <QFile>
#include <QTest>

// The sending policy and the optional columns through the real gateway engine, with scriptable
// modem controls and the test's clock, on the embedded SQLite database and, where the
// environment names them, PostgreSQL and MariaDB.
class TestPolicyFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void engines_data();
    void policyKeepsPriorityScheduleAndExpiry_data() { engines_data(); }
    void policyKeepsPriorityScheduleAndExpiry();
    void sharedQueueLoadsByPriorityOnlyRowsThatAreDue_data() { engines_data(); }
    void sharedQueueLoadsByPriorityOnlyRowsThatAreDue();
    void refusedSendMovesToAnotherDevice_data();
    void refusedSendMovesToAnotherDevice();
    void refusalsOutlastAStopAndARestart();
    void aRestIsLoggedOnceAndEndsAtTheReset();
    void devicesFreedInOneTurnTakeRowsInThatTurn();
    void recipientGuardRefusesPastTheShareUntilTheWindowPasses();
    void timesInAnyFormAndNumbersThatAreNone_data();
    void timesInAnyFormAndNumbersThatAreNone();
    void recipientGuardHoldsWithinAPassAndAcrossARestart();
    void aRefusalAtStartWaitsForADeviceStillConnecting();
    void aDeletedWaitingRowLeavesNoRefusalBehind();
};

namespace {

QString dbName()
{
    return QStringLiteral("pflow_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

PolicyColumns::Engine engineKind(const QString &engine)
{
    return engine == QLatin1String("postgresql") ? PolicyColumns::Engine::PostgreSQL
            : engine == QLatin1String("mysql")   ? PolicyColumns::Engine::MariaDB
                                                 : PolicyColumns::Engine::SQLite;
}

} // namespace

void TestPolicyFlow::engines_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestPolicyFlow::policyKeepsPriorityScheduleAndExpiry()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    for (const QString &add : PolicyColumns::addColumns(engineKind(engine)))
        QVERIFY(tdb.exec(add));
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("DayLimit"), QStringLiteral("100"));
    h.makeGateway();
    h.start();
    // One device takes rows, so the order they leave in is the order they are handed in.
    h->states().apply(1, DeviceEvent::HandedOver);
    QVERIFY(tdb.insertPending(6));
    QVERIFY(tdb.exec(
            QStringLiteral("update SMS set SendAfter='2026-12-06 05:00:00' where SysNo=1")));
    QVERIFY(tdb.exec(
            QStringLiteral("update SMS set ValidUntil='2026-12-06 04:00:00' where SysNo=2")));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Priority=9 where SysNo=3")));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Priority=4 where SysNo=5")));
    QVERIFY(tdb.exec(
            QStringLiteral("update SMS set ValidUntil='2026-12-06 04:50:00' where SysNo=4")));
    const auto texts = [&h] {
        QStringList list;
        for (const auto &m : std::as_const(h.fake(0).sent))
            list << m.text;
        return list;
    };
    h.poll();
    QVERIFY(h.logged(QStringLiteral("短信(SysNo=2)未发送：已过有效期2026-12-06 04:00:00")));
    // Comes while the others are loaded, and goes next all the same.
    QVERIFY(tdb.insertPending(1, QStringLiteral("1380000"), QStringLiteral("urgent ")));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Priority=7 where SysNo=7")));
    h.poll();
    h.finish(0, true);
    h.finish(0, true);
    h.finish(0, true);
    // Equal priorities as without the policy: from the queue's end.
    QCOMPARE(texts(), QStringList({"msg 3", "urgent 1", "msg 5", "msg 6"}));
    // Past its time while it waits in the loaded queue: refused, not sent late.
    h.clock.set(QDateTime(QDate(2026, 12, 6), QTime(4, 51)));
    h.finish(0, true);
    h.poll();
    QCOMPARE(texts().size(), 4);
    QCOMPARE(h->flow().queueLength(), 0);
    h.clock.set(QDateTime(QDate(2026, 12, 6), QTime(5, 0, 1)));
    h.poll();
    QCOMPARE(texts().last(), QStringLiteral("msg 1"));
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, Status, Reason from SMS order by SysNo")),
             QStringList({QStringLiteral("1|1|<null>"), QStringLiteral("2|-1|expired"),
                          QStringLiteral("3|2|<null>"), QStringLiteral("4|-1|expired"),
                          QStringLiteral("5|2|<null>"), QStringLiteral("6|2|<null>"),
                          QStringLiteral("7|2|<null>")}));
    // The five handed over count against the device's day, the expired ones not.
    QCOMPARE(h->status().devices.at(0).quota->dayParts, 5);
}

void TestPolicyFlow::sharedQueueLoadsByPriorityOnlyRowsThatAreDue()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    for (const QString &add : PolicyColumns::addColumns(engineKind(engine)))
        QVERIFY(tdb.exec(add));
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("GatewayName"), QStringLiteral("east"));
    h.makeGateway();
    h.start();
    // More rows than one load of a shared queue takes (64 for one device): the oldest 60 are
    // not due, two near the end come first.
    QVERIFY(tdb.insertPending(200));
    QVERIFY(tdb.exec(
            QStringLiteral("update SMS set SendAfter='2026-12-06 05:00:00' where SysNo<=60")));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Priority=5 where SysNo=190")));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Priority=9 where SysNo=199")));
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 1);
    QCOMPARE(h.fake(0).sent.last().text, QStringLiteral("msg 199"));
    h.finish(0, true);
    QCOMPARE(h.fake(0).sent.last().text, QStringLiteral("msg 190"));
    h.finish(0, true);
    QCOMPARE(h.fake(0).sent.size(), 3);
    QVERIFY(h.fake(0).sent.last().text.mid(4).toInt() > 60);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where SysNo<=60 and Status<>0"))
                     .toInt(),
             0);
    QCOMPARE(tdb.rows(QStringLiteral("select Gateway from SMS where SysNo=199")),
             QStringList(QStringLiteral("east")));
}

void TestPolicyFlow::refusedSendMovesToAnotherDevice_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("whole");
    QTest::addColumn<bool>("retried");
    QTest::newRow("refused for certain") << "21"
                                         << "msg 1"
                                         << "" << true;
    // No code: a time-out or a lost port, the message may be on the air.
    QTest::newRow("outcome unknown") << ""
                                     << "msg 1"
                                     << "" << false;
    // The first part went out before the second was refused.
    QTest::newRow("later part of a long text")
            << "21" << QString(200, QLatin1Char('x')) << "0" << false;
    // A control that cannot say which part was refused.
    QTest::newRow("long text, part unknown")
            << "21" << QString(200, QLatin1Char('x')) << "" << false;
    // Nothing of it on the air: another modem may send all of it.
    QTest::newRow("first part of a long text")
            << "21" << QString(200, QLatin1Char('x')) << "1" << true;
}

void TestPolicyFlow::refusedSendMovesToAnotherDevice()
{
    QFETCH(QString, refusal);
    QFETCH(QString, text);
    QFETCH(QString, whole);
    QFETCH(bool, retried);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("Attempts"), QStringLiteral("2"));
    h.makeGateway();
    h.start();
    QVERIFY(tdb.insertPending(1));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set SMSContent='%1'").arg(text)));
    h.poll();
    const auto carriers = [&h] {
        QList<int> list;
        for (int d = 0; d < 3; ++d)
            list += QList<int>(h.fake(d).sent.size(), d);
        return list;
    };
    QCOMPARE(carriers().size(), 1);
    const int first = carriers().first();
    h.fake(first).sendRefusal = refusal;
    h.fake(first).refusedWhole = whole;
    h.finish(first, false);
    const QString status = QStringLiteral("select Status from SMS");
    if (!retried) {
        QCOMPARE(carriers(), QList<int>({first}));
        QCOMPARE(tdb.scalar(status).toInt(), -1);
        return;
    }
    QVERIFY(h.loggedStartingWith(
            QStringLiteral("Com%1口拒绝发送，改由其他短信猫重试-").arg(first + 1)));
    QCOMPARE(carriers().size(), 2);
    const int second = carriers().last();
    QVERIFY(second != first);
    QCOMPARE(tdb.scalar(status).toInt(), 1);
    // Two attempts spent: the second refusal is final, the third device never sees the row.
    h.fake(second).sendRefusal = refusal;
    h.fake(second).refusedWhole = whole;
    h.finish(second, false);
    QCOMPARE(carriers().size(), 2);
    QCOMPARE(tdb.scalar(status).toInt(), -1);
}

void TestPolicyFlow::refusalsOutlastAStopAndARestart()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("Attempts"), QStringLiteral("3"));
    h.makeGateway();
    const auto othersBusy = [&h] {
        h->states().apply(1, DeviceEvent::HandedOver);
        h->states().apply(2, DeviceEvent::HandedOver);
    };
    h.start();
    othersBusy();
    QVERIFY(tdb.insertPending(1));
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 1);
    h.fake(0).sendRefusal = QStringLiteral("21");
    h.finish(0, false);
    // Waiting for another device, pending in the table.
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS")).toInt(), 0);

    // A stop drops the loaded queue; the row is read again and still kept from Com1.
    h.stop();
    h.start();
    othersBusy();
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 1);
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS")).toInt(), 0);

    // As after a crash: a new engine on the same program folder.
    h.makeGateway();
    h.start();
    othersBusy();
    h.poll();
    QVERIFY(h.fake(0).sent.isEmpty());
    h->states().apply(1, DeviceEvent::Sent);
    h.poll();
    QCOMPARE(h.fake(1).sent.size(), 1);
    // A second refusal leaves one attempt, through Com3 alone.
    h.fake(1).sendRefusal = QStringLiteral("21");
    h.finish(1, false);
    h.makeGateway();
    h.start();
    h.poll();
    QVERIFY(h.fake(0).sent.isEmpty());
    QVERIFY(h.fake(1).sent.isEmpty());
    QCOMPARE(h.fake(2).sent.size(), 1);
    h.finish(2, true);
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS")).toInt(), 2);
    // A row that ended is no longer kept.
    QFile kept(h.programDir() + QStringLiteral("/Refusals.log"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray());
}

void TestPolicyFlow::aRestIsLoggedOnceAndEndsAtTheReset()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("DayLimit"), QStringLiteral("1"));
    h.makeGateway();
    h.start();
    QVERIFY(tdb.insertPending(2));
    h.poll();
    h.finish(0, true);
    h.poll();
    h.poll();
    const QString rest =
            QStringLiteral("Com1口达到每日1条的上限，暂停发送，2026-12-07 00:00:00恢复");
    QCOMPARE(h.log().count(rest), 1);
    QCOMPARE(h.fake(0).sent.size(), 1);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=0")).toInt(), 1);
    h.clock.set(QDateTime(QDate(2026, 12, 7), QTime(0, 0, 1)));
    h.poll();
    QVERIFY(h.logged(QStringLiteral("Com1口发送限额已重置，恢复发送")));
    QCOMPARE(h.fake(0).sent.size(), 2);
    QCOMPARE(h.log().count(rest), 1);
}

void TestPolicyFlow::devicesFreedInOneTurnTakeRowsInThatTurn()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("DayLimit"), QStringLiteral("100"));
    h.makeGateway();
    h.start();
    QVERIFY(tdb.insertPending(6));
    h.poll();
    QCOMPARE(h->flow().queueLength(), 3);
    // Two results in one turn: the pass made as the turn's writes begin serves both devices,
    // with no poll in between, and each row it hands out is at 1 in the table.
    h.fake(0).finishSend(true);
    h.fake(2).finishSend(true);
    GatewayHarness::settle();
    QCOMPARE(h.fake(0).sent.size(), 2);
    QCOMPARE(h.fake(1).sent.size(), 1);
    QCOMPARE(h.fake(2).sent.size(), 2);
    QVERIFY(h.fake(0).sent.last().text != h.fake(2).sent.last().text);
    QCOMPARE(h->flow().queueLength(), 1);
    QCOMPARE(tdb.rows(QStringLiteral("select Status, count(*) from SMS group by Status")),
             QStringList({QStringLiteral("0|1"), QStringLiteral("1|3"), QStringLiteral("2|2")}));
}

void TestPolicyFlow::recipientGuardRefusesPastTheShareUntilTheWindowPasses()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    for (const QString &add : PolicyColumns::addColumns(PolicyColumns::Engine::SQLite))
        QVERIFY(tdb.exec(add));
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("RecipientLimit"), QStringLiteral("2"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("RecipientWindow"), QStringLiteral("60"));
    h.makeGateway();
    h.start();
    QVERIFY(tdb.insertPending(3));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set CellNumber='13900000001'")));
    h.poll();
    h.finish(0, true);
    h.finish(0, true);
    QCOMPARE(h.fake(0).sent.size(), 2);
    QVERIFY(h.logged(
            QStringLiteral("短信(SysNo=1)未发送：60分钟内发往13900000001的短信已达2条上限")));
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, Status, Reason from SMS order by SysNo")),
             QStringList({QStringLiteral("1|-1|rate limited"), QStringLiteral("2|2|<null>"),
                          QStringLiteral("3|2|<null>")}));
    // Once the window has passed the number may be sent to again.
    h.clock.advance(61 * 60);
    QVERIFY(tdb.insertPending(1, QStringLiteral("1390000000")));
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 3);
    QCOMPARE(h.fake(0).sent.last().number, QStringLiteral("13900000001"));
}

void TestPolicyFlow::timesInAnyFormAndNumbersThatAreNone_data()
{
    QTest::addColumn<bool>("shared");
    QTest::newRow("own queue") << false;
    QTest::newRow("shared queue") << true;
}

void TestPolicyFlow::timesInAnyFormAndNumbersThatAreNone()
{
    QFETCH(bool, shared);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    for (const QString &add : PolicyColumns::addColumns(PolicyColumns::Engine::SQLite))
        QVERIFY(tdb.exec(add));
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3"));
    if (shared)
        h.setConfig(QStringLiteral("DBCon"), QStringLiteral("GatewayName"), QStringLiteral("east"));
    h.makeGateway();
    h.start();
    QVERIFY(tdb.insertPending(6));
    // The harness's time is 2026-12-06 04:47:10 local; the offsets put these times before or
    // after it whatever the machine's zone.
    const QStringList updates{
            QStringLiteral("ValidUntil='2026-12-05T04:00:00+14:00' where SysNo=1"),
            QStringLiteral("SendAfter='2026-12-07' where SysNo=2"),
            QStringLiteral("ValidUntil='soon' where SysNo=3"),
            QStringLiteral("CellNumber='139''); dele' where SysNo=4"),
            QStringLiteral("SendAfter='2026-12-04T20:00:00.5Z', "
                           "ValidUntil='2026-12-08T04:00:00-12:00' where SysNo=5"),
            QStringLiteral("CellNumber='+86 139-0000.0006' where SysNo=6")};
    for (const QString &update : updates)
        QVERIFY(tdb.exec(QStringLiteral("update SMS set ") + update));
    h.poll();
    QStringList numbers;
    for (int d = 0; d < 3; ++d) {
        for (const auto &m : std::as_const(h.fake(d).sent))
            numbers << m.number;
    }
    numbers.sort();
    QCOMPARE(numbers, QStringList({QStringLiteral("+8613900000006"),
                                   QStringLiteral("13900005")}));
    QVERIFY(h.logged(QStringLiteral("短信(SysNo=3)未发送：时间ValidUntil=soon无法识别")));
    QVERIFY(h.logged(QStringLiteral("短信(SysNo=4)未发送：号码“139'); dele”不是电话号码")));
    QVERIFY(h.loggedStartingWith(QStringLiteral("短信(SysNo=1)未发送：已过有效期")));
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, Status, Reason from SMS where SysNo<=4 "
                                     "order by SysNo")),
             QStringList({QStringLiteral("1|-1|expired"), QStringLiteral("2|0|<null>"),
                          QStringLiteral("3|-1|invalid time"),
                          QStringLiteral("4|-1|invalid number")}));
    // The bare date is its midnight.
    h.clock.set(QDateTime(QDate(2026, 12, 7), QTime(0, 0, 1)));
    h.poll();
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS where SysNo=2")).toInt(), 1);
}

void TestPolicyFlow::recipientGuardHoldsWithinAPassAndAcrossARestart()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    for (const QString &add : PolicyColumns::addColumns(PolicyColumns::Engine::SQLite))
        QVERIFY(tdb.exec(add));
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3,4"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("RecipientLimit"), QStringLiteral("1"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("RecipientWindow"), QStringLiteral("60"));
    h.makeGateway();
    h.start();
    QVERIFY(tdb.insertPending(4));
    QVERIFY(tdb.exec(QStringLiteral("update SMS set CellNumber='13900000001'")));
    h.poll();
    const auto sent = [&h] {
        int n = 0;
        for (int d = 0; d < 4; ++d)
            n += int(h.fake(d).sent.size());
        return n;
    };
    // Four free modems, one message: the others are refused in the same pass.
    QCOMPARE(sent(), 1);
    QCOMPARE(tdb.rows(QStringLiteral("select Status, Reason, count(*) from SMS group by Status, "
                                     "Reason order by Status")),
             QStringList({QStringLiteral("-1|rate limited|3"), QStringLiteral("1|<null>|1")}));
    // As after a crash: the count of the number comes back from the journal.
    h.makeGateway();
    h.start();
    QVERIFY(tdb.insertPending(1, QStringLiteral("1390000000")));
    h.poll();
    QCOMPARE(sent(), 0);
    QCOMPARE(tdb.scalar(QStringLiteral("select Reason from SMS where SysNo=5")).toString(),
             QStringLiteral("rate limited"));
}

void TestPolicyFlow::aRefusalAtStartWaitsForADeviceStillConnecting()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("Attempts"), QStringLiteral("2"));
    h.makeGateway();
    h.start();
    // Com2 has not connected yet.
    h->states().apply(1, DeviceEvent::Opening);
    QVERIFY(tdb.insertPending(1));
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 1);
    h.fake(0).sendRefusal = QStringLiteral("21");
    h.finish(0, false);
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS")).toInt(), 0);
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 1);
    h->states().apply(1, DeviceEvent::Opened);
    h.poll();
    QCOMPARE(h.fake(1).sent.size(), 1);
    h.finish(1, true);
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS")).toInt(), 2);
}

void TestPolicyFlow::aDeletedWaitingRowLeavesNoRefusalBehind()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.setConfig(QStringLiteral("Policy"), QStringLiteral("Attempts"), QStringLiteral("2"));
    h.makeGateway();
    h.start();
    h->states().apply(1, DeviceEvent::HandedOver);
    QVERIFY(tdb.insertPending(2));
    h.poll();
    h.fake(0).sendRefusal = QStringLiteral("21");
    h.finish(0, false);
    QFile kept(h.programDir() + QStringLiteral("/Refusals.log"));
    const auto keptRows = [&kept] {
        kept.close();
        return kept.open(QIODevice::ReadOnly) ? kept.readAll().count('\n') : -1;
    };
    QCOMPARE(keptRows(), 1);
    // The application gives up on both rows; the next load finds them gone.
    QVERIFY(tdb.exec(QStringLiteral("delete from SMS")));
    h.stop();
    h.start();
    h.poll();
    QCOMPARE(keptRows(), 0);
}

QTEST_GUILESS_MAIN(TestPolicyFlow)
#include "tst_policyflow.moc"
