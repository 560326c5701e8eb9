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
    void queueFiguresAreReadAtTheTick_data();
    void queueFiguresAreReadAtTheTick();
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
    const DeviceStatus opened = h->status().devices.at(0);
    QCOMPARE(opened.imsi, QStringLiteral("460000000000001"));
    QCOMPARE(opened.imei, QStringLiteral("860000000000001"));
    QVERIFY(!sim.numberOf(1).isEmpty());
    QCOMPARE(opened.simNumber, sim.numberOf(1));

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
}

QTEST_GUILESS_MAIN(TestConsoleEngine)
#include "tst_consoleengine.moc"
