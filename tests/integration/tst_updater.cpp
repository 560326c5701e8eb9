#include "updates/installtree.h"

#include <QTest>

// Runs updater programs as the download window leaves them: in the "update" folder of an
// installation, with the gateway in MainApp.
class TstUpdater : public QObject
{
    Q_OBJECT

    static QByteArray data(const char *name)
    {
        return InstallTree::bytes(qEnvironmentVariable("UPDATES_TEST_DATA") + QLatin1Char('/')
                                  + QLatin1String(name));
    }

private Q_SLOTS:
    void payloadOfTwoFiles()
    {
        InstallTree tree;
        QVERIFY(tree.installGateway());
        QVERIFY(tree.copyProgram(InstallTree::testBinary("updates_test_updater"),
                                 "update/Velmora_Update"));
        QVERIFY(QDir().mkpath(tree.path("MainApp/plugins")));
        QFile old(tree.path("MainApp/plugins/two.bin"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'o'));
        old.close();

        QCOMPARE(tree.run("update/Velmora_Update"), 0);
        QCOMPARE(InstallTree::bytes(tree.path("MainApp/one.txt")), data("one.txt"));
        QCOMPARE(InstallTree::bytes(tree.path("MainApp/plugins/two.bin")), data("two.bin"));
        QTRY_VERIFY(!tree.gatewayReport().isEmpty());
        QCOMPARE(tree.gatewayReport().first(), "started " + tree.path("MainApp/Velmora"));
    }

    void deliveredUpdaterOnlyStartsTheGateway()
    {
        InstallTree tree;
        QVERIFY(tree.installGateway());
        QVERIFY(tree.copyProgram(QStringLiteral(DELIVERED_UPDATER), "update/Velmora_Update"));
        QCOMPARE(tree.run("update/Velmora_Update"), 0);
        QTRY_VERIFY(!tree.gatewayReport().isEmpty());
        QCOMPARE(tree.gatewayReport().first(), "started " + tree.path("MainApp/Velmora"));
        QCOMPARE(QDir(tree.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 (QStringList{"MainApp", "update"}));
        QCOMPARE(QDir(tree.path("MainApp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"Velmora"});
    }

    void theGatewayIsBesideTheUpdatersFolder()
    {
        InstallTree tree;
        QVERIFY(tree.installGateway());
        QVERIFY(tree.copyProgram(QStringLiteral(DELIVERED_UPDATER), "elsewhere/Velmora_Update"));
        QCOMPARE(tree.run("elsewhere/Velmora_Update"), 0);
        QTRY_VERIFY(!tree.gatewayReport().isEmpty());
    }

    void aMissingGatewayEndsWithAnError()
    {
        InstallTree tree;
        QVERIFY(tree.copyProgram(QStringLiteral(DELIVERED_UPDATER), "update/Velmora_Update"));
        QCOMPARE(tree.run("update/Velmora_Update"), 1);
        // Started from a terminal without a display, it still says why.
        QByteArray errors;
        QCOMPARE(tree.run("update/Velmora_Update", InstallTree::withoutDisplay(tree.environment()),
                          &errors),
                 1);
        QVERIFY2(errors.contains("MainApp/Velmora"), errors.constData());
    }
};

QTEST_GUILESS_MAIN(TstUpdater)
#include "tst_updater.moc"
