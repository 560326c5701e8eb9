#include "engine/enginethread.h"
#include "fakemodemcontrol.h"
#include "gatewayharness.h"
#include "windowengine.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

// The window's copy of what the engine shows, and the engine on a thread of its own.
class tst_EngineClient : public QObject
{
    Q_OBJECT

    static QStringList rowsOf(const DeviceTable &table)
    {
        QStringList rows;
        for (const DeviceRow &r : table.rows())
            rows << r.portText + QLatin1Char('|') + r.status + QLatin1Char('|') + r.sent;
        return rows;
    }

private Q_SLOTS:
    void oneTurnArrivesAsOneBatchInTheEnginesOrder()
    {
        GatewayHarness harness(QString(), QStringLiteral("1,2,3"));
        WindowEngine engine(*harness);
        QSignalSpy batches(&engine.bridge, &EngineBridge::batchReady);
        DeviceTable &table = harness->devices();
        harness->WriteLog(QStringLiteral("a"));
        table.setLink(0, LinkState::Sending);
        table.countSent(1, true, QDateTime());
        table.countSent(2, false, QDateTime());
        // Updates after a removal name the rows as they are numbered after it.
        table.removeDeviceRow(0);
        table.setLink(0, LinkState::Idle);
        table.appendDevice(DeviceTable::fresh(QStringLiteral("9"), QStringLiteral("9600")));
        table.setLink(2, LinkState::Failed);
        harness->WriteLog(QStringLiteral("b"));
        harness->setServiceRunning(true);
        harness->setServiceRunning(false);
        QVERIFY(engine.settle());
        QCOMPARE(batches.size(), 1);
        QCOMPARE(engine.client.logText(), harness->log().text());
        QCOMPARE(rowsOf(engine.client.devices()),
                 (QStringList{"Com2|空闲|1/1", "Com3|未连接|0/1", "Com9|连接失败,等候再试|0/0"}));
        QCOMPARE(rowsOf(engine.client.devices()), rowsOf(table));
        QVERIFY(!engine.client.serviceRunning());
    }

    void aBoxFollowsTheLinesBeforeIt()
    {
        GatewayHarness harness(QString{});
        WindowEngine engine(*harness);
        QString shownWithTheBox;
        connect(&engine.client, &EngineClient::messageRequested, this,
                [&] { shownWithTheBox = engine.client.logText(); });
        harness->WriteLog(QStringLiteral("before"));
        engine.bridge.message(QStringLiteral("box"));
        QVERIFY(engine.settle());
        QVERIFY(shownWithTheBox.endsWith(QStringLiteral("> before")));
    }

    void theEngineThreadOwnsWhatTheGatewayMakes()
    {
        // Timers, sockets or connections made or used on the wrong thread say so.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("thread")));
        QTemporaryDir dir;
        IniFile config(dir.filePath(QStringLiteral("Config.ini")));
        config.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), QStringLiteral("1,2"));
        config.write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), QStringLiteral("9600,9600"));
        ManualClock clock;
        auto engine = std::make_unique<EngineThread>(dir.path(), clock);
        engine->runAndWait([&] {
            QString error;
            engine->gateway().createModemControls([](QString *) { return new FakeModemControl; }, &error);
        });
        QVERIFY(engine->gateway().thread() != QThread::currentThread());
        {
            EngineClient client(engine->gateway(), engine->bridge());
            client.formLoad();
            client.startService();
            QTRY_VERIFY(client.serviceRunning());
            QTRY_COMPARE(client.devices().row(1).model, QStringLiteral("FAKE-GSM"));
        }
        engine.reset();
    }
};

QTEST_MAIN(tst_EngineClient)
#include "tst_engineclient.moc"
