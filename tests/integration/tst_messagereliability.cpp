#include "gatewayharness.h"
#include "testdatabase.h"

#include "messaging/spool.h"
#include "storage/statements.h"

#include <QFile>
#include <QSet>
#include <QTest>

// What the gateway does when the database does not take a statement: received messages go to
// the local spool and are stored later, also after a restart of the gateway; a row whose
// status write is still spooled is never loaded and sent again; a lost connection comes back
// at the next tick without anyone being asked.
class TestMessageReliability : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void engines_data();
    void refusedReceivedMessageIsSpooledThenStored_data() { engines_data(); }
    void refusedReceivedMessageIsSpooledThenStored();
    void refusedStatusWriteNeverSendsARowTwice_data() { engines_data(); }
    void refusedStatusWriteNeverSendsARowTwice();
    void spoolOutlivesTheGateway();
    void messageWhoseCommitWasCutOffIsStoredOnce();
    void repeatedReplyCutOffByAKillIsStored();
    void oneRefusedWriteLeavesTheRestOfItsBatch_data() { engines_data(); }
    void oneRefusedWriteLeavesTheRestOfItsBatch();
    void lostConnectionComesBackAtTheNextTick_data();
    void lostConnectionComesBackAtTheNextTick();
    void burstOfIncomingMessages_data() { engines_data(); }
    void burstOfIncomingMessages();
    void modemVanishesMidSend();
    void contentRefusedForGoodGoesToQuarantine();
};

namespace {

QString dbName()
{
    return QStringLiteral("rel_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

int count(TestDatabase &tdb, const QString &sql)
{
    return tdb.scalar(sql).toInt();
}

} // namespace

void TestMessageReliability::engines_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestMessageReliability::refusedReceivedMessageIsSpooledThenStored()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("RMobile"), QStringLiteral("10086"));
    h.start();
    QVERIFY(tdb.exec(QStringLiteral("alter table smsrecv rename to smsrecv_off")));

    h.fake(0).deliver(QStringLiteral("139"), QStringLiteral("first"),
                      QStringLiteral("231206154530"));
    h.fake(0).deliver(QStringLiteral("139"), QStringLiteral("second"),
                      QStringLiteral("231206154531"));
    QVERIFY(h.loggedStartingWith(QStringLiteral("保存收到的短信失败：")));
    QVERIFY(h.logged(QStringLiteral("短信暂存本地，待数据库可用时保存……")));
    QCOMPARE(h->flow().store().spool().size(), 2);
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from SMS")), 0);
    QVERIFY(h->flow().db().isOpen());

    // The poll does not hammer a database that refused; the supervision tries again.
    h.poll();
    QCOMPARE(h->flow().store().spool().size(), 2);
    QVERIFY(tdb.exec(QStringLiteral("alter table smsrecv_off rename to smsrecv")));
    h.supervise();
    QVERIFY(h->flow().store().spool().isEmpty());
    QVERIFY(h.logged(QStringLiteral("已将本地暂存的2条短信存入数据库……")));
    QCOMPARE(tdb.rows(QStringLiteral("select smscontent, HandleTime from smsrecv order by SysNo")),
             QStringList({QStringLiteral("first|2023-12-06 15:45:30"),
                          QStringLiteral("second|2023-12-06 15:45:31")}));
    QCOMPARE(tdb.rows(QStringLiteral("select SMSContent from SMS order by SysNo")),
             QStringList({QStringLiteral("短信平台收到来自139的短信:first"),
                          QStringLiteral("短信平台收到来自139的短信:second")}));

    // The forwarding row alone refused: the smsrecv row is not made a second time.
    QVERIFY(tdb.exec(QStringLiteral("alter table SMS rename to sms_off")));
    h.fake(0).deliver(QStringLiteral("139"), QStringLiteral("third"),
                      QStringLiteral("231206154532"));
    QVERIFY(h.loggedStartingWith(QStringLiteral("转发短信入库失败：")));
    QCOMPARE(h->flow().store().spool().size(), 1);
    QVERIFY(h->flow().store().spool().entries().first().stored);
    QVERIFY(tdb.exec(QStringLiteral("alter table sms_off rename to SMS")));
    h.supervise();
    QVERIFY(h->flow().store().spool().isEmpty());
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from smsrecv")), 3);
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from SMS")), 3);
    QVERIFY(h.prompter.messages.isEmpty());
}

void TestMessageReliability::refusedStatusWriteNeverSendsARowTwice()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.insertPending(2));
    // Updates now fail while reads still work.
    QVERIFY(tdb.exec(QStringLiteral("alter table SMS rename column HandleTime to HT")));

    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 1);
    QVERIFY(h.loggedStartingWith(QStringLiteral("更新短信状态失败(SysNo=2)：")));
    h.finish(0, true);
    QCOMPARE(h.fake(0).sent.size(), 2);
    h.finish(0, true);
    // Both rows still read 0 in the database, but the writes wait in the spool: one per row.
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from SMS where Status=0")), 2);
    QCOMPARE(h->flow().store().spool().size(), 2);
    h.poll();
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 2);
    QCOMPARE(h->flow().queueLength(), 0);

    // The gateway restarts before the database is mended; the spool is on disk.
    h.makeGateway();
    QVERIFY(tdb.exec(QStringLiteral("alter table SMS rename column HT to HandleTime")));
    h.start();
    QVERIFY(h.logged(QStringLiteral("已补写2条短信的发送状态……")));
    QVERIFY(h->flow().store().spool().isEmpty());
    QCOMPARE(tdb.rows(QStringLiteral("select Status, HandleTime from SMS order by SysNo")),
             QStringList({QStringLiteral("2|2026-12-06 04:47:10"),
                          QStringLiteral("2|2026-12-06 04:47:10")}));
    h.poll();
    QVERIFY(h.fake(0).sent.isEmpty());
}

void TestMessageReliability::spoolOutlivesTheGateway()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(QStringLiteral("Provider=SQLite; Data Source=/nonexistent/SMS.db"),
                     QStringLiteral("1,2"));
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("RMobile"), QStringLiteral("10086"));
    h.start();
    QVERIFY(h.logged(QStringLiteral("数据库连接失败……")));
    for (int i = 0; i < 5; ++i)
        h.fake(i % 2).deliver(QStringLiteral("1390000%1").arg(i), QStringLiteral("m%1").arg(i),
                              QStringLiteral("23120615453%1").arg(i));
    QCOMPARE(h->flow().store().spool().size(), 5);
    QCOMPARE(h->devices().row(0).received, QStringLiteral("3"));

    // Killed and started again, now with the database in place.
    h.makeGateway();
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("ConSTR"), tdb.connectionString());
    h.start();
    QVERIFY(h.logged(QStringLiteral("已将本地暂存的5条短信存入数据库……")));
    QCOMPARE(tdb.rows(QStringLiteral("select cellnumber, smscontent, HandleTime from smsrecv "
                                     "order by SysNo")),
             QStringList({QStringLiteral("13900000|m0|2023-12-06 15:45:30"),
                          QStringLiteral("13900001|m1|2023-12-06 15:45:31"),
                          QStringLiteral("13900002|m2|2023-12-06 15:45:32"),
                          QStringLiteral("13900003|m3|2023-12-06 15:45:33"),
                          QStringLiteral("13900004|m4|2023-12-06 15:45:34")}));
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from SMS where CellNumber='10086'")), 5);
    QVERIFY(h->flow().store().spool().isEmpty());
    QVERIFY(QDir(MessageFlow::spoolFolder(h.programDir())).entryList(QDir::Files).isEmpty());
}

// A server that answered only after the gateway gave up on a commit may or may not have kept
// it; the spooled message is stored only when it is not there.
void TestMessageReliability::messageWhoseCommitWasCutOffIsStoredOnce()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    Spool spool(MessageFlow::spoolFolder(h.programDir()));
    QString error;
    for (const char *text : {"kept", "rolled back"}) {
        SpoolEntry e;
        e.sender = QStringLiteral("13900000");
        e.text = QString::fromLatin1(text);
        e.timeStamp = QStringLiteral("231206154530+32");
        e.forwardNumber = QStringLiteral("10086");
        e.inDoubt = true;
        QVERIFY2(spool.add(e, &error), qPrintable(error));
    }
    // The message is known by the time its row was given too: an earlier "kept" from the same
    // sender does not pass for it, the row the cut-off commit made does.
    QVERIFY(tdb.exec(QStringLiteral("insert into smsrecv(cellnumber,smscontent,HandleTime) "
                                    "values('13900000','rolled back','2023-12-01 09:00:00')")));
    QVERIFY(tdb.exec(QStringLiteral("insert into smsrecv(cellnumber,smscontent,HandleTime) "
                                    "values('13900000','kept','2023-12-06 15:45:30')")));
    QVERIFY(tdb.exec(Statements(nullptr).literal(Statements::insertForward(
            QStringLiteral("10086"), QStringLiteral("13900000"), QStringLiteral("kept")))));

    h.makeGateway();
    h.start();
    QCOMPARE(tdb.rows(QStringLiteral("select smscontent from smsrecv order by SysNo")),
             QStringList({QStringLiteral("rolled back"), QStringLiteral("kept"),
                          QStringLiteral("rolled back")}));
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from SMS where CellNumber='10086'")), 2);
    QVERIFY(h->flow().store().spool().isEmpty());
}

// A kill between a message's journal mark and its commit: when it is read again, an earlier
// identical reply from the same sender must not pass for it.
void TestMessageReliability::repeatedReplyCutOffByAKillIsStored()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    QVERIFY(tdb.exec(QStringLiteral("insert into smsrecv(cellnumber,smscontent,HandleTime) "
                                    "values('13900000','OK','2023-12-05 09:00:00')")));
    QFile journal(h.programDir() + QStringLiteral("/received.journal"));
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write("?SM 3 again\t2023-12-06 15:45:30\n");
    journal.close();

    h.makeGateway();
    h.start();
    h.fake(0).inbox.append({QStringLiteral("+8613800100500"), QStringLiteral("13900000"),
                            QStringLiteral("OK"), QStringLiteral("231206154530+32"),
                            QStringLiteral("SM 3 again")});
    Q_EMIT h.fake(0).OnRecvMsg();
    QCOMPARE(tdb.rows(QStringLiteral("select smscontent, HandleTime from smsrecv order by SysNo")),
             QStringList({QStringLiteral("OK|2023-12-05 09:00:00"),
                          QStringLiteral("OK|2023-12-06 15:45:30")}));
}

void TestMessageReliability::oneRefusedWriteLeavesTheRestOfItsBatch()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3"));
    h.start();
    QVERIFY(tdb.insertPending(3));
    const bool sqlite = engine == QLatin1String("sqlite");
    QVERIFY(tdb.exec(sqlite ? QStringLiteral("create trigger locked before update on SMS when "
                                             "old.SysNo=2 begin select raise(abort, 'row 2 is "
                                             "locked'); end")
                            : QStringLiteral("alter table SMS add constraint locked "
                                             "check (CellNumber <> '13900002' or Status = 0)")));
    // Three hand-overs in one tick: their writes share one transaction, which row 2 spoils.
    h.poll();
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS order by SysNo")),
             QStringList({QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1")}));
    const QStringList log = h.log();
    QVERIFY(std::any_of(log.cbegin(), log.cend(), [](const QString &line) {
        return line.startsWith(QStringLiteral("更新短信状态失败(SysNo=2)："))
                && line.contains(QStringLiteral("locked"));
    }));
    QVERIFY(!h.loggedStartingWith(QStringLiteral("数据库连接中断")));
    QVERIFY(h->flow().db().isOpen());
    QCOMPARE(h->flow().store().spool().size(), 1);
    for (int d = 0; d < 3; ++d)
        h.fake(d).finishSend(true);
    h.settle();
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS order by SysNo")),
             QStringList({QStringLiteral("2"), QStringLiteral("0"), QStringLiteral("2")}));
    QVERIFY(tdb.exec(sqlite ? QStringLiteral("drop trigger locked")
                             : engine == QLatin1String("mysql")
                             ? QStringLiteral("alter table SMS drop constraint locked")
                             : QStringLiteral("alter table SMS drop constraint locked")));
    h.supervise();
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS order by SysNo")),
             QStringList({QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("2")}));
    int sent = 0;
    for (int d = 0; d < 3; ++d)
        sent += int(h.fake(d).sent.size());
    QCOMPARE(sent, 3);
}

void TestMessageReliability::lostConnectionComesBackAtTheNextTick_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestMessageReliability::lostConnectionComesBackAtTheNextTick()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.insertPending(3));
    h.poll();
    QString error;
    QVERIFY2(tdb.dropOtherSessions(&error), qPrintable(error));

    h.finish(0, true); // status 2 of row 3 and status 1 of row 2 meet a dead link
    h.fake(0).deliver(QStringLiteral("139"), QStringLiteral("while down"),
                      QStringLiteral("231206154530"));
    QVERIFY(h.loggedStartingWith(QStringLiteral("数据库连接中断：")));
    QVERIFY(h->flow().db().isLost());
    QCOMPARE(h.fake(0).sent.size(), 2);

    h.poll();
    QVERIFY(h.logged(QStringLiteral("数据库重新连接成功……")));
    QVERIFY(h.logged(QStringLiteral("已补写2条短信的发送状态……")));
    QVERIFY(h.logged(QStringLiteral("已将本地暂存的1条短信存入数据库……")));
    QVERIFY(h->flow().store().spool().isEmpty());
    h.finish(0, true);
    h.finish(0, true);
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 3);
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS order by SysNo")),
             QStringList({QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("2")}));
    QCOMPARE(tdb.rows(QStringLiteral("select smscontent from smsrecv")),
             QStringList(QStringLiteral("while down")));
    QVERIFY(h.prompter.messages.isEmpty());
}

void TestMessageReliability::burstOfIncomingMessages()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3,4,5,6,7,8"));
    h.start();
    for (int i = 0; i < 1000; ++i)
        h.fake(i % 8).inbox.append(
                {QString(), QStringLiteral("138%1").arg(i, 8, 10, QLatin1Char('0')),
                 QStringLiteral("burst %1").arg(i), QStringLiteral("231206154530+32")});
    for (int i = 0; i < 1000; ++i)
        Q_EMIT h.fake(i % 8).OnRecvMsg();
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from smsrecv")), 1000);
    QCOMPARE(count(tdb, QStringLiteral("select count(distinct smscontent) from smsrecv")), 1000);
    QCOMPARE(h->devices().row(7).received, QStringLiteral("125"));
    QVERIFY(h->flow().store().spool().isEmpty());
}

void TestMessageReliability::modemVanishesMidSend()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.insertPending(2));
    h.poll();
    // The port went away: the control reports the send failed and cannot open again yet.
    h.fake(0).openResult = 1;
    h.finish(0, false);
    QCOMPARE(count(tdb, QStringLiteral("select Status from SMS where SysNo=2")), -1);
    QCOMPARE(h->pool().state(0), DeviceState::Offline);
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 1);
    h.supervise();
    QCOMPARE(h->devices().row(0).status, QStringLiteral("连接失败,等候再试"));
    h.fake(0).openResult = 0;
    h.supervise();
    QCOMPARE(h->devices().row(0).status, QStringLiteral("空闲"));
    h.poll();
    QCOMPARE(h.fake(0).sent.size(), 2);
    QCOMPARE(h.fake(0).sent.last().text, QStringLiteral("msg 1"));
}

void TestMessageReliability::contentRefusedForGoodGoesToQuarantine()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.exec(QStringLiteral("create trigger poison before insert on smsrecv when "
                                    "new.smscontent like 'poison%' begin "
                                    "select raise(abort, 'no poison'); end")));
    // Spooled while the table is away, refused for its content once it is back.
    QVERIFY(tdb.exec(QStringLiteral("alter table smsrecv rename to smsrecv_off")));
    h.fake(0).deliver(QStringLiteral("139"), QStringLiteral("poison 1"),
                      QStringLiteral("231206154530"));
    QCOMPARE(h->flow().store().spool().size(), 1);
    QVERIFY(tdb.exec(QStringLiteral("alter table smsrecv_off rename to smsrecv")));
    h.supervise();
    // Refused at once.
    h.fake(0).deliver(QStringLiteral("139"), QStringLiteral("poison 2"),
                      QStringLiteral("231206154531"));
    h.fake(0).deliver(QStringLiteral("139"), QStringLiteral("fine"),
                      QStringLiteral("231206154532"));

    QVERIFY(h->flow().store().spool().isEmpty());
    QVERIFY(!h.fake(0).calls.contains(QStringLiteral("KeepLastMsg")));
    const QDir quarantine(h->flow().store().quarantine().folder());
    const QStringList files = quarantine.entryList(QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 2);
    const QStringList log = h.log();
    for (const QString &file : files) {
        QCOMPARE(std::count_if(log.cbegin(), log.cend(),
                               [&](const QString &line) {
                                   return line.endsWith(quarantine.filePath(file));
                               }),
                 1);
    }
    QCOMPARE(tdb.rows(QStringLiteral("select smscontent from smsrecv")),
             QStringList(QStringLiteral("fine")));
}

QTEST_GUILESS_MAIN(TestMessageReliability)
#include "tst_messagereliability.moc"
