#include "gatewayharness.h"
#include "modemsimprocess.h"
#include "simcontrols.h"
#include "testdatabase.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>

// The whole path: the gateway engine with the registered modem control component, simulated
// modems on pseudo-terminals, and a real database.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void rowsGoFromZeroToTwo_data();
    void rowsGoFromZeroToTwo();
    void refusedSendIsWrittenAndTheDeviceReopened();
    void threeDevicesWithTheSecondPortMissing();
    void incomingMessageIsStoredAndForwarded();
    void incomingCallIsLoggedAndHungUp();
    void stopAndStartDropTheQueueButNoRow();
    void databaseFileMissingDevicesStillConnect();
    void modemVanishesMidSend();
    void modemSilentMidSendLeavesItsRowAtOne();
    void burstOfIncomingMessages();
    void idleModemUnpluggedAndPluggedBackSendsAgain();
    void unregisteredModemHoldsMessagesUntilRegistered();
    void deliveryReportLandsAgainstItsRow();
    void deliveryReportWaitsForTheDatabase();
    void stopBeforeTheTextWasWrittenGivesTheRowBack();
    void restartedModemGivesBackTheRowItWasHanded();

private:
    GatewayHarness::Controls controls()
    {
        return [this] {
            return m_controls->create();
        };
    }
    std::unique_ptr<RegisteredControls> m_controls;
};

namespace {

constexpr int Wait = 30000;

QString dbName()
{
    return QStringLiteral("e2e_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

#define START_SIM(sim) \
    do { \
        QVERIFY2((sim).start(), qPrintable((sim).errorString())); \
        qputenv("VELMORA_PORTS_DIR", (sim).portsDir().toUtf8()); \
    } while (false)

int count(TestDatabase &tdb, const QString &sql)
{
    return tdb.scalar(sql).toInt();
}

QStringList states(GatewayHarness &h, int n)
{
    QStringList out;
    for (int d = 0; d < n; ++d)
        out << h->devices().row(d).status;
    return out;
}

} // namespace

void TestEndToEnd::initTestCase()
{
    m_controls = std::make_unique<RegisteredControls>();
    QVERIFY2(m_controls->isRegistered(), qPrintable(m_controls->errorString()));
}

void TestEndToEnd::rowsGoFromZeroToTwo_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestEndToEnd::rowsGoFromZeroToTwo()
{
    QFETCH(QString, engine);
    ModemSimProcess sim(2);
    START_SIM(sim);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"), controls());
    h.start();
    QCOMPARE(states(h, 2), QStringList({QStringLiteral("空闲"), QStringLiteral("空闲")}));
    QCOMPARE(h->devices().row(0).model, QStringLiteral("Velmora GSM Simulator"));

    QVERIFY(tdb.insertPending(6));
    h.poll();
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from SMS where Status=1")), 2);
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select count(*) from SMS where Status=2")),
                              6, Wait);
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from SMS where HandleTime is null")), 0);
    QSet<QString> destinations;
    for (int port : {1, 2}) {
        for (const auto &s : sim.submitted(port))
            destinations.insert(s.destination + QLatin1Char(' ') + s.text);
    }
    QCOMPARE(destinations.size(), 6);
    QVERIFY(destinations.contains(QStringLiteral("13900006 msg 6")));
    const QStringList counters = {h->devices().row(0).sent, h->devices().row(1).sent};
    int sent = 0;
    for (const QString &c : counters) {
        const QStringList p = c.split(QLatin1Char('/'));
        QCOMPARE(p.value(0), p.value(1));
        sent += p.value(0).toInt();
    }
    QCOMPARE(sent, 6);
    QCOMPARE(states(h, 2), QStringList({QStringLiteral("空闲"), QStringLiteral("空闲")}));
}

void TestEndToEnd::refusedSendIsWrittenAndTheDeviceReopened()
{
    ModemSimProcess sim(1);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.start();
    QVERIFY(sim.failNextSend(1, 38)); // network out of order: final, not tried again
    QVERIFY(tdb.insertPending(2));
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS where SysNo=2")),
                              -1, Wait);
    QVERIFY(h.logged(QStringLiteral("Com1口提交到GSM网络失败-13900002:msg 2")));
    // Opened again at once rather than at the next tick, and the other row follows without a
    // poll or a tick.
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS where SysNo=1")), 2,
                              Wait);
    QCOMPARE(h->devices().row(0).sent, QStringLiteral("1/2"));
    // The refused message was not tried again.
    QCOMPARE(sim.submitted(1).size(), 1);
}

void TestEndToEnd::threeDevicesWithTheSecondPortMissing()
{
    ModemSimProcess sim(3);
    START_SIM(sim);
    QVERIFY(QFile::remove(sim.portPath(2)));
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3"), controls());
    h.start();
    QCOMPARE(states(h, 3),
             QStringList({QStringLiteral("空闲"), QStringLiteral("连接失败,等候再试"),
                          QStringLiteral("空闲")}));
    QCOMPARE(h->pool().state(1), DeviceState::Offline);
    h.supervise();
    QCOMPARE(h->devices().row(1).status, QStringLiteral("连接失败,等候再试"));
    QCOMPARE(h->pool().state(0), DeviceState::Free);
}

void TestEndToEnd::incomingMessageIsStoredAndForwarded()
{
    ModemSimProcess sim(1);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("RMobile"), QStringLiteral("13800000000"));
    h.start();

    const QString text = QStringLiteral("你好，网关 it's");
    QVERIFY(sim.deliver(1, QStringLiteral("+8613912345678"), text) > 0);
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select count(*) from smsrecv")), 1, Wait);
    const QStringList row =
            tdb.rows(QStringLiteral("select cellnumber, smscontent, HandleTime from smsrecv"))
                    .first()
                    .split(QLatin1Char('|'));
    QCOMPARE(row.value(0), QStringLiteral("+8613912345678"));
    QCOMPARE(row.value(1), text);
    const QDateTime stamp =
            QDateTime::fromString(row.value(2), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY2(stamp.isValid(), qPrintable(row.value(2)));
    QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 120);
    QVERIFY(h.logged(QStringLiteral("Com1口成功收到短信-+8613912345678:") + text));
    QCOMPARE(h->devices().row(0).received, QStringLiteral("1"));

    const QString forwarded = QStringLiteral("短信平台收到来自+8613912345678的短信:") + text;
    QCOMPARE(tdb.rows(QStringLiteral("select CellNumber, SMSContent, Status from SMS")),
             QStringList(QStringLiteral("13800000000|") + forwarded + QStringLiteral("|0")));
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS")), 2, Wait);
    const auto submitted = sim.submitted(1);
    QCOMPARE(submitted.size(), 1);
    QCOMPARE(submitted.first().destination, QStringLiteral("13800000000"));
    QCOMPARE(submitted.first().text, forwarded);

    // A long message arrives in parts and is stored as one row.
    QString longText;
    while (longText.size() < 400)
        longText += QStringLiteral("A long message that needs several parts. ");
    QCOMPARE(sim.deliver(1, QStringLiteral("10086"), longText, {3, 1, 2}), 3);
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select count(*) from smsrecv")), 2, Wait);
    QCOMPARE(tdb.scalar(QStringLiteral("select smscontent from smsrecv where cellnumber='10086'"))
                     .toString(),
             longText);
}

void TestEndToEnd::incomingCallIsLoggedAndHungUp()
{
    ModemSimProcess sim(2);
    START_SIM(sim);
    GatewayHarness h(QStringLiteral("Provider=SQLite; Data Source=/nonexistent"),
                     QStringLiteral("2,1"), controls());
    h.start();
    QCOMPARE(states(h, 2), QStringList({QStringLiteral("空闲"), QStringLiteral("空闲")}));
    QVERIFY(sim.ring(2, QStringLiteral("13912345678")));
    QTRY_VERIFY_WITH_TIMEOUT(h.logged(QStringLiteral("com0来电被挂断")), Wait);
    QVERIFY(h.logged(QStringLiteral("com0收到来电:13912345678")));
    QTRY_VERIFY_WITH_TIMEOUT(sim.status(2, QStringLiteral("hangups")) >= 1, Wait);
    QCOMPARE(sim.status(2, QStringLiteral("ringing")), 0);
    QCOMPARE(h->pool().state(0), DeviceState::Free);
}

void TestEndToEnd::stopAndStartDropTheQueueButNoRow()
{
    ModemSimProcess sim(1);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.start();
    QVERIFY(sim.setSendDelay(1, 1000));
    QVERIFY(tdb.insertPending(5));
    h.poll();
    QCOMPARE(h->flow().queueLength(), 4);
    // The modem has the message in flight (one it never had goes back to 0 instead).
    QTRY_COMPARE_WITH_TIMEOUT(sim.submitted(1).size(), 1, Wait);
    h.stop();
    QCOMPARE(h->flow().queueLength(), 0);
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from SMS where Status=0")), 4);
    QVERIFY(sim.setSendDelay(1, 0));
    h.start();
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb,
                                    QStringLiteral("select count(*) from SMS where Status=2")
                                            + QStringLiteral(" and SysNo<5")),
                              4, Wait);
    // The message in flight at the stop got its end from the port closing; it is not sent again.
    QVERIFY(count(tdb, QStringLiteral("select Status from SMS where SysNo=5")) != 0);
    QSet<QString> seen;
    for (const auto &s : sim.submitted(1)) {
        QVERIFY2(!seen.contains(s.text), qPrintable(s.text));
        seen.insert(s.text);
    }
}

void TestEndToEnd::databaseFileMissingDevicesStillConnect()
{
    ModemSimProcess sim(2);
    START_SIM(sim);
    GatewayHarness h(QString(), QStringLiteral("1,2"), controls());
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("ConSTR"),
                Settings::defaultConnectionString(h.programDir()));
    h.start();
    QCOMPARE(h.log().mid(1, 2),
             QStringList({QStringLiteral("系统服务启动……"), QStringLiteral("数据库连接失败……")}));
    QCOMPARE(h.prompter.messages.size(), 1);
    QCOMPARE(states(h, 2), QStringList({QStringLiteral("空闲"), QStringLiteral("空闲")}));
    QVERIFY(!h->service().queuePollActive());
    // A message that arrives now is kept for the database.
    QVERIFY(sim.deliver(1, QStringLiteral("10086"), QStringLiteral("kept")) > 0);
    QTRY_COMPARE_WITH_TIMEOUT(h->flow().store().spool().size(), 1, Wait);
    QTRY_COMPARE_WITH_TIMEOUT(sim.status(1, QStringLiteral("stored")), 0, Wait);
}

void TestEndToEnd::modemVanishesMidSend()
{
    ModemSimProcess first(1);
    QVERIFY2(first.start(), qPrintable(first.errorString()));
    QTemporaryDir ports;
    const QString link = ports.filePath(QStringLiteral("com1"));
    QVERIFY(QFile::link(first.portPath(1), link));
    qputenv("VELMORA_PORTS_DIR", ports.path().toUtf8());
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.start();
    QVERIFY(first.setSendDelay(1, 3000));
    QVERIFY(tdb.insertPending(2));
    h.poll();
    QCOMPARE(count(tdb, QStringLiteral("select Status from SMS where SysNo=2")), 1);
    QVERIFY(first.vanish(1));
    // The modem had the text when its port went: the network may have the message, so the
    // row stays at 1 and is named, never -1 for an application to send again.
    QTRY_VERIFY_WITH_TIMEOUT(h.logged(QStringLiteral(
                                     "Com1口串口已关闭，1条短信的发送结果未知，状态保持为1(SysNo=2)")),
                             40000);
    QTRY_COMPARE_WITH_TIMEOUT(h->pool().state(0), DeviceState::Offline, Wait);
    QCOMPARE(count(tdb, QStringLiteral("select Status from SMS where SysNo=2")), 1);
    QTRY_COMPARE_WITH_TIMEOUT(h->devices().row(0).status, QStringLiteral("连接失败,等候再试"),
                              Wait);

    // The modem is back (a new one on the same port): the device is tried again after a short
    // pause, without the tick, and takes the waiting row.
    ModemSimProcess second(1);
    QVERIFY2(second.start(), qPrintable(second.errorString()));
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(second.portPath(1), link));
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS where SysNo=1")), 2,
                              40000);
    QCOMPARE(second.submitted(1).size(), 1);
    QCOMPARE(count(tdb, QStringLiteral("select Status from SMS where SysNo=2")), 1);
}

void TestEndToEnd::modemSilentMidSendLeavesItsRowAtOne()
{
    // The modem takes the message and then answers nothing: the message may have gone, so its
    // row stays at 1 while the device is lost, and it is not sent again once the device is back.
    ModemSimProcess sim(1);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.start();
    QVERIFY(sim.setSendDelay(1, 5000));
    QVERIFY(tdb.insertPending(2));
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(sim.submitted(1).size(), 1, Wait);
    QVERIFY(sim.setSilent(1, true));
    QTRY_COMPARE_WITH_TIMEOUT(h->pool().state(0), DeviceState::Offline, 60000);
    QCOMPARE(h->devices().row(0).status, QStringLiteral("连接失败,等候再试"));
    QCOMPARE(count(tdb, QStringLiteral("select Status from SMS where SysNo=2")), 1);
    QCOMPARE(count(tdb, QStringLiteral("select Status from SMS where SysNo=1")), 0);

    QVERIFY(sim.setSilent(1, false));
    QVERIFY(sim.setSendDelay(1, 0));
    h.supervise();
    // Back, it takes the waiting row at once: idle or already sending it.
    QVERIFY(h->pool().state(0) != DeviceState::Offline);
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS where SysNo=1")), 2,
                              Wait);
    QCOMPARE(count(tdb, QStringLiteral("select Status from SMS where SysNo=2")), 1);
    QCOMPARE(sim.submitted(1).size(), 2);
}

void TestEndToEnd::burstOfIncomingMessages()
{
    constexpr int Modems = 8;
    constexpr int Messages = 1000;
    ModemSimProcess sim(Modems);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3,4,5,6,7,8"), controls());
    h.start();
    for (int i = 0; i < Messages; ++i) {
        QVERIFY(sim.deliver(1 + i % Modems,
                            QStringLiteral("1380000%1").arg(i, 4, 10, QLatin1Char('0')),
                            QStringLiteral("burst %1").arg(i))
                > 0);
        if (i % 50 == 49)
            QCoreApplication::processEvents();
    }
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select count(*) from smsrecv")), Messages,
                              120000);
    QCOMPARE(count(tdb, QStringLiteral("select count(distinct smscontent) from smsrecv")),
             Messages);
    QVERIFY(h->flow().store().spool().isEmpty());
    int received = 0;
    for (int d = 0; d < Modems; ++d)
        received += h->devices().row(d).received.toInt();
    QCOMPARE(received, Messages);
}

void TestEndToEnd::idleModemUnpluggedAndPluggedBackSendsAgain()
{
    ModemSimProcess sim(1);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.start();
    QCOMPARE(h->devices().row(0).status, QStringLiteral("空闲"));
    QVERIFY(sim.vanish(1));
    QTRY_COMPARE_WITH_TIMEOUT(h->pool().state(0), DeviceState::Offline, Wait);
    QCOMPARE(h->devices().row(0).status, QStringLiteral("连接失败,等候再试"));

    QVERIFY(sim.command(QStringLiteral("plug 1")).ok);
    h.supervise();
    QCOMPARE(h->devices().row(0).status, QStringLiteral("空闲"));
    QVERIFY(tdb.insertPending(1));
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS where SysNo=1")), 2,
                              Wait);
}

void TestEndToEnd::unregisteredModemHoldsMessagesUntilRegistered()
{
    ModemSimProcess sim(1);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.start();
    QVERIFY(sim.command(QStringLiteral("network 1 0")).ok);
    QTRY_VERIFY_WITH_TIMEOUT(!h->pool().registered(0), Wait);
    // The state cell's tooltip follows the modem's health.
    const QModelIndex state = h->devices().index(0, DeviceTable::ColStatus);
    QVERIFY(h->devices()
                    .data(state, Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("正在搜索网络")));
    QVERIFY(tdb.insertPending(2));
    h.poll();
    h.supervise();
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from SMS where Status=0")), 2);
    QCOMPARE(sim.submitted(1).size(), 0);

    QVERIFY(sim.command(QStringLiteral("network 1 1")).ok);
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select count(*) from SMS where Status=2")),
                              2, Wait);
    QCOMPARE(h.log().filter(QStringLiteral("注册到GSM网络")).size(), 2);
}

void TestEndToEnd::deliveryReportLandsAgainstItsRow()
{
    ModemSimProcess sim(1);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("StatusReport"), QStringLiteral("1"));
    h.start();
    QVERIFY(sim.command(QStringLiteral("reportdelay 1 500")).ok);
    QVERIFY(tdb.insertPending(3));
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select count(*) from smsreport")), 3,
                              Wait);
    QCOMPARE(count(tdb,
                   QStringLiteral("select count(*) from smsreport r join SMS s on "
                                  "s.SysNo=r.SysNo and s.CellNumber=r.CellNumber")),
             3);
    QCOMPARE(count(tdb,
                   QStringLiteral("select count(*) from smsreport where Status=0 and "
                                  "DeliveryTime like '20%' and ReportTime is not null")),
             3);
    QCOMPARE(count(tdb, QStringLiteral("select count(*) from SMS where Status=2")), 3);
}

// Reports used to be dropped when the database did not take them; they wait in the spool.
void TestEndToEnd::deliveryReportWaitsForTheDatabase()
{
    ModemSimProcess sim(1);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.setConfig(QStringLiteral("SMSCom"), QStringLiteral("StatusReport"), QStringLiteral("1"));
    h.start();
    QVERIFY(tdb.exec(QStringLiteral("alter table smsreport rename to smsreport_off")));
    QVERIFY(tdb.insertPending(3));
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(h->flow().store().spool().size(), 3, Wait);
    QVERIFY(tdb.exec(QStringLiteral("alter table smsreport_off rename to smsreport")));
    h.supervise();
    QCOMPARE(count(tdb,
                   QStringLiteral("select count(*) from smsreport r join SMS s on "
                                  "s.SysNo=r.SysNo and s.CellNumber=r.CellNumber")),
             3);
    QVERIFY(h->flow().store().spool().isEmpty());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"

void TestEndToEnd::stopBeforeTheTextWasWrittenGivesTheRowBack()
{
    // The modem never prompts for the text; the stop cuts the message off before it had any of
    // it, so the row goes back to 0 instead of staying at 1 for good.
    ModemSimProcess sim(1);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.start();
    QVERIFY(sim.setSilent(1, true));
    QVERIFY(tdb.insertPending(1));
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS where SysNo=1")), 1,
                              Wait);
    h.stop();
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS where SysNo=1")), 0,
                              Wait);
    QVERIFY(h.loggedStartingWith(QStringLiteral("Com1口短信未送到短信猫，退回待发-")));
    QVERIFY(sim.setSilent(1, false));
    h.start();
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS where SysNo=1")), 2,
                              Wait);
    QCOMPARE(sim.submitted(1).size(), 1);
}

void TestEndToEnd::restartedModemGivesBackTheRowItWasHanded()
{
    ModemSimProcess sim(1);
    START_SIM(sim);
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), controls());
    h.start();
    QVERIFY(sim.command(QStringLiteral("restart 1 1000")).ok);
    QVERIFY(tdb.insertPending(1));
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(h->pool().state(0), DeviceState::Offline, Wait);
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS where SysNo=1")), 0,
                              Wait);
    h.supervise();
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(count(tdb, QStringLiteral("select Status from SMS where SysNo=1")), 2,
                              Wait);
    QCOMPARE(sim.submitted(1).size(), 1);
}
