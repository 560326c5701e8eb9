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
    void consoles_data();
    void consoles();
    void consoleByAnyLink();
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

void TestSerialPortNames::consoles_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("active");
    QTest::addColumn<bool>("console");
    QTest::newRow("serial console") << "/dev/ttyS0"
                                    << "tty0 ttyS0\n"
                                    << true;
    QTest::newRow("other serial line") << "/dev/ttyS1"
                                       << "tty0 ttyS0\n"
                                       << false;
    QTest::newRow("no serial console") << "/dev/ttyS0"
                                       << "tty0\n"
                                       << false;
    QTest::newRow("console on a USB adapter") << "/dev/ttyUSB0"
                                              << "ttyUSB0\n"
                                              << true;
    QTest::newRow("name that only begins alike") << "/dev/ttyS10"
                                                 << "ttyS1\n"
                                                 << false;
    QTest::newRow("the console device") << "/dev/console"
                                        << "" << true;
    QTest::newRow("controlling terminal") << "/dev/tty"
                                          << "" << true;
    QTest::newRow("virtual terminal") << "/dev/tty3"
                                      << "" << true;
    QTest::newRow("modem") << "/dev/ttyACM0"
                           << "tty0 ttyS0" << false;
}

void TestSerialPortNames::consoles()
{
    QFETCH(QString, device);
    QFETCH(QString, active);
    QFETCH(bool, console);
    QCOMPARE(SerialPortNames::isConsole(device, active), console);
}

void TestSerialPortNames::consoleByAnyLink()
{
    // A ports link, or a COMn the Wine names lead to, reaches the console all the same.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("com1"));
    QVERIFY(QFile::link(QStringLiteral("/dev/console"), link));
    QVERIFY(SerialPortNames::isConsole(link, QString()));
    QVERIFY(!SerialPortNames::isConsole(dir.filePath(QStringLiteral("gone")), QString()));
}

QTEST_GUILESS_MAIN(TestSerialPortNames)
#include "tst_serialportnames.moc"
