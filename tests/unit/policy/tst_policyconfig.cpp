#include "common/inifile.h"
#include "core/policyloader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The [Policy] keys of Config.ini.
class tst_PolicyConfig : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_log;

    PolicyConfig load(const QByteArray &content, const QStringList &ports = {"1", "2", "3", "4"})
    {
        const QString path = m_dir.filePath(QStringLiteral("Config.ini"));
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
        f.close();
        m_log.clear();
        return LoadPolicy(IniFile(path), ports, [this](const QString &l) { m_log << l; });
    }

private Q_SLOTS:
    void withoutTheKeysThePolicyIsOff()
    {
        const PolicyConfig c = load("[DBCon]\nScanDT=1000\n[Policy]\n");
        QVERIFY(!c.enabled);
        QCOMPARE(c.attempts, 1);
        QCOMPARE(c.routeOf("13912345678"), -1);
        QVERIFY(m_log.isEmpty());
    }

    void twoCarriersWithDailyLimits()
    {
        const PolicyConfig c = load("[Policy]\nDayLimit=300\nResetTime=06:30\nGroups=CM,CU\n"
                                    "DefaultGroup=cu\nAttempts=2\n"
                                    "[Policy:CM]\nPorts=1-2\nPrefixes=+86139, 139\n"
                                    "[Policy:CU]\nPorts=3,4\nPrefixes=+86130\nDayLimit=150\n");
        QVERIFY(c.enabled);
        QCOMPARE(c.resetTime, QTime(6, 30));
        QCOMPARE(c.attempts, 2);
        QCOMPARE(c.groupOfDevice, (QList<int>{0, 0, 1, 1}));
        QCOMPARE(c.limitsOf(0).dayParts, 300);
        QCOMPARE(c.limitsOf(3).dayParts, 150);
        QCOMPARE(c.routeOf("13912345678"), 0);
        QCOMPARE(c.routeOf("+8613012345678"), 1);
        QCOMPARE(c.routeOf("+4917012345678"), 1);
        QVERIFY(m_log.isEmpty());
    }

    void groupPortsFollowThePortsNotTheListOrder()
    {
        const PolicyConfig c = load("[Policy]\nGroups=A\n[Policy:A]\nPorts=7-8\n", {"8", "3", "7"});
        QCOMPARE(c.groupOfDevice, (QList<int>{0, -1, 0}));
    }

    void badValuesAreReportedAndReplaced()
    {
        const PolicyConfig c = load("[Policy]\nDayLimit=lots\nResetTime=25:00\nGroups=A,B\n"
                                    "DefaultGroup=Z\n[Policy:A]\nPorts=1-2\n"
                                    "[Policy:B]\nPorts=2,x\n");
        QCOMPARE(c.limits.dayParts, 0);
        QCOMPARE(c.resetTime, QTime(0, 0));
        QCOMPARE(c.defaultGroup, -1);
        QCOMPARE(c.groupOfDevice, (QList<int>{0, 0, -1, -1}));
        QCOMPARE(m_log.size(), 5);
        QCOMPARE(m_log.filter("DayLimit").size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_PolicyConfig)
#include "tst_policyconfig.moc"
