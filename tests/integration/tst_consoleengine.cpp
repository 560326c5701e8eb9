#include "gatewayharness.h"
#include "modemsimprocess.h"
#include "simcontrols.h"
#include "testdatabase.h"

#include <QTest>

// What the operator's console reads from the engine and asks of it, on a real engine with a
// real database: the devices' identity and failures, the queue's figures, the history, and the
// operator's commands.
class TestConsoleEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aSimulatedModemTellsItsSimAndARefusalItsCodeAndMeaning();
    void eachFailureHasItsCode();
    void resultsNameTheSimsNumber();
    void queueFiguresAreReadAtTheTick_data();
    void queueFiguresAreReadAtTheTick();
    void historyCountsEachMinute();
    void historyPercentilesFollowTheSendTimes();
    void aDeviceOutOfServiceGetsNoRowsWhileAnotherTakesThem();
    void requeueMovesOnlyRowsStillAtOne_data();
    void requeueMovesOnlyRowsStillAtOne();
    void aTestMessageNamesItsRow();
};

namespace {

constexpr int Wait = 30000;

QString dbName()
{
    return QStringLiteral("ce_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

} // namespace

void TestConsoleEngine::aSimulatedModemTellsItsSimAndARefusalItsCodeAndMeaning()
{
    RegisteredControls controls;
    QVERIFY2(controls.isRegistered(), qPrintable(controls.errorString()));
    ModemSimProcess sim(1);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"),
                     [&controls] { return controls.create(); });
    h.start();
    // The modem opens while the engine's loop goes on.
    QTRY_COMPARE_WITH_TIMEOUT(h->status().devices.at(0).link, LinkState::Idle, 15000);
    const DeviceStatus opened = h->status().devices.at(0);
    QCOMPARE(opened.imsi, QStringLiteral("460000000000001"));
    QCOMPARE(opened.imei, QStringLiteral("860000000000001"));
    QVERIFY(!sim.numberOf(1).isEmpty());
    QCOMPARE(opened.simNumber, sim.numberOf(1));

    // The re-check is answered later, from the modem, never inside the call.
    QStringList report;
    h->recheckDevice(QStringLiteral("1"), [&report](const QStringList &lines) { report = lines; });
    QVERIFY(report.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!report.isEmpty(), Wait);
    QVERIFY2(report.contains(QStringLiteral("AT+CPIN?：+CPIN: READY"))
                     && report.contains(QStringLiteral("AT+CSQ：+CSQ: 23,99"))
                     && report.contains(QStringLiteral("AT+CGMM：Velmora GSM Simulator")),
             qPrintable(report.join(QLatin1Char('\n'))));
    h->recheckDevice(QStringLiteral("9"), [&report](const QStringList &lines) { report = lines; });
    QCOMPARE(report, QStringList{QStringLiteral("没有这个设备：Com9")});

    QVERIFY(sim.failNextSend(1, 38));
    QVERIFY(tdb.insertPending(1));
    h.poll();
    QTRY_COMPARE_WITH_TIMEOUT(h->status().devices.at(0).failureCode, QStringLiteral("cms:38"),
                              Wait);
    QCOMPARE(h->status().devices.at(0).lastFailure, QStringLiteral("+CMS ERROR: 38 网络故障"));
}

void TestConsoleEngine::eachFailureHasItsCode()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3"));
    h.fake(0).openResult = 1;
    h.fake(0).lastError = QStringLiteral("/dev/ttyUSB0 is locked by another program");
    h.fake(1).openResult = 1;
    h.fake(1).lastError = QStringLiteral("/dev/ttyUSB1: Permission denied");
    h.start();
    QCOMPARE(h->status().devices.at(0).failureCode, QStringLiteral("locked"));
    QCOMPARE(h->status().devices.at(1).failureCode, QStringLiteral("permission"));
    QCOMPARE(h->status().devices.at(2).failureCode, QString());

    // A driver that names the code alone still shows what it means.
    h.fake(2).sendFailure = QStringLiteral("+CMS ERROR: 42");
    QVERIFY(tdb.insertPending(1));
    h.poll();
    h.finish(2, false);
    QCOMPARE(h->status().devices.at(2).failureCode, QStringLiteral("cms:42"));
    QCOMPARE(h->status().devices.at(2).lastFailure, QStringLiteral("+CMS ERROR: 42 网络拥塞"));

    h.fake(0).openResult = 0;
    h.supervise();
    Q_EMIT h.fake(0).DeviceLost();
    h.settle();
    QCOMPARE(h->status().devices.at(0).failureCode, QStringLiteral("lost"));

    h.fake(2).registration = QStringLiteral("3");
    Q_EMIT h.fake(2).RegistrationChanged();
    h.settle();
    QCOMPARE(h->status().devices.at(2).failureCode, QStringLiteral("unregistered"));
    QCOMPARE(h->status().devices.at(2).lastFailure, QStringLiteral("未注册到GSM网络"));

    // A port closed under an unregistered modem says nothing of its network: no line claims
    // it registered again.
    h.fake(2).registration.clear();
    Q_EMIT h.fake(2).RegistrationChanged();
    h.settle();
    QVERIFY(!h.logged(QStringLiteral("Com3口已注册到GSM网络，恢复发送")));
    QVERIFY(!h->pool().takesMessages(2));
    h.fake(2).registration = QStringLiteral("1");
    Q_EMIT h.fake(2).RegistrationChanged();
    h.settle();
    QVERIFY(h.logged(QStringLiteral("Com3口已注册到GSM网络，恢复发送")));
}

// What a webhook receiver is told names the SIM that sent, as the console does.
void TestConsoleEngine::resultsNameTheSimsNumber()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.fake(0).ownNumber = QStringLiteral("+8613900000001");
    h.start();
    QString told;
    QObject::connect(&h->events(), &EngineEvents::messageSent, &h->events(),
                     [&told](qint64, const QString &, const DeviceRef &device,
                             const QDateTime &) { told = device.simNumber; });
    QVERIFY(tdb.insertPending(1));
    h.poll();
    h.finish(0, true);
    QCOMPARE(told, QStringLiteral("+8613900000001"));
}

void TestConsoleEngine::queueFiguresAreReadAtTheTick_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestConsoleEngine::queueFiguresAreReadAtTheTick()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    // No device, so nothing the figures count is sent meanwhile.
    GatewayHarness h(tdb.connectionString(), QString());
    const auto row = [&](int status, int minutesAgo) {
        const QString at = minutesAgo < 0 ? QStringLiteral("NULL")
                                          : QLatin1Char('\'')
                        + h.clock.now()
                                  .addSecs(-60 * minutesAgo)
                                  .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                        + QLatin1Char('\'');
        return tdb.exec(QStringLiteral("insert into SMS(CellNumber,SMSContent,Status,HandleTime) "
                                       "values('1390000%1','x',%2,%3)")
                                .arg(status == 1 ? minutesAgo : 0)
                                .arg(status)
                                .arg(at));
    };
    QVERIFY(row(0, -1) && row(0, -1));
    QVERIFY(row(1, 30) && row(1, 25) && row(1, 2));
    QVERIFY(row(-1, 30) && row(-1, 120) && row(-1, 3000) && row(2, 5));
    h.start();
    h.clock.advance(300);
    QVERIFY(row(0, -1));
    // A page between ticks sees the figures of the last one.
    QCOMPARE(h->status().queue.waiting, 2);
    h.supervise();

    const QueueFigures q = h->status().queue;
    QCOMPARE(q.readAt, h.clock.now());
    QCOMPARE(q.waiting, 3);
    QCOMPARE(q.handed, 3);
    QCOMPARE(q.failedLastHour, 1);
    QCOMPARE(q.failedLastDay, 2);
    QCOMPARE(q.oldestWaitingSeconds, 300);
    QCOMPARE(q.stuck.size(), 2);
    QCOMPARE(q.stuck.at(0).number, QStringLiteral("139000030"));
    QCOMPARE(q.stuck.at(0).since, h.clock.now().addSecs(-60 * 35));
    QCOMPARE(q.stuck.at(1).number, QStringLiteral("139000025"));
    QCOMPARE(h->status().rowsStuck, 2);
    QVERIFY2(h->status().version.contains(engine == QLatin1String("sqlite") ? "SQLite"
                                                  : engine == QLatin1String("mysql")
                                                  ? "."
                                                  : "PostgreSQL"),
             qPrintable(h->status().version));
    QCOMPARE(h->status().databaseReason, QString());

    // The oldest row gone, the next one has been waiting since the first tick too.
    const qint64 oldest =
            tdb.scalar(QStringLiteral("select min(SysNo) from SMS where Status=0")).toLongLong();
    QVERIFY(tdb.exec(QStringLiteral("update SMS set Status=2 where SysNo=%1").arg(oldest)));
    h.clock.advance(60);
    h.supervise();
    QCOMPARE(h->status().queue.waiting, 2);
    QCOMPARE(h->status().queue.oldestWaitingSeconds, 360);
}

void TestConsoleEngine::historyCountsEachMinute()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    QVERIFY(tdb.insertPending(5));
    h.poll();
    h.finish(0, true);
    h.finish(1, false);
    h.finish(0, true);
    h.fake(1).deliver(QStringLiteral("13900001111"), QStringLiteral("hi"),
                      QStringLiteral("261206044700+32"));
    h.settle();
    h.clock.advance(60);
    h.finish(0, true);
    h.poll();

    const QList<HistoryMinute> all = h->history(3);
    QCOMPARE(all.size(), 3);
    const HistoryMinute &first = all.at(1);
    QCOMPARE(first.minute, QDateTime(QDate(2026, 12, 6), QTime(4, 47)));
    QCOMPARE(first.sent, 2);
    QCOMPARE(first.failed, 1);
    QCOMPARE(first.received, 1);
    QCOMPARE(first.queueLength, 3);
    QVERIFY(first.sendP50 >= 0 && first.sendP99 <= 0.25);
    QCOMPARE(all.at(2).sent, 1);
    QCOMPARE(all.at(2).queueLength, h->status().queueLength);
    QCOMPARE(all.at(0), HistoryMinute{all.at(0).minute});

    const QList<HistoryMinute> second = h->history(2, QStringLiteral("2"));
    QCOMPARE(second.size(), 2);
    QCOMPARE(second.at(0).sent, 0);
    QCOMPARE(second.at(0).failed, 1);
    QCOMPARE(second.at(0).received, 1);
    QCOMPARE(h->history(1000, QStringLiteral("1")).size(), EngineHistory::DeviceMinutes);
    QCOMPARE(h->history(5000).size(), EngineHistory::GatewayMinutes);
    QVERIFY(h->history(5, QStringLiteral("9")).isEmpty());
}

void TestConsoleEngine::historyPercentilesFollowTheSendTimes()
{
    EngineHistory history;
    const QDateTime at(QDate(2026, 12, 6), QTime(4, 47, 10));
    for (int i = 0; i < 90; ++i)
        history.sendResult(0, true, 0.9, at);
    for (int i = 0; i < 10; ++i)
        history.sendResult(0, false, 25, at);
    history.sendResult(0, true, -1, at); // not timed: counted, no time
    const HistoryMinute m = history.minutes(1, -1, at).constLast();
    QCOMPARE(m.sent, 91);
    QCOMPARE(m.failed, 10);
    QVERIFY2(m.sendP50 > 0.7 && m.sendP50 <= 1, qPrintable(QString::number(m.sendP50)));
    QVERIFY2(m.sendP90 > 0.7 && m.sendP90 <= 1, qPrintable(QString::number(m.sendP90)));
    QVERIFY2(m.sendP99 > 22 && m.sendP99 <= 32, qPrintable(QString::number(m.sendP99)));
    // A day later the slot holds the new minute only.
    history.sendResult(0, true, 3, at.addDays(1));
    const HistoryMinute later = history.minutes(1, -1, at.addDays(1)).constLast();
    QCOMPARE(later.sent, 1);
    QCOMPARE(later.failed, 0);
    QVERIFY(later.sendP50 > 2.8 && later.sendP50 <= 4);
}

void TestConsoleEngine::aDeviceOutOfServiceGetsNoRowsWhileAnotherTakesThem()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    h.start();
    const DeviceRow shown = h->devices().row(0);
    QVERIFY(h->setDeviceInService(QStringLiteral("1"), false));
    QVERIFY(!h->setDeviceInService(QStringLiteral("7"), false));
    QVERIFY(tdb.insertPending(3));
    h.poll();
    h.finish(1, true);
    QCOMPARE(h.fake(0).sent.size(), 0);
    QCOMPARE(h.fake(1).sent.size(), 2);
    QVERIFY(!h->status().devices.at(0).inService);
    QVERIFY(h->status().devices.at(1).inService);
    QCOMPARE(h->devices().row(0).status, shown.status);
    QCOMPARE(h->devices().row(0).image, shown.image);

    // Back in service it takes the next row at once.
    QVERIFY(h->setDeviceInService(QStringLiteral("1"), true));
    h.settle();
    QCOMPARE(h.fake(0).sent.size(), 1);
    h.finish(0, true);
    h.finish(1, true);
    h.stop();
    QVERIFY(h->setDeviceInService(QStringLiteral("2"), false));
    h.start();
    QVERIFY(h->status().devices.at(1).inService);
}

void TestConsoleEngine::requeueMovesOnlyRowsStillAtOne_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("gateway");
    for (const char *engine : {"sqlite", "postgresql", "mysql"}) {
        QTest::addRow("%s", engine) << engine << QString();
        QTest::addRow("%s shared", engine) << engine << "east";
    }
}

void TestConsoleEngine::requeueMovesOnlyRowsStillAtOne()
{
    QFETCH(QString, engine);
    QFETCH(QString, gateway);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString());
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("GatewayName"), gateway);
    h.makeGateway();
    h.start();
    // The device holds this one: its outcome is on its way.
    QVERIFY(tdb.insertPending(1));
    h.poll();
    const auto last = [&tdb] {
        return tdb.scalar(QStringLiteral("select max(SysNo) from SMS")).toLongLong();
    };
    const qint64 held = last();
    const auto row = [&](int status, const QString &by) {
        const QString claim =
                by.isEmpty() ? QStringLiteral("NULL") : QLatin1Char('\'') + by + QLatin1Char('\'');
        return tdb.exec(QStringLiteral(
                                "insert into SMS(CellNumber,SMSContent,Status,HandleTime,Gateway) "
                                "values('13900000000','x',%1,'2026-12-06 04:00:00',%2)")
                                .arg(status)
                                .arg(claim))
                ? last()
                : -1;
    };
    const qint64 mine = row(1, gateway);
    const qint64 sent = row(2, gateway);
    const qint64 another = row(1, QStringLiteral("west"));
    QString error;
    const int moved = h->requeueRows({mine, sent, held, another, 999999}, &error);
    QVERIFY2(moved >= 0, qPrintable(error));
    const auto status = [&tdb](qint64 id) {
        return tdb.scalar(QStringLiteral("select Status from SMS where SysNo=%1").arg(id)).toInt();
    };
    QCOMPARE(status(mine), 0);
    QCOMPARE(status(sent), 2);
    QCOMPARE(status(held), 1);
    // Without a shared queue every row at 1 is this gateway's own.
    QCOMPARE(status(another), gateway.isEmpty() ? 0 : 1);
    QCOMPARE(moved, gateway.isEmpty() ? 2 : 1);
    QVERIFY(tdb.scalar(QStringLiteral("select HandleTime from SMS where SysNo=%1").arg(mine))
                    .isNull());
    // A row moved once is at 0: asked again, nothing moves.
    QCOMPARE(h->requeueRows({mine}, &error), 0);
}

void TestConsoleEngine::aTestMessageNamesItsRow()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString());
    h.start();
    QVERIFY(tdb.insertPending(2));
    const qint64 id = h->queueTestMessageId(QStringLiteral("13900002222"), QStringLiteral("测试"));
    QCOMPARE(tdb.rows(QStringLiteral("select CellNumber, SMSContent from SMS where SysNo=%1")
                              .arg(id)),
             QStringList{QStringLiteral("13900002222|测试")});

    GatewayHarness down(QStringLiteral("Provider=SQLite; Data Source=/nonexistent/x.db"));
    down.start();
    QCOMPARE(down->queueTestMessageId(QStringLiteral("13900002222"), QStringLiteral("x")), -1);
    QVERIFY(down.loggedStartingWith(QStringLiteral("测试短信入库失败：")));
    QVERIFY(!down->status().databaseReason.isEmpty());
}

QTEST_GUILESS_MAIN(TestConsoleEngine)
#include "tst_consoleengine.moc"
