#include "common/serialportnames.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSerialPortNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wineNames_data();
    void wineNames();
    void linksComeFirst();
    void listsExistingLinks();
    void portsDirFromEnvironment();
};

void TestSerialPortNames::wineNames_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("device");
    QTest::newRow("COM1") << 1 << QStringLiteral("/dev/ttyS0");
    QTest::newRow("COM32") << 32 << QStringLiteral("/dev/ttyS31");
    QTest::newRow("COM33") << 33 << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("COM64") << 64 << QStringLiteral("/dev/ttyUSB31");
    QTest::newRow("COM65") << 65 << QStringLiteral("/dev/ttyACM0");
    QTest::newRow("COM96") << 96 << QStringLiteral("/dev/ttyACM31");
    QTest::newRow("COM97") << 97 << QString();
    QTest::newRow("COM0") << 0 << QString();
}

void TestSerialPortNames::wineNames()
{
    QFETCH(int, n);
    QFETCH(QString, device);
    QCOMPARE(SerialPortNames::wineDevice(n), device);
    if (!device.isEmpty())
        QCOMPARE(SerialPortNames::comNumberOfDevice(device), n);
}

void TestSerialPortNames::linksComeFirst()
{
    QTemporaryDir dir;
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("com3"))));
    QCOMPARE(SerialPortNames::resolve(3, dir.path()), dir.filePath(QStringLiteral("com3")));
    QCOMPARE(SerialPortNames::resolve(4, dir.path()), QStringLiteral("/dev/ttyS3"));
    QCOMPARE(SerialPortNames::resolve(0, dir.path()), QString());
    QCOMPARE(SerialPortNames::resolve(200, dir.path()), QString());
}

void TestSerialPortNames::listsExistingLinks()
{
    QTemporaryDir dir;
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("com7"))));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("com12"))));
    // A modem that was unplugged leaves a dangling link: no port.
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")),
                        dir.filePath(QStringLiteral("com9"))));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("comX"))));
    const QList<int> ports = SerialPortNames::existing(dir.path());
    QVERIFY(ports.contains(7));
    QVERIFY(ports.contains(12));
    QVERIFY(!ports.contains(9));
    QVERIFY(std::is_sorted(ports.begin(), ports.end()));
}

void TestSerialPortNames::portsDirFromEnvironment()
{
    qputenv("VELMORA_PORTS_DIR", "/srv/velmora/ports/");
    QCOMPARE(SerialPortNames::portsDir(), QStringLiteral("/srv/velmora/ports"));
    qunsetenv("VELMORA_PORTS_DIR");
    QVERIFY(SerialPortNames::portsDir().endsWith(QLatin1String("/ports")));
}

QTEST_GUILESS_MAIN(TestSerialPortNames)
#include "tst_serialportnames.moc"
