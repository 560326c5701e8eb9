#include "common/inifile.h"
#include "core/settings.h"
#include "engine/service.h"
#include "gatewayparts.h"
#include "manualclock.h"
#include "messaging/messageflow.h"
#include "recordingprompter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_Settings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_log;

    QString configure(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("Config.ini"));
        QFile::remove(path);
        if (!content.isNull()) {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write(content);
        }
        return path;
    }
    Settings load(const QByteArray &content)
    {
        m_log.clear();
        return LoadSettings(IniFile(configure(content)), m_dir.path(),
                            [this](const QString &line) { m_log << line; });
    }

private Q_SLOTS:
    void noFileGivesDefaults()
    {
        const Settings s = load(QByteArray());
        QCOMPARE(s.DevicePorts, QStringList{"1"});
        QCOMPARE(s.DeviceRates, QStringList{"9600"});
        QCOMPARE(s.DeviceCount, short(1));
        QCOMPARE(s.scanIntervalMs, 15000);
        QCOMPARE(s.ForwardMobile, QString());
        QCOMPARE(s.ConnectionString,
                 "Provider=SQLite; Data Source=" + m_dir.path()
                         + "/DataBase/SMS.db; User Id=admin; Password=");
        QVERIFY(m_log.isEmpty());
    }

    void lists_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<QStringList>("rates");
        QTest::newRow("empty port means no devices")
                << QByteArray("[SMSCom]\nPort=\nRate=\n") << QStringList() << QStringList();
        QTest::newRow("two ports") << QByteArray("[SMSCom]\nPort=1,2\nRate=9600,9600\n")
                                   << QStringList{"1", "2"} << QStringList{"9600", "9600"};
        QTest::newRow("empty entries and blanks kept")
                << QByteArray("[SMSCom]\nPort=1,,3 \nRate=9600,9600,9600\n")
                << QStringList{"1", "", "3"} << QStringList{"9600", "9600", "9600"};
    }
    void lists()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, ports);
        QFETCH(QStringList, rates);
        const Settings s = load(file);
        QCOMPARE(s.DevicePorts, ports);
        QCOMPARE(s.DeviceRates, rates);
        QCOMPARE(s.DeviceCount, short(ports.size()));
    }

    void moreThan128PortsAreCapped()
    {
        QStringList ports, rates;
        for (int i = 1; i <= 130; ++i) {
            ports << QString::number(1 + (i - 1) % 96);
            rates << QStringLiteral("9600");
        }
        const Settings s = load("[SMSCom]\nPort=" + ports.join(',').toLatin1()
                                + "\nRate=" + rates.join(',').toLatin1() + "\n");
        QCOMPARE(s.DeviceCount, short(128));
        QCOMPARE(s.listedDevices, 130);
        QCOMPARE(s.DevicePorts.size(), 130);
        QCOMPARE(m_log,
                 QStringList{"可用端口超过128个，本程序只支持最大128口，更多的串口将不被使用!"});
    }

    void valuesThatDoNotConvertGetDefaults()
    {
        const Settings s =
                load("[DBCon]\nScanDT=fast\nRCount=x\n[SMSCom]\nPort=1,2,3\nRate=9600\n");
        QCOMPARE(s.scanIntervalMs, 15000);
        QCOMPARE(s.DeviceRates, (QStringList{"9600", "9600", "9600"}));
        QCOMPARE(m_log.size(), 3);
        QVERIFY(m_log.at(1).contains("ScanDT"));
        QVERIFY(m_log.at(2).contains("Rate"));
    }

    void unusablePortsAndRatesAreNamed()
    {
        const Settings s = load("[SMSCom]\nPort=1,999,2\nRate=9600,9600,abc\n");
        QCOMPARE(s.DeviceRates, (QStringList{"9600", "9600", "9600"}));
        QCOMPARE(s.DeviceCount, short(3));
        QCOMPARE(m_log.size(), 2);
        QVERIFY(m_log.at(0).contains("999"));
        QVERIFY(m_log.at(1).contains("abc") && m_log.at(1).contains("9600"));
    }

    void aFileThatIsNoTextIsNamedAndDefaultsUsed_data()
    {
        QTest::addColumn<QByteArray>("content");
        const QString text = QStringLiteral("[SMSCom]\r\nPort=3\r\n");
        QTest::newRow("UTF-16") << QByteArray("\xff\xfe")
                        + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk.append(char(1 + (i * 7919) % 251));
        QTest::newRow("binary") << junk;
    }
    void aFileThatIsNoTextIsNamedAndDefaultsUsed()
    {
        QFETCH(QByteArray, content);
        const Settings s = load(content);
        QCOMPARE(s.DevicePorts, QStringList{"1"});
        QCOMPARE(m_log.size(), 1);
        QVERIFY(m_log.at(0).contains(m_dir.filePath("Config.ini")));
    }

    void aDeviceListThatCannotBeSavedIsReported()
    {
        configure(QByteArray());
        // A folder where the file should be: no write can replace it, root or not.
        QVERIFY(QDir(m_dir.path()).mkdir("Config.ini"));
        ManualClock clock;
        RecordingPrompter prompter;
        GatewayParts gw(m_dir.path(), clock, prompter);
        gw.FormLoad();
        gw.mnuSCSB_Click(0);
        QVERIFY(QDir(m_dir.path()).rmdir("Config.ini"));
        QCOMPARE(gw.log().text().count(gw.configPath()), 1);
    }

    void zeroAndLargePollPeriods()
    {
        QCOMPARE(load("[DBCon]\nScanDT=0\n").scanIntervalMs, 0);
        QCOMPARE(load("[DBCon]\nScanDT=120000\n").scanIntervalMs, 120000);
        QCOMPARE(load("[DBCon]\nScanDT=-5\n").scanIntervalMs, 15000);
    }

    // Start-up loads twice: the cap warning appears after the first line, once per load.
    void startupLogWithTooManyPorts()
    {
        QStringList ports;
        for (int i = 1; i <= 130; ++i)
            ports << QString::number(1 + (i - 1) % 96);
        configure("[SMSCom]\nPort=" + ports.join(',').toLatin1()
                  + "\nRate=" + QStringList(130, "9600").join(',').toLatin1() + "\n");
        ManualClock clock;
        RecordingPrompter prompter;
        GatewayParts gw(m_dir.path(), clock, prompter);
        gw.FormLoad();
        const QString warning = "03-15 14:07:09 > 可用端口超过128个，本程序只支持最大128口，"
                                "更多的串口将不被使用!";
        QCOMPARE(gw.log().text(),
                 "03-15 14:07:09 > 应用程序开始……\r\n" + warning + "\r\n" + warning);
        QCOMPARE(gw.devices().rowCount(), 128);
        QCOMPARE(gw.flow().dispatch().deviceJobs().size(), 131);
        QCOMPARE(gw.statusPanel(), QStringLiteral("内存剩余短信:0"));
    }

    void startupLogIsOneLine()
    {
        configure(QByteArray());
        ManualClock clock;
        RecordingPrompter prompter;
        GatewayParts gw(m_dir.path(), clock, prompter);
        gw.FormLoad();
        QCOMPARE(gw.log().text(), QStringLiteral("03-15 14:07:09 > 应用程序开始……"));
        QCOMPARE(gw.devices().rowCount(), 1);
        QCOMPARE(gw.devices().row(0).portText, QStringLiteral("Com1"));
        QVERIFY(!gw.ServiceRunning());
        QVERIFY(!gw.service().queuePollActive());
        QVERIFY(!gw.service().supervisionActive());
        QVERIFY(!QFile::exists(gw.configPath()));
    }
};

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
