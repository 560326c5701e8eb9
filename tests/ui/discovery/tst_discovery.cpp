#include "common/inifile.h"
#include "discovery/devicesearch.h"
#include "gatewayparts.h"
#include "manualclock.h"
#include "modemsimprocess.h"
#include "recordingprompter.h"
#include "smscontrol.h"
#include "window/frmadd.h"
#include "window/frmsearch.h"
#include "windowengine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The real modem control, with a record of what it was asked to probe.
class RecordingControl : public SmsControl
{
public:
    QString AtuoTestGSMModem(short first, short last) override
    {
        probes << QStringLiteral("(%1,%2)").arg(first).arg(last);
        return m_script.isNull() ? SmsControl::AtuoTestGSMModem(first, last) : m_script;
    }
    QStringList probes;
    QString m_script;
};

} // namespace

// Searching and adding devices, with simulated modems on ports 3 and 4.
class tst_Discovery : public QObject
{
    Q_OBJECT

private:
    ModemSimProcess m_sim{2, 3};
    QTemporaryDir m_dir;
    ManualClock m_clock;
    RecordingPrompter m_prompter;
    std::unique_ptr<GatewayParts> m_gw;
    std::unique_ptr<WindowEngine> m_engine;
    RecordingControl *m_probe = nullptr;

    QString key(const QString &name)
    {
        return IniFile(m_gw->configPath())
                .read(QStringLiteral("SMSCom"), name, QStringLiteral("-"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        qputenv("VELMORA_PORTS_DIR", m_sim.portsDir().toLocal8Bit());
    }

    void init()
    {
        IniFile(m_dir.filePath(QStringLiteral("Config.ini")))
                .write(QStringLiteral("SMSCom"), QStringLiteral("Port"), QStringLiteral("1"));
        IniFile(m_dir.filePath(QStringLiteral("Config.ini")))
                .write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), QStringLiteral("9600"));
        m_gw = std::make_unique<GatewayParts>(m_dir.path(), m_clock, m_prompter);
        int slot = 0;
        QString error;
        QVERIFY(m_gw->pool().create(
                [&](QString *) -> ModemControl * {
                    auto *c = new RecordingControl;
                    if (slot++ == DeviceSearch::ProbeSlot)
                        m_probe = c;
                    return c;
                },
                &error));
        m_gw->FormLoad();
        m_engine = std::make_unique<WindowEngine>(*m_gw);
    }
    void cleanup()
    {
        m_engine.reset();
        m_gw.reset();
    }

    void rangeSearchFindsTheSimulatedModems()
    {
        FrmSearch window(m_engine->client);
        QVERIFY(!window.combo1()->isEnabled());
        QCOMPARE(window.combo1()->currentText(), QStringLiteral("com1"));
        QCOMPARE(window.combo2()->currentText(), QStringLiteral("com8"));
        QCOMPARE(window.combo2()->count(), 128);
        window.check1()->click();
        QVERIFY(window.combo1()->isEnabled());
        window.combo1()->setCurrentIndex(2);
        window.combo2()->setCurrentIndex(4);
        QList<int> seen;
        connect(&m_engine->client, &EngineClient::searchProgress, this, [&](int p) { seen << p; });
        window.command1()->click();
        QVERIFY(!window.command1()->isEnabled());
        // The search lets the engine's loop run between probes, so it is waited for by its end.
        QTRY_VERIFY(window.command1()->isEnabled());
        QVERIFY(m_engine->settle());
        QCOMPARE(m_probe->probes, (QStringList{"(3,4)", "(4,5)", "(5,6)"}));
        QCOMPARE(seen, (QList<int>{0, 33, 67, 100}));
        QVERIFY(m_gw->log().text().endsWith(QStringLiteral("> 搜索到2个可用GSM/GPRS设备")));
        QCOMPARE(m_gw->devices().rowCount(), 2);
        QCOMPARE(m_gw->devices().row(0).portText, QStringLiteral("Com3"));
        QCOMPARE(m_gw->devices().row(1).status, QStringLiteral("未连接"));
        QCOMPARE(m_engine->client.devices().rows().size(), 2);
        QCOMPARE(key(QStringLiteral("Port")), QStringLiteral("3,4"));
        QCOMPARE(key(QStringLiteral("Rate")), QStringLiteral("115200,115200"));
    }

    void systemListProbesEveryListedPort()
    {
        DeviceSearch search(m_gw->deviceSearchParts(), [] { return QStringLiteral("COM1-COM3-"); });
        m_probe->m_script = QStringLiteral(" 3,9600;7,9600; ");
        QList<int> seen;
        connect(&search, &DeviceSearch::progress, this, [&](int p) { seen << p; });
        QSignalSpy finished(&search, &DeviceSearch::finished);
        // The search returns at once and probes one port per turn of the loop.
        search.run(false, QString(), QString());
        QVERIFY(m_probe->probes.isEmpty());
        QVERIFY(finished.wait(5000));
        QCOMPARE(m_probe->probes, (QStringList{"(1,2)", "(3,4)"}));
        QCOMPARE(seen, (QList<int>{0, 50, 100}));
        // Both answers are joined as they come; duplicates stay.
        QVERIFY(m_gw->log().text().endsWith(QStringLiteral("> 搜索到4个可用GSM/GPRS设备")));
        QCOMPARE(key(QStringLiteral("Port")), QStringLiteral("3,7,3,7"));
    }

    void findingNothingKeepsTheDevices()
    {
        DeviceSearch search(m_gw->deviceSearchParts(), [] { return QString(); });
        QSignalSpy finished(&search, &DeviceSearch::finished);
        search.run(true, QStringLiteral("com9"), QStringLiteral("com8"));
        QVERIFY(finished.wait(5000));
        QVERIFY(m_probe->probes.isEmpty());
        QVERIFY(m_gw->log().text().contains(QStringLiteral("> 未搜索到可用GSM/GPRS设备")));
        QCOMPARE(m_gw->devices().rowCount(), 1);
        QCOMPARE(key(QStringLiteral("Port")), QStringLiteral("1"));
    }

    void portNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::newRow("combo") << "com12" << 12;
        QTest::newRow("upper case is not removed") << "COM3" << 0;
        QTest::newRow("trailing text") << "com7x" << 7;
        QTest::newRow("nothing") << "" << 0;
    }
    void portNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        QCOMPARE(DeviceSearch::portNumberOf(text), port);
    }

    void addingTwiceListsThePortTwice()
    {
        FrmAdd window(m_engine->client);
        QCOMPARE(window.text1()->text(), QStringLiteral("1"));
        QCOMPARE(window.text2()->text(), QStringLiteral("9600"));
        window.text1()->setText(QStringLiteral("5"));
        window.command1()->click();
        window.command1()->click();
        QVERIFY(m_engine->settle());
        QCOMPARE(key(QStringLiteral("Port")), QStringLiteral("1,5,5"));
        QCOMPARE(key(QStringLiteral("Rate")), QStringLiteral("9600,9600,9600"));
        window.text1()->clear();
        window.command1()->click();
        QVERIFY(m_engine->settle());
        QCOMPARE(m_gw->devices().row(3).portText, QStringLiteral("Com"));
        QCOMPARE(key(QStringLiteral("Port")), QStringLiteral("1,5,5,"));
        QCOMPARE(window.text2()->text(), QStringLiteral("9600"));
    }
};

QTEST_MAIN(tst_Discovery)
#include "tst_discovery.moc"
