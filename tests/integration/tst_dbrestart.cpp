#include "gatewayharness.h"
#include "modemsimprocess.h"
#include "simcontrols.h"
#include "testdatabase.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <QThread>

// The database server is stopped and started again while messages flow through the gateway:
// nothing is lost, nothing is sent twice, and no operator is needed. The servers are
// controlled through VELMORA_TEST_PGSQL_CTL / VELMORA_TEST_MYSQL_CTL (a command taking "stop"
// or "start"), and frozen through the pid file VELMORA_TEST_PGSQL_PIDFILE names; this test runs
// alone, since it takes the server away from every other test.
class TestDbRestart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void serverRestartsWhileMessagesFlow_data();
    void serverRestartsWhileMessagesFlow();
    void serverRestartsUnderSimulatedModems_data() { serverRestartsWhileMessagesFlow_data(); }
    void serverRestartsUnderSimulatedModems();
    void frozenServerHoldsUpNoModem();
};

namespace {

bool control(const QString &command, const QString &verb)
{
    return QProcess::execute(
                   QStringLiteral("sh"),
                   {QStringLiteral("-c"),
                    command + QLatin1Char(' ') + verb + QStringLiteral(" >/dev/null 2>&1")})
            == 0;
}

// Stops the server and makes sure it runs again when the test ends, however it ends.
class StoppedServer
{
public:
    explicit StoppedServer(QString ctl) : m_ctl(std::move(ctl)) { }
    ~StoppedServer()
    {
        if (m_stopped)
            control(m_ctl, QStringLiteral("start"));
    }
    bool stop() { return m_stopped = control(m_ctl, QStringLiteral("stop")); }
    bool start()
    {
        m_stopped = !control(m_ctl, QStringLiteral("start"));
        return !m_stopped;
    }

private:
    QString m_ctl;
    bool m_stopped = false;
};

// Stops (SIGSTOP) the server and every process it started, as a hung machine would: it
// neither answers nor refuses. It runs again when the test ends, however it ends.
class FrozenServer
{
public:
    explicit FrozenServer(QString pidFile) : m_pidFile(std::move(pidFile)) { }
    ~FrozenServer()
    {
        if (m_frozen)
            signal("CONT");
    }
    bool freeze()
    {
        // Should the gateway under test hang with it, the server still wakes up for the
        // tests that follow.
        QProcess watchdog;
        watchdog.setProgram(QStringLiteral("sh"));
        watchdog.setArguments(
                {QStringLiteral("-c"), QStringLiteral("sleep 90; ") + command("CONT")});
        watchdog.setStandardInputFile(QProcess::nullDevice());
        watchdog.setStandardOutputFile(QProcess::nullDevice());
        watchdog.setStandardErrorFile(QProcess::nullDevice());
        watchdog.startDetached();
        return m_frozen = signal("STOP");
    }
    bool thaw()
    {
        m_frozen = !signal("CONT");
        return !m_frozen;
    }

private:
    QString command(const char *name) const
    {
        return QStringLiteral(
                       "pid=$(head -n1 '%1') && kill -%2 $pid && { pkill -%2 -P $pid; true; }")
                .arg(m_pidFile, QLatin1String(name));
    }
    bool signal(const char *name) const
    {
        return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command(name)}) == 0;
    }

    QString m_pidFile;
    bool m_frozen = false;
};

int submittedCount(ModemSimProcess &sim, int modems)
{
    int n = 0;
    for (int port = 1; port <= modems; ++port)
        n += int(sim.submitted(port).size());
    return n;
}

bool waitForServer(TestDatabase &tdb)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000) {
        tdb.app().close();
        if (tdb.app().open())
            return true;
        QThread::msleep(250);
    }
    return false;
}

} // namespace

void TestDbRestart::serverRestartsWhileMessagesFlow_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestDbRestart::serverRestartsWhileMessagesFlow()
{
    QFETCH(QString, engine);
    const QByteArray ctlVar = TestDatabase::serverVariable(engine).toLatin1() + "_CTL";
    const QString ctl = qEnvironmentVariable(ctlVar.constData());
    if (TestDatabase::available(engine) && ctl.isEmpty())
        QSKIP(ctlVar + " is not set");
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, QStringLiteral("restart"));

    constexpr int Rows = 40;
    constexpr int Devices = 4;
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3,4"));
    h.start();
    QVERIFY(tdb.insertPending(Rows));
    int delivered = 0;
    const auto flowOnce = [&] {
        for (int d = 0; d < Devices; ++d) {
            if (h->pool().state(d) == DeviceState::Busy)
                h.finish(d, true);
            h.fake(d).deliver(QStringLiteral("1380000%1").arg(delivered),
                              QStringLiteral("incoming %1").arg(delivered),
                              QStringLiteral("231206154530+32"));
            ++delivered;
        }
    };

    h.poll();
    for (int i = 0; i < 3; ++i)
        flowOnce();

    StoppedServer server(ctl);
    QVERIFY(server.stop());
    for (int i = 0; i < 3; ++i) {
        flowOnce();
        h.poll();
    }
    h.supervise();
    QVERIFY(h.loggedStartingWith(QStringLiteral("数据库连接中断：")));
    QVERIFY(h.loggedStartingWith(QStringLiteral("数据库重新连接失败：")));
    QVERIFY(!h->flow().store().spool().isEmpty());

    QVERIFY(server.start());
    QVERIFY2(waitForServer(tdb), "the server did not come back");
    h.poll();
    QVERIFY(h.logged(QStringLiteral("数据库重新连接成功……")));
    for (int i = 0; i < 20 && h->flow().queueLength() + Devices > 0; ++i) {
        flowOnce();
        h.poll();
        if (tdb.scalar(QStringLiteral("select count(*) from SMS where Status<>2")).toInt() == 0)
            break;
    }

    QVERIFY(h->flow().store().spool().isEmpty());
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt(), Rows);
    QMultiHash<QString, int> sent;
    for (int d = 0; d < Devices; ++d) {
        for (const auto &s : std::as_const(h.fake(d).sent))
            sent.insert(s.number, d);
    }
    QCOMPARE(sent.size(), Rows);
    QCOMPARE(sent.uniqueKeys().size(), Rows);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from smsrecv")).toInt(), delivered);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(distinct smscontent) from smsrecv")).toInt(),
             delivered);
    QVERIFY(h.prompter.messages.isEmpty());
}

void TestDbRestart::serverRestartsUnderSimulatedModems()
{
    QFETCH(QString, engine);
    const QByteArray ctlVar = TestDatabase::serverVariable(engine).toLatin1() + "_CTL";
    const QString ctl = qEnvironmentVariable(ctlVar.constData());
    if (TestDatabase::available(engine) && ctl.isEmpty())
        QSKIP(ctlVar + " is not set");
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, QStringLiteral("restart_sim"));
    RegisteredControls controls;
    QVERIFY2(controls.isRegistered(), qPrintable(controls.errorString()));
    constexpr int Modems = 4;
    constexpr int Rows = 80;
    ModemSimProcess sim(Modems);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3,4"),
                     [&controls] { return controls.create(); });
    h.start();
    QVERIFY(sim.setSendDelay(0, 40));
    QVERIFY(tdb.insertPending(Rows));
    int delivered = 0;
    const auto deliverSome = [&] {
        for (int port = 1; port <= Modems; ++port) {
            QVERIFY(sim.deliver(port, QStringLiteral("10086"),
                                QStringLiteral("incoming %1").arg(delivered++))
                    > 0);
        }
    };

    h.poll();
    deliverSome();
    QTest::qWait(300);
    StoppedServer server(ctl);
    QVERIFY(server.stop());
    deliverSome();
    QTest::qWait(600);
    h.poll();
    QVERIFY(h.loggedStartingWith(QStringLiteral("数据库连接中断：")));
    QVERIFY(server.start());
    QVERIFY2(waitForServer(tdb), "the server did not come back");
    deliverSome();
    h.poll();
    QVERIFY(h.logged(QStringLiteral("数据库重新连接成功……")));
    QTRY_COMPARE_WITH_TIMEOUT(
            tdb.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt(), Rows,
            60000);
    QTRY_COMPARE_WITH_TIMEOUT(tdb.scalar(QStringLiteral("select count(*) from smsrecv")).toInt(),
                              delivered, 30000);
    h.poll();
    QVERIFY(h->flow().store().spool().isEmpty());
    QSet<QString> seen;
    int submitted = 0;
    for (int port = 1; port <= Modems; ++port) {
        for (const auto &s : sim.submitted(port)) {
            seen.insert(s.text);
            ++submitted;
        }
    }
    QCOMPARE(submitted, Rows);
    QCOMPARE(seen.size(), Rows);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(distinct smscontent) from smsrecv")).toInt(),
             delivered);
    QVERIFY(h.prompter.messages.isEmpty());
}

// A server that hangs holds up the modems once, for one statement's time-out; they send what
// they were given meanwhile, and every row gets the outcome its modem reported, once.
void TestDbRestart::frozenServerHoldsUpNoModem()
{
    const QString pidFile = qEnvironmentVariable("VELMORA_TEST_PGSQL_PIDFILE");
    TestDatabase tdb(QStringLiteral("postgresql"));
    if (TestDatabase::available(QStringLiteral("postgresql")) && pidFile.isEmpty())
        QSKIP("VELMORA_TEST_PGSQL_PIDFILE is not set");
    VELMORA_NEED_DATABASE(tdb, QStringLiteral("freeze"));
    RegisteredControls controls;
    QVERIFY2(controls.isRegistered(), qPrintable(controls.errorString()));
    constexpr int Modems = 4;
    constexpr int Rows = 60;
    ModemSimProcess sim(Modems);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2,3,4"),
                     [&controls] { return controls.create(); });
    h.start();
    QVERIFY(sim.setSendDelay(0, 150));
    QVERIFY(tdb.insertPending(Rows));
    h.poll();
    QTRY_VERIFY(submittedCount(sim, Modems) >= Modems);

    FrozenServer server(pidFile);
    QVERIFY(server.freeze());
    QTRY_VERIFY_WITH_TIMEOUT(submittedCount(sim, Modems) == Rows,
                             (DBHelper::StatementTimeoutSeconds + 10) * 1000);
    QVERIFY(h.loggedStartingWith(QStringLiteral("数据库连接中断：")));
    QVERIFY(server.thaw());

    for (int i = 0; i < 150; ++i) {
        h.poll();
        QTest::qWait(200);
        if (tdb.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt() == Rows)
            break;
    }
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt(), Rows);
    QVERIFY(h->flow().store().spool().isEmpty());
    QCOMPARE(submittedCount(sim, Modems), Rows);
    QVERIFY(h.prompter.messages.isEmpty());
}

QTEST_GUILESS_MAIN(TestDbRestart)
#include "tst_dbrestart.moc"
