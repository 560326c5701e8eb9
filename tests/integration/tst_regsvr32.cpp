#include "common/componentloader.h"
#include "common/registryfile.h"
#include "modemapi/modemcontrol.h"
#include "modemsimprocess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestRegsvr32 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void registersLoadsAndUnregisters();
    void refusesWhatIsNoComponent_data();
    void refusesWhatIsNoComponent();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
    };
    Run regsvr32(const QStringList &args);

    QTemporaryDir m_system;
    QString m_component;
};

void TestRegsvr32::initTestCase()
{
    QVERIFY(m_system.isValid());
    qputenv("VELMORA_SYSTEM_DIR", m_system.path().toUtf8());
    // The component as the launcher writes it: a copy under the file name of the installation.
    m_component = m_system.filePath(QStringLiteral("Velmora101.ocx"));
    QVERIFY(QFile::copy(qEnvironmentVariable("VELMORA_BUILD_DIR")
                                + QStringLiteral("/install-root/MainApp/lib/libsmscontrol.so"),
                        m_component));
}

TestRegsvr32::Run TestRegsvr32::regsvr32(const QStringList &args)
{
    QProcess p;
    p.start(qEnvironmentVariable("VELMORA_BUILD_DIR") + QStringLiteral("/install-root/regsvr32"),
            args);
    Run r;
    if (!p.waitForFinished(10000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

void TestRegsvr32::registersLoadsAndUnregisters()
{
    const Run silent = regsvr32({m_component, QStringLiteral("-s")});
    QCOMPARE(silent.exitCode, 0);
    QCOMPARE(silent.out, QString());
    const RegistryFile registry = RegistryFile::systemRegistry();
    const QString key = RegistryFile::classKey(QString::fromLatin1(ModemControlProgId));
    QCOMPARE(registry.value(key, RegistryFile::componentFileValue()), m_component);

    ComponentLoader loader(registry.path());
    std::unique_ptr<QObject> object(loader.create(QString::fromLatin1(ModemControlProgId)));
    QVERIFY2(object, qPrintable(loader.errorString()));
    auto *control = qobject_cast<ModemControl *>(object.get());
    QVERIFY(control);

    // The loaded control drives a modem.
    ModemSimProcess sim(1, 5);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    QString empty;
    control->SetParam(10, empty, 5);
    control->SetParam(11, empty, 9600);
    QCOMPARE(control->OpenComm(), short(0));
    QString model;
    QVERIFY(control->GetInfo(2, model));
    QCOMPARE(model, QStringLiteral("Velmora GSM Simulator"));
    control->CloseComm();
    object.reset();

    const Run loud = regsvr32({QStringLiteral("-u"), m_component});
    QCOMPARE(loud.exitCode, 0);
    QVERIFY(loud.out.contains(QLatin1String(ModemControlProgId)));
    QCOMPARE(loud.out.count(QLatin1Char('\n')), 1);
    QVERIFY(!registry.value(key, RegistryFile::componentFileValue()));
    QVERIFY(!loader.create(QString::fromLatin1(ModemControlProgId)));
    QVERIFY(loader.errorString().contains(QLatin1String(ModemControlProgId)));
    QVERIFY(loader.errorString().contains(QLatin1String("regsvr32")));
}

void TestRegsvr32::refusesWhatIsNoComponent_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("missing file") << QStringList{m_system.filePath(QStringLiteral("none.ocx")),
                                                 QStringLiteral("-s")};
    QTest::newRow("not a library")
            << QStringList{QStringLiteral("/etc/hostname"), QStringLiteral("-s")};
    QTest::newRow("no file at all") << QStringList{QStringLiteral("-s")};
}

void TestRegsvr32::refusesWhatIsNoComponent()
{
    QFETCH(QStringList, args);
    QVERIFY(regsvr32(args).exitCode > 0);
}

QTEST_GUILESS_MAIN(TestRegsvr32)
#include "tst_regsvr32.moc"
