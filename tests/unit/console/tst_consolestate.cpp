#include "console/consolestate.h"
#include "console/logfollower.h"
#include "console/origincheck.h"
#include "model/enginehistory.h"
#include "model/enginestatus.h"
#include "version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

// What the console's page is told and whom it listens to, from values alone.
class tst_ConsoleState : public QObject
{
    Q_OBJECT

    static const inline QDateTime At{QDate(2026, 12, 6), QTime(4, 47, 10)};

    static EngineStatus status()
    {
        EngineStatus s;
        s.running = true;
        s.databaseUp = true;
        DeviceStatus good;
        good.port = QStringLiteral("1");
        good.link = LinkState::Idle;
        good.rssi = 20;
        good.registration = 1;
        good.healthAt = At;
        good.imsi = QStringLiteral("460001234567890");
        DeviceStatus bad;
        bad.port = QStringLiteral("2");
        bad.link = LinkState::Failed;
        bad.rssi = 99;
        bad.lastFailure = QStringLiteral("+CMS ERROR: 38 网络故障");
        bad.failureCode = QStringLiteral("cms:38");
        s.devices = {good, bad};
        s.queue.waiting = 7;
        s.queue.stuck = {{41, QStringLiteral("13800138000"), QStringLiteral("Com2"), At}};
        return s;
    }

    static QJsonObject deviceOf(const QJsonObject &state, int d)
    {
        return state[QLatin1String("devices")].toArray().at(d).toObject();
    }

private Q_SLOTS:
    void signalIsShownInDbmAndBarsAndUnknownStaysUnknown()
    {
        QCOMPARE(ConsoleState::dbm(0), -113);
        QCOMPARE(ConsoleState::dbm(31), -51);
        QCOMPARE(ConsoleState::dbm(15), -83);
        for (const std::optional<int> unknown : {std::optional<int>(99), std::optional<int>(-1),
                                                 std::optional<int>(32), std::optional<int>()}) {
            QVERIFY(!ConsoleState::dbm(unknown));
            QVERIFY(!ConsoleState::bars(unknown));
        }
        QCOMPARE(ConsoleState::bars(0), 0);
        QCOMPARE(ConsoleState::bars(9), 1);
        QCOMPARE(ConsoleState::bars(31), 4);
        const QJsonObject bad = deviceOf(ConsoleState::state(status()), 1);
        QVERIFY(bad[QLatin1String("dbm")].isNull());
        QVERIFY(bad[QLatin1String("bars")].isNull());
        QCOMPARE(deviceOf(ConsoleState::state(status()), 0)[QLatin1String("dbm")].toInt(), -73);
    }

    // The page colours a device in trouble and says why; a device up but not registered and
    // one taken out of service are in trouble too.
    void troubleAndItsReason()
    {
        EngineStatus s = status();
        QJsonObject state = ConsoleState::state(s);
        QCOMPARE(deviceOf(state, 0)[QLatin1String("trouble")].toBool(), false);
        const QJsonObject bad = deviceOf(state, 1);
        QCOMPARE(bad[QLatin1String("trouble")].toBool(), true);
        QCOMPARE(bad[QLatin1String("state")].toString(), QStringLiteral("连接失败,等候再试"));
        QCOMPARE(bad[QLatin1String("reason")].toString(),
                 QStringLiteral("+CMS ERROR: 38 网络故障"));
        QCOMPARE(bad[QLatin1String("failureCode")].toString(), QStringLiteral("cms:38"));
        s.devices[0].registration = 3;
        QCOMPARE(deviceOf(ConsoleState::state(s), 0)[QLatin1String("registration")].toString(),
                 QStringLiteral("注册被拒绝"));
        QVERIFY(ConsoleState::trouble(s.devices[0]));
        s.devices[0].registration = 5;
        QVERIFY(!ConsoleState::trouble(s.devices[0]));
        s.devices[0].inService = false;
        QVERIFY(ConsoleState::trouble(s.devices[0]));
        // A device never opened has no registration to be wrong about.
        DeviceStatus off;
        off.registration = 0;
        QVERIFY(!ConsoleState::trouble(off));
    }

    // The header's word has /healthz's truth: all devices able to send is "ok", some down or
    // unregistered "degraded", none (or the database gone) "down".
    void headerSaysHowManyDevicesCanSend()
    {
        EngineStatus s = status();
        QJsonObject state = ConsoleState::state(s);
        QCOMPARE(state[QLatin1String("health")].toString(), QStringLiteral("degraded"));
        QCOMPARE(state[QLatin1String("devicesSendable")].toInt(), 1);
        s.devices[1].link = LinkState::Sending;
        QCOMPARE(ConsoleState::state(s)[QLatin1String("health")].toString(), QStringLiteral("ok"));
        s.devices[1].registration = 2; // searching: up, but nothing can go through it
        state = ConsoleState::state(s);
        QCOMPARE(state[QLatin1String("health")].toString(), QStringLiteral("degraded"));
        QCOMPARE(deviceOf(state, 1)[QLatin1String("up")].toBool(), false);
        s.devices[0].link = LinkState::Failed;
        QCOMPARE(ConsoleState::state(s)[QLatin1String("health")].toString(), QStringLiteral("down"));
        s.running = false;
        QCOMPARE(ConsoleState::state(s)[QLatin1String("health")].toString(),
                 QStringLiteral("stopped"));
    }

    // A device that is down still tells what its modem and SIM were when last seen, and a
    // failure is past once the device has sent or opened since.
    void aDownDeviceKeepsItsIdentityAndOldFailuresArePast()
    {
        EngineStatus s = status();
        DeviceStatus &d = s.devices[1];
        d.known = {QStringLiteral("E173"), QStringLiteral("460001111111111"),
                   QStringLiteral("861234567890123"), QStringLiteral("+8613800000002"),
                   At.addSecs(-600)};
        d.lastFailureAt = At.addSecs(-60);
        QJsonObject down = deviceOf(ConsoleState::state(s), 1);
        QCOMPARE(down[QLatin1String("imsi")].toString(), QStringLiteral("460001111111111"));
        QCOMPARE(down[QLatin1String("model")].toString(), QStringLiteral("E173"));
        QCOMPARE(qint64(down[QLatin1String("identitySeenAt")].toDouble()),
                 At.addSecs(-600).toMSecsSinceEpoch());
        QCOMPARE(down[QLatin1String("reasonPast")].toBool(), false);

        // Opened again after the failure: the failure reads as past, the identity as current.
        d.link = LinkState::Idle;
        d.imsi = d.known.imsi;
        d.known.seenAt = At;
        QJsonObject up = deviceOf(ConsoleState::state(s), 1);
        QVERIFY(!up.contains(QLatin1String("identitySeenAt")));
        QCOMPARE(up[QLatin1String("reasonPast")].toBool(), true);
        // A failure after the last success and open is current.
        d.lastFailureAt = At.addSecs(5);
        d.lastSuccess = At.addSecs(2);
        QCOMPARE(ConsoleState::failurePast(d), false);
        d.lastSuccess = At.addSecs(9);
        QCOMPARE(ConsoleState::failurePast(d), true);
    }

    // The charts' rings come back from their bytes; bytes of another layout change nothing.
    void historyComesBackFromItsBytes()
    {
        EngineHistory before;
        before.sendResult(3, true, 0.8, At);
        before.sendResult(-1, false, 2.0, At.addSecs(60));
        before.received(3, 2, At.addSecs(60));
        const QByteArray bytes = before.save();
        EngineHistory after;
        QVERIFY(after.restore(bytes));
        const QDateTime now = At.addSecs(120);
        QCOMPARE(after.minutes(5, -1, now), before.minutes(5, -1, now));
        QCOMPARE(after.minutes(5, 3, now), before.minutes(5, 3, now));
        QCOMPARE(after.minutes(3, -1, now).at(1).failed, 1);

        EngineHistory untouched;
        untouched.received(-1, 7, At);
        for (const QByteArray &bad : {bytes.left(bytes.size() - 1), bytes + 'x', QByteArray("VHR"),
                                      QByteArray()}) {
            QVERIFY(!untouched.restore(bad));
            QCOMPARE(untouched.minutes(1, -1, At).at(0).received, 7);
        }
    }

    // The engine's version is the database server's; the program's own is told beside it.
    void versionsOfProgramAndDatabase()
    {
        EngineStatus s = status();
        s.version = QStringLiteral("PostgreSQL 15.5");
        const QJsonObject state = ConsoleState::state(s);
        QCOMPARE(state[QLatin1String("databaseVersion")].toString(), s.version);
        QCOMPARE(state[QLatin1String("version")].toString(), QStringLiteral(VELMORA_VERSION_TEXT));
    }

    void queueFiguresAndStuckRows()
    {
        const QJsonObject queue = ConsoleState::state(status())[QLatin1String("queue")].toObject();
        QCOMPARE(queue[QLatin1String("waiting")].toInt(), 7);
        // Not read yet is not zero.
        QVERIFY(queue[QLatin1String("handed")].isNull());
        QVERIFY(queue[QLatin1String("failedLastHour")].isNull());
        const QJsonObject row = queue[QLatin1String("stuck")].toArray().at(0).toObject();
        QCOMPARE(row[QLatin1String("id")].toInteger(), 41);
        QCOMPARE(row[QLatin1String("device")].toString(), QStringLiteral("Com2"));
        QCOMPARE(row[QLatin1String("since")].toInteger(), At.toMSecsSinceEpoch());
    }

    // The live channel pushes only when the bytes differ: the same status must give the same
    // bytes, and a change anywhere different ones.
    void equalStatusGivesEqualBytes()
    {
        const auto bytes = [](const EngineStatus &s) {
            return QJsonDocument(ConsoleState::state(s)).toJson(QJsonDocument::Compact);
        };
        EngineStatus s = status();
        QCOMPARE(bytes(s), bytes(status()));
        s.devices[0].sent = 1;
        QVERIFY(bytes(s) != bytes(status()));
    }

    void historyIsParallelColumns()
    {
        HistoryMinute a{At, 3, 1, 2, 5, 1.5, 2.5, 4.0};
        HistoryMinute b{At.addSecs(60), 0, 0, 0, -1, -1, -1, -1};
        const QJsonObject h = ConsoleState::history({a, b}, QStringLiteral("3"));
        QCOMPARE(h[QLatin1String("port")].toString(), QStringLiteral("3"));
        for (const char *key :
             {"minutes", "sent", "failed", "received", "queue", "p50", "p90", "p99"})
            QCOMPARE(h[QLatin1String(key)].toArray().size(), 2);
        QCOMPARE(h[QLatin1String("minutes")].toArray().at(1).toInteger(),
                 At.addSecs(60).toMSecsSinceEpoch());
        QCOMPARE(h[QLatin1String("p90")].toArray().at(0).toDouble(), 2.5);
        QCOMPARE(h[QLatin1String("queue")].toArray().at(1).toDouble(), -1.0);
    }

    void messageCarriesTypeAndTime()
    {
        QCOMPARE(ConsoleState::message("heartbeat", 12, {}),
                 QByteArray(R"({"type":"heartbeat","now":12})"));
        const QByteArray m = ConsoleState::message("log", 5, R"({"lines":["a"]})");
        const QJsonObject o = QJsonDocument::fromJson(m).object();
        QCOMPARE(o[QLatin1String("type")].toString(), QStringLiteral("log"));
        QCOMPARE(o[QLatin1String("now")].toInteger(), 5);
        QCOMPARE(o[QLatin1String("lines")].toArray().at(0).toString(), QStringLiteral("a"));
    }

    void logFollowerTellsOnlyNewLines()
    {
        LogFollower f;
        bool reset = false;
        QCOMPARE(f.follow({"a", "b", ""}, &reset), QStringList({"a", "b"}));
        QVERIFY(reset);
        QCOMPARE(f.follow({"a", "b"}, &reset), QStringList());
        QVERIFY(!reset);
        QCOMPARE(f.follow({"b", "c", "d"}, &reset), QStringList({"c", "d"}));
        QVERIFY(!reset);
        // A line equal to the last one seen is a new line when it comes again.
        QCOMPARE(f.follow({"c", "d", "d"}, &reset), QStringList({"d"}));
        QVERIFY(!reset);
        // More new lines than the window holds: start again from what is there.
        QCOMPARE(f.follow({"x", "y"}, &reset), QStringList({"x", "y"}));
        QVERIFY(reset);
    }

    void originMustNameTheServersOwnHostAndPort_data()
    {
        QTest::addColumn<QByteArray>("origin");
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<bool>("same");
        QTest::newRow("same") << QByteArray("http://127.0.0.1:8080") << QByteArray("127.0.0.1:8080")
                              << false << true;
        QTest::newRow("case") << QByteArray("http://GW.example:8080")
                              << QByteArray("gw.example:8080") << false << true;
        QTest::newRow("default port")
                << QByteArray("https://gw.example") << QByteArray("gw.example:443") << true << true;
        QTest::newRow("ipv6") << QByteArray("http://[::1]:81") << QByteArray("[::1]:81") << false
                              << true;
        QTest::newRow("other port") << QByteArray("http://127.0.0.1:8081")
                                    << QByteArray("127.0.0.1:8080") << false << false;
        QTest::newRow("other host") << QByteArray("http://evil.example:8080")
                                    << QByteArray("127.0.0.1:8080") << false << false;
        QTest::newRow("rebound name") << QByteArray("http://localhost.evil.example:8080")
                                      << QByteArray("localhost:8080") << false << false;
        QTest::newRow("null") << QByteArray("null") << QByteArray("127.0.0.1:8080") << false
                              << false;
        QTest::newRow("plain to tls") << QByteArray("http://gw.example:443")
                                      << QByteArray("gw.example:443") << true << false;
        QTest::newRow("with path") << QByteArray("http://127.0.0.1:8080/x")
                                   << QByteArray("127.0.0.1:8080") << false << false;
        QTest::newRow("no host") << QByteArray("http://127.0.0.1:8080") << QByteArray() << false
                                 << false;
    }

    void originMustNameTheServersOwnHostAndPort()
    {
        QFETCH(QByteArray, origin);
        QFETCH(QByteArray, host);
        QFETCH(bool, tls);
        QFETCH(bool, same);
        QCOMPARE(OriginCheck::sameHost(origin, host, tls), same);
    }
};

QTEST_GUILESS_MAIN(tst_ConsoleState)
#include "tst_consolestate.moc"
