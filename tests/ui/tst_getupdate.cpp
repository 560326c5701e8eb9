#include "getupdate.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray dataFile(const char *name)
{
    return fileBytes(qEnvironmentVariable("UPDATES_TEST_DATA") + QLatin1Char('/')
                     + QLatin1String(name));
}

struct Run
{
    QList<int> barValues;
    QStringList started;
    int exitCode = -1;
    QString error;
};

// Runs the updater window on one payload root against an installation folder.
Run runUpdater(const QString &root, const QString &installFolder, bool gatewayStarts = true)
{
    Run run;
    auto *window = new GetUpdate(PayloadWriter(ProgramResources(root), installFolder),
                                 installFolder, [&](const QString &program) {
                                     run.started.append(program);
                                     return gatewayStarts;
                                 });
    auto *bar = window->findChild<QProgressBar *>("ProgressBar1");
    QObject::connect(bar, &QProgressBar::valueChanged, bar,
                     [&](int value) { run.barValues.append(value); });
    QSignalSpy finished(window, &GetUpdate::finished);
    window->show();
    finished.wait(10000);
    if (!finished.isEmpty()) {
        run.exitCode = finished.at(0).at(0).toInt();
        run.error = finished.at(0).at(1).toString();
    }
    delete window;
    return run;
}

} // namespace

// Payload roots embedded by tests/ui/download.cmake:
//   /two       MainApp/one.txt and MainApp/plugins/two.bin, whole
//   /short     MainApp/one.txt, 5 bytes of it
//   /toolong   MainApp/one.txt counted past its end
//   /nonumber  MainApp/one.txt counted "x"
class TstGetUpdate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void twoEntriesMoveTheBarTo50Then100()
    {
        QTemporaryDir dir;
        const QString install = dir.path() + "/";
        const Run run = runUpdater(":/two", install);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.barValues, (QList<int>{50, 100}));
        QCOMPARE(fileBytes(install + "MainApp/one.txt"), dataFile("one.txt"));
        QCOMPARE(fileBytes(install + "MainApp/plugins/two.bin"), dataFile("two.bin"));
        QCOMPARE(run.started, QStringList{install + "MainApp/Velmora"});
    }

    void aLongerExistingFileIsReplacedWhole()
    {
        QTemporaryDir dir;
        const QString install = dir.path() + "/";
        QDir().mkpath(install + "MainApp");
        QFile old(install + "MainApp/one.txt");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'x'));
        old.close();
        QFile::setPermissions(old.fileName(),
                              QFile::permissions(old.fileName()) | QFileDevice::ExeOwner);
        const Run run = runUpdater(":/two", install);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(fileBytes(install + "MainApp/one.txt"), dataFile("one.txt"));
        // A replaced program stays a program.
        QVERIFY(QFile::permissions(old.fileName()) & QFileDevice::ExeOwner);
    }

    void aSmallerCountWritesOnlyTheLeadingBytes()
    {
        QTemporaryDir dir;
        const QString install = dir.path() + "/";
        const Run run = runUpdater(":/short", install);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(fileBytes(install + "MainApp/one.txt"), dataFile("one.txt").left(5));
        QCOMPARE(run.barValues, (QList<int>{100}));
    }

    void noPayloadWritesNothingAndStartsTheGateway()
    {
        QTemporaryDir dir;
        const QString install = dir.path() + "/";
        const Run run = runUpdater(":/nothing-here", install);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.barValues, (QList<int>{100}));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(run.started, QStringList{install + "MainApp/Velmora"});
    }

    void aBadEntryStopsBeforeTheGateway_data()
    {
        QTest::addColumn<QString>("root");
        QTest::newRow("count past the data") << ":/toolong";
        QTest::newRow("count not a number") << ":/nonumber";
    }
    void aBadEntryStopsBeforeTheGateway()
    {
        QFETCH(QString, root);
        QTemporaryDir dir;
        const Run run = runUpdater(root, dir.path() + "/");
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!run.error.isEmpty());
        QVERIFY(run.started.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("MainApp/one.txt")));
    }

    void aGatewayThatCannotStartIsReportedAfterTheBarIsFull()
    {
        QTemporaryDir dir;
        const Run run = runUpdater(":/nothing-here", dir.path() + "/", false);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.barValues, (QList<int>{100}));
        QVERIFY(run.error.contains("MainApp/Velmora"));
    }
};

QTEST_MAIN(TstGetUpdate)
#include "tst_getupdate.moc"
