#include "common/inifile.h"
#include "gatewayparts.h"
#include "manualclock.h"
#include "recordingprompter.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class tst_DeviceTable : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    ManualClock m_clock;
    RecordingPrompter m_prompter;

    std::unique_ptr<GatewayParts> started(const QByteArray &config)
    {
        QFile f(m_dir.filePath(QStringLiteral("Config.ini")));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(config);
        f.close();
        auto gw = std::make_unique<GatewayParts>(m_dir.path(), m_clock, m_prompter);
        gw->FormLoad();
        return gw;
    }
    QString key(const QString &name)
    {
        return IniFile(m_dir.filePath(QStringLiteral("Config.ini")))
                .read(QStringLiteral("SMSCom"), name, QStringLiteral("<absent>"));
    }

private Q_SLOTS:
    void rowsAreBuiltFromTheSettings()
    {
        auto gw = started("[SMSCom]\nPort=3,12\nRate=9600,115200\n");
        QCOMPARE(gw->devices().rowCount(), 2);
        const DeviceRow &row = gw->devices().row(1);
        QCOMPARE(row.portText, QStringLiteral("Com12"));
        QCOMPARE(row.rate, QStringLiteral("115200"));
        QCOMPARE(row.model, QString());
        QCOMPARE(row.sent, QStringLiteral("0/0"));
        QCOMPARE(row.received, QStringLiteral("0"));
        QCOMPARE(row.status, QStringLiteral("未连接"));
        QCOMPARE(row.image, 3);
        QCOMPARE(gw->devices().headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("状态"));
    }

    // What a port's modem was survives the list being rebuilt at a stop or start, without
    // showing in the window's row; a failure carries its time.
    void aPortKeepsItsKnownIdentityAndFailuresTheirTime()
    {
        auto gw = started("[SMSCom]\nPort=3,12\nRate=9600,115200\n");
        DeviceTable table;
        table.setClock(m_clock);
        Settings settings = gw->settings();
        table.RefreshDeviceList(settings);
        table.setModel(1, QStringLiteral("E173"));
        table.setIdentity(1, QStringLiteral("460001234567890"), QStringLiteral("86123"),
                          QStringLiteral("+8613800000012"));
        table.setLastFailure(1, QStringLiteral("短信猫已重启"), QStringLiteral("lost"));
        QCOMPARE(table.status(1).lastFailureAt, m_clock.now());
        settings.DevicePorts = {QStringLiteral("12"), QStringLiteral("5")};
        table.RefreshDeviceList(settings);
        QCOMPARE(table.status(0).known.imsi, QStringLiteral("460001234567890"));
        QCOMPARE(table.status(0).known.model, QStringLiteral("E173"));
        QCOMPARE(table.status(0).known.seenAt, m_clock.now());
        QCOMPARE(table.status(0).imsi, QString());
        QCOMPARE(table.row(0).model, QString());
        QVERIFY(!table.status(1).known.seenAt.isValid());
    }

    void deletingTheMiddleRowKeepsOrder()
    {
        auto gw = started("; keep me\n[SMSCom]\nPort=1,12,4\nRate=9600,19200,115200\n");
        gw->mnuSCSB_Click(1);
        QCOMPARE(key(QStringLiteral("Port")), QStringLiteral("1,4"));
        QCOMPARE(key(QStringLiteral("Rate")), QStringLiteral("9600,115200"));
        QVERIFY(gw->log().text().count(QStringLiteral("\r\n")) == 0);
        // Memory follows the file only at the next load.
        QCOMPARE(gw->settings().DeviceCount, short(3));
        QFile f(m_dir.filePath(QStringLiteral("Config.ini")));
        f.open(QIODevice::ReadOnly);
        QVERIFY(f.readAll().startsWith("; keep me\n"));
    }

    void deletingTheOnlyRowWritesEmptyValues()
    {
        auto gw = started("[SMSCom]\nPort=12\nRate=9600\n");
        gw->mnuSCSB_Click(0);
        QCOMPARE(gw->devices().rowCount(), 0);
        QCOMPARE(key(QStringLiteral("Port")), QString());
        QCOMPARE(key(QStringLiteral("Rate")), QString());
        gw->LoadSettings();
        QCOMPARE(gw->settings().DeviceCount, short(0));
    }

    void refusals()
    {
        auto gw = started("[SMSCom]\nPort=1,2\nRate=9600,9600\n");
        gw->mnuSCSB_Click(-1);
        QVERIFY(gw->log().text().endsWith(QStringLiteral("> 请选择一个设备")));
        gw->setServiceRunning(true);
        gw->mnuSCSB_Click(0);
        QVERIFY(gw->log().text().endsWith(QStringLiteral("> 请先停止服务！")));
        QVERIFY(!gw->mayEditDevices());
        QCOMPARE(gw->devices().rowCount(), 2);
        QCOMPARE(key(QStringLiteral("Port")), QStringLiteral("1,2"));
    }

    void portTextDropsEveryExactCom()
    {
        DeviceTable table;
        table.appendDevice(DeviceTable::fresh(QStringLiteral("12"), QStringLiteral(" 9600")));
        table.appendDevice(DeviceTable::fresh(QStringLiteral("Com5com"), QStringLiteral("x")));
        QCOMPARE(table.portsText(), QStringLiteral("12,5com"));
        QCOMPARE(table.ratesText(), QStringLiteral(" 9600,x"));
    }

    void numbersAreShownInTheWindowsTexts()
    {
        DeviceTable table;
        table.appendDevice(DeviceTable::fresh(QStringLiteral("4"), QStringLiteral("9600")));
        QSignalSpy changes(&table, &DeviceTable::deviceChanged);
        const QDateTime first(QDate(2026, 12, 6), QTime(4, 47, 10));
        table.countSent(0, true, first);
        table.countSent(0, false, first.addSecs(5));
        table.countSent(0, true, first.addSecs(10));
        table.countReceived(0, 2);
        table.countReceived(0, -1);
        table.setLink(0, LinkState::Sending);
        table.setPortOpen(0, true);
        QCOMPARE(table.row(0).sent, QStringLiteral("2/3"));
        QCOMPARE(table.row(0).received, QStringLiteral("1"));
        QCOMPARE(table.row(0).status, QStringLiteral("正在发送"));
        QCOMPARE(table.row(0).image, DeviceRow::ImageConnected);
        QCOMPARE(table.status(0).failed, qint64(1));
        // The last success is the last accepted send's, not a later failure's.
        QCOMPARE(table.status(0).lastSuccess, first.addSecs(10));
        QCOMPARE(changes.size(), 7);
        // Nothing known: no tooltip; what is known is shown, the rest as "-".
        QCOMPARE(table.data(table.index(0, DeviceTable::ColStatus), Qt::ToolTipRole), QVariant());
        table.setHealth(0, 17, 99, 5, QString(), first);
        QCOMPARE(table.status(0).healthAt, first);
        QCOMPARE(table.row(0).health,
                 QStringLiteral("信号: 17,99\n网络注册: 已注册(漫游)\n运营商: -"));
        table.setHealth(0, std::nullopt, std::nullopt, 8, QStringLiteral("CMCC"), first);
        QCOMPARE(table.row(0).health, QStringLiteral("信号: -\n网络注册: 8\n运营商: CMCC"));
        // The same values again are no change.
        changes.clear();
        table.setHealth(0, std::nullopt, std::nullopt, 8, QStringLiteral("CMCC"), first);
        table.setLink(0, LinkState::Sending);
        QCOMPARE(changes.size(), 0);
        // Rows that are not there are left alone.
        table.countSent(1, true, first);
        QCOMPARE(table.rowCount(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_DeviceTable)
#include "tst_devicetable.moc"
