#include "common/registryfile.h"

#include "updates/installtree.h"

#include <QFileInfo>
#include <QTest>

namespace {

const QStringList Created{"created SMSCONTROLLib.Smscontrol", "created WinXPC_Engine.WindowsXPC"};

QString registered(const InstallTree &tree, const char *progId)
{
    const RegistryFile registry(tree.systemDir() + "/registry.ini");
    return registry
            .value(RegistryFile::classKey(QLatin1String(progId)),
                   RegistryFile::componentFileValue())
            .value_or(QString());
}

} // namespace

// Runs a launcher program as a user would, in a throw-away installation folder whose system
// directory has blanks in its path.
class TstLauncher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void launcher_data()
    {
        QTest::addColumn<QString>("launcher");
        QTest::addColumn<QString>("component101");
        QTest::addColumn<QString>("component102");
        QTest::addColumn<QString>("regsvr32");
        QTest::addColumn<bool>("checkCreation");
        QTest::newRow("test components")
                << QStringLiteral(TEST_START) << QStringLiteral(TEST_COMPONENT101)
                << QStringLiteral(TEST_COMPONENT102)
                << InstallTree::testBinary("updates_fakeregsvr32") << true;
#ifdef REAL_REGSVR32
        QTest::newRow("test components, real regsvr32")
                << QStringLiteral(TEST_START) << QStringLiteral(TEST_COMPONENT101)
                << QStringLiteral(TEST_COMPONENT102) << QStringLiteral(REAL_REGSVR32) << true;
#endif
#ifdef DELIVERED_START
        // The delivered launcher carries the project's own components.
        QTest::newRow("delivered")
                << QStringLiteral(DELIVERED_START) << QStringLiteral(DELIVERED_COMPONENT101)
                << QStringLiteral(DELIVERED_COMPONENT102)
                << InstallTree::testBinary("updates_fakeregsvr32") << false;
#endif
    }
    void launcher()
    {
        QFETCH(QString, launcher);
        QFETCH(QString, component101);
        QFETCH(QString, component102);
        QFETCH(QString, regsvr32);
        QFETCH(bool, checkCreation);
        const bool fake = regsvr32.endsWith("updates_fakeregsvr32");

        InstallTree tree;
        QVERIFY(tree.copyProgram(launcher, "start"));
        QVERIFY(tree.installGateway());
        QVERIFY(InstallTree::writeScript(tree.path("regsvr32"),
                                         "exec '" + regsvr32.toUtf8() + "' \"$@\""));
        const QString file101 = tree.systemDir() + "/Velmora101.ocx";
        const QString file102 = tree.systemDir() + "/Velmora102.ocx";

        // A fresh system directory: both written, exactly, both registered, gateway started.
        QCOMPARE(tree.run("start"), 0);
        QCOMPARE(InstallTree::bytes(file101), InstallTree::bytes(component101));
        QCOMPARE(InstallTree::bytes(file102), InstallTree::bytes(component102));
        QCOMPARE(QDir(tree.systemDir()).entryList({"*.ocx*"}, QDir::Files | QDir::Hidden),
                 (QStringList{"Velmora101.ocx", "Velmora102.ocx"}));
        if (fake)
            QTRY_COMPARE(tree.regsvr32Calls(), (QStringList{file101 + "\t-s", file102 + "\t-s"}));
        if (checkCreation) {
            QTRY_COMPARE(registered(tree, "SMSCONTROLLib.Smscontrol"), file101);
            QTRY_COMPARE(registered(tree, "WinXPC_Engine.WindowsXPC"), file102);
            QTRY_COMPARE(tree.gatewayReport().size(), 3);
            QCOMPARE(tree.gatewayReport(),
                     (QStringList{"started " + tree.path("MainApp/Velmora"), Created.at(0),
                                  Created.at(1)}));
        } else {
            QTRY_VERIFY(!tree.gatewayReport().isEmpty());
            QCOMPARE(tree.gatewayReport().first(), "started " + tree.path("MainApp/Velmora"));
        }

        // Both present and sound: nothing written, both registered again, the gateway started
        // again. Component 101 is another build than the launcher's, and it is kept.
        QFile::remove(tree.systemDir() + "/registry.ini");
        const QDateTime written = QFileInfo(file102).lastModified();
        const QByteArray other = InstallTree::bytes(QStringLiteral(TEST_COMPONENT101_OTHER));
        QVERIFY(other != InstallTree::bytes(component101));
        QFile f(file101);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(other);
        f.close();
        QCOMPARE(tree.run("start"), 0);
        QCOMPARE(InstallTree::bytes(file101), other);
        QCOMPARE(QFileInfo(file102).lastModified(), written);
        if (fake)
            QTRY_COMPARE(tree.regsvr32Calls().size(), 4);
        if (checkCreation)
            QTRY_COMPARE(registered(tree, "WinXPC_Engine.WindowsXPC"), file102);
        QTRY_COMPARE(tree.gatewayReport().count(QString("started " + tree.path("MainApp/Velmora"))),
                     2);

        // Component 101 damaged: it does not register, the launcher's own copy replaces it.
        QFile::remove(tree.systemDir() + "/registry.ini");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(InstallTree::bytes(component101).left(4096));
        f.close();
        QCOMPARE(tree.run("start"), 0);
        QCOMPARE(InstallTree::bytes(file101), InstallTree::bytes(component101));
        QCOMPARE(QDir(tree.systemDir()).entryList({"*.ocx*"}, QDir::Files | QDir::Hidden),
                 (QStringList{"Velmora101.ocx", "Velmora102.ocx"}));
        if (fake)
            QTRY_COMPARE(tree.regsvr32Calls().mid(4),
                         (QStringList{file101 + "\t-s", file101 + "\t-s", file102 + "\t-s"}));
        if (checkCreation)
            QTRY_COMPARE(registered(tree, "SMSCONTROLLib.Smscontrol"), file101);
        QTRY_COMPARE(tree.gatewayReport().count(QString("started " + tree.path("MainApp/Velmora"))),
                     3);
    }

    // A component that cannot be made to register ends the launcher with 1 and its reason, and
    // the gateway, which would fail without it, is not started.
    void aComponentThatDoesNotRegisterStopsTheLauncher_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("freshly written") << false;
        QTest::newRow("damaged, repair fails too") << true;
    }
    void aComponentThatDoesNotRegisterStopsTheLauncher()
    {
        QFETCH(bool, damaged);
        InstallTree tree;
        QVERIFY(tree.copyProgram(QStringLiteral(TEST_START), "start"));
        QVERIFY(tree.installGateway());
        QVERIFY(InstallTree::writeScript(tree.path("regsvr32"), "exit 1"));
        const QString file101 = tree.systemDir() + "/Velmora101.ocx";
        if (damaged) {
            QVERIFY(QDir().mkpath(tree.systemDir()));
            QFile f(file101);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("damaged");
        }
        QByteArray errors;
        QCOMPARE(tree.run("start", tree.environment(), &errors), 1);
        QVERIFY2(errors.contains("Velmora101.ocx"), errors.constData());
        QVERIFY(!QFile::exists(tree.systemDir() + "/Velmora102.ocx"));
        QTest::qWait(500);
        QCOMPARE(tree.gatewayReport(), QStringList());
    }

    // start runs both registrations at once; neither may undo the other in the registry file.
    void simultaneousRegistrationsBothLand()
    {
        InstallTree tree;
        const QString tool = InstallTree::testBinary("updates_fakeregsvr32");
        for (int round = 0; round < 20; ++round) {
            QFile::remove(tree.systemDir() + "/registry.ini");
            QProcess a;
            QProcess b;
            for (QProcess *p : {&a, &b})
                p->setProcessEnvironment(tree.environment());
            a.start(tool, {QStringLiteral(TEST_COMPONENT101), "-s"});
            b.start(tool, {QStringLiteral(TEST_COMPONENT102), "-s"});
            QVERIFY(a.waitForFinished(10000) && b.waitForFinished(10000));
            QVERIFY2(!registered(tree, "SMSCONTROLLib.Smscontrol").isEmpty(), "round lost 101");
            QVERIFY2(!registered(tree, "WinXPC_Engine.WindowsXPC").isEmpty(), "round lost 102");
        }
    }

    void withoutRegsvr32TheGatewayIsNotStarted_data()
    {
        QTest::addColumn<bool>("display");
        QTest::newRow("display") << true;
        // Started from a terminal without one, it must still say why rather than abort.
        QTest::newRow("no display") << false;
    }
    void withoutRegsvr32TheGatewayIsNotStarted()
    {
        QFETCH(bool, display);
        InstallTree tree;
        QVERIFY(tree.copyProgram(QStringLiteral(TEST_START), "start"));
        QVERIFY(tree.installGateway());
        QProcessEnvironment env = tree.environment();
        // Nothing beside the launcher and nothing on PATH.
        env.insert("PATH", tree.path("MainApp"));
        if (!display)
            env = InstallTree::withoutDisplay(env);
        QByteArray errors;
        QCOMPARE(tree.run("start", env, &errors), 1);
        QVERIFY2(errors.contains("regsvr32"), errors.constData());
        QTest::qWait(500);
        QCOMPARE(tree.gatewayReport(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TstLauncher)
#include "tst_launcher.moc"
