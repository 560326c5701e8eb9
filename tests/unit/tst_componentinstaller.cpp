#include "componentinstaller.h"
#include "launcherpaths.h"

#include "common/registryfile.h"
#include "common/sysinfotool.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

struct Started
{
    QString program;
    QStringList arguments;
};

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

} // namespace

// The resource sets are embedded under these roots by tests/unit/download.cmake:
//   /good      101 = one.txt, 102 = two.bin, counts their sizes
//   /short     101 counted 5 bytes
//   /toolong   101 counted past its end
//   /nonumber  101 counted "12ab"
//   /nostring  101 without a count
class TstComponentInstaller : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void launcherPaths()
    {
        QCOMPARE(LauncherPaths::withTrailingSlash("/"), QStringLiteral("/"));
        QCOMPARE(LauncherPaths::withTrailingSlash("/opt/velmora"), QStringLiteral("/opt/velmora/"));
        QCOMPARE(LauncherPaths::gatewayCommand("/"), QStringLiteral("/MainApp/Velmora"));
        QCOMPARE(LauncherPaths::gatewayCommand("/opt/velmora/"),
                 QStringLiteral("/opt/velmora/MainApp/Velmora"));
        QCOMPARE(LauncherPaths::componentFile("/sys dir", 101),
                 QStringLiteral("/sys dir/Velmora101.ocx"));
    }

    void regsvr32BesideTheLauncherComesFirst()
    {
        QTemporaryDir dir;
        const QString beside = dir.filePath("regsvr32");
        QFile f(beside);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.close();
        // Not executable yet: the one on PATH (if any) is taken instead.
        QVERIFY(LauncherPaths::findRegsvr32(dir.path()) != beside);
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        QCOMPARE(LauncherPaths::findRegsvr32(dir.path()), beside);
    }

    void writesWhatIsMissingAndRegistersBoth_data()
    {
        QTest::addColumn<bool>("have101");
        QTest::addColumn<bool>("have102");
        QTest::newRow("fresh") << false << false;
        QTest::newRow("101 present") << true << false;
        QTest::newRow("both present") << true << true;
    }
    void writesWhatIsMissingAndRegistersBoth()
    {
        QFETCH(bool, have101);
        QFETCH(bool, have102);
        QTemporaryDir dir;
        // Blanks in the system directory stay inside one argument.
        const QString systemDir = dir.filePath("system dir with blanks");
        QVERIFY(QDir().mkpath(systemDir));
        const QString file101 = systemDir + "/Velmora101.ocx";
        const QString file102 = systemDir + "/Velmora102.ocx";
        for (auto [have, path] : {std::pair{have101, file101}, std::pair{have102, file102}}) {
            if (!have)
                continue;
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old, kept as it is");
        }

        QList<Started> started;
        ComponentInstaller installer(ProgramResources(":/good"), systemDir, "/opt/tools/regsvr32",
                                     [&](const QString &program, const QStringList &args) {
                                         started.append({program, args});
                                         return true;
                                     });
        QVERIFY2(installer.RegOCX(), qPrintable(installer.errorString()));

        QCOMPARE(fileBytes(file101),
                 have101 ? QByteArray("old, kept as it is") : dataFile("one.txt"));
        QCOMPARE(fileBytes(file102),
                 have102 ? QByteArray("old, kept as it is") : dataFile("two.bin"));
        QCOMPARE(installer.writtenFiles().size(), int(!have101) + int(!have102));
        QCOMPARE(started.size(), 2);
        QCOMPARE(started.at(0).program, QStringLiteral("/opt/tools/regsvr32"));
        QCOMPARE(started.at(0).arguments, (QStringList{file101, "-s"}));
        QCOMPARE(started.at(1).arguments, (QStringList{file102, "-s"}));
        QCOMPARE(QDir(systemDir).entryList(QDir::Files).size(), 2);
        QCOMPARE(QFile::permissions(file102) & QFileDevice::ReadOther, QFileDevice::ReadOther);
    }

    // regsvr32 stands in here as a tool that registers a file only when it holds the bytes the
    // launcher carries, as a damaged library fails to load.
    void aComponentThatDoesNotRegisterIsReplacedByTheCarriedCopy_data()
    {
        QTest::addColumn<bool>("repairRegisters");
        QTest::newRow("repaired") << true;
        QTest::newRow("still not registering") << false;
    }
    void aComponentThatDoesNotRegisterIsReplacedByTheCarriedCopy()
    {
        QFETCH(bool, repairRegisters);
        QTemporaryDir dir;
        const QString file101 = dir.filePath("Velmora101.ocx");
        QFile f(file101);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("damaged");
        f.close();
        QStringList registered;
        ComponentInstaller installer(ProgramResources(":/good"), dir.path(), "regsvr32",
                                     [&](const QString &, const QStringList &args) {
                                         registered.append(args.at(0));
                                         const QByteArray held = fileBytes(args.at(0));
                                         return repairRegisters
                                                 && (held == dataFile("one.txt")
                                                     || held == dataFile("two.bin"));
                                     });
        QCOMPARE(installer.RegOCX(), repairRegisters);
        QCOMPARE(fileBytes(file101), dataFile("one.txt"));
        QVERIFY(installer.writtenFiles().contains(file101));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
                 repairRegisters ? 2 : 1);
        if (repairRegisters) {
            QCOMPARE(registered, (QStringList{file101, file101, dir.filePath("Velmora102.ocx")}));
        } else {
            QCOMPARE(registered, (QStringList{file101, file101}));
            QVERIFY(installer.errorString().contains(file101));
        }
    }

    void recordsTheFirstSystemInformationProgramFound()
    {
        QTemporaryDir dir;
        QTemporaryDir bin;
        for (const char *name :
             {"xfce4-taskmanager", "kinfocenter", "later/gnome-system-monitor"}) {
            QVERIFY(QDir(bin.path()).mkpath("later"));
            QFile tool(bin.filePath(name));
            QVERIFY(tool.open(QIODevice::WriteOnly));
            QVERIFY(tool.setPermissions(tool.permissions() | QFileDevice::ExeOwner));
        }
        ComponentInstaller installer(ProgramResources(":/good"), dir.path(), "regsvr32",
                                     [](const QString &, const QStringList &) { return true; });
        QVERIFY(installer.recordSystemInfoTool({bin.path()}));
        const RegistryFile registry(dir.filePath("registry.ini"));
        QCOMPARE(SysInfoTool::locate(registry), bin.filePath("kinfocenter"));
        // A recorded program that still exists is the operator's choice and stays.
        QVERIFY(installer.recordSystemInfoTool({bin.filePath("later")}));
        QCOMPARE(SysInfoTool::locate(registry), bin.filePath("kinfocenter"));
    }

    void writesExactlyTheCountedBytes()
    {
        QTemporaryDir dir;
        ComponentInstaller installer(ProgramResources(":/short"), dir.path(), "regsvr32",
                                     [](const QString &, const QStringList &) { return true; });
        QVERIFY(installer.RegOCX());
        QCOMPARE(fileBytes(dir.filePath("Velmora101.ocx")), dataFile("one.txt").left(5));
    }

    void badResourcesLeaveNoFileAndStop_data()
    {
        QTest::addColumn<QString>("root");
        QTest::newRow("count past the data") << ":/toolong";
        QTest::newRow("count not a number") << ":/nonumber";
        QTest::newRow("count missing") << ":/nostring";
        QTest::newRow("no resources at all") << ":/none";
    }
    void badResourcesLeaveNoFileAndStop()
    {
        QFETCH(QString, root);
        QTemporaryDir dir;
        int started = 0;
        ComponentInstaller installer(ProgramResources(root), dir.path(), "regsvr32",
                                     [&](const QString &, const QStringList &) {
                                         ++started;
                                         return true;
                                     });
        QVERIFY(!installer.RegOCX());
        QVERIFY(!installer.errorString().isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(started, 0);
    }

    void unwritableSystemDirectoryStops()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        ComponentInstaller installer(ProgramResources(":/good"), dir.path(), "regsvr32",
                                     [](const QString &, const QStringList &) { return true; });
        QVERIFY(!installer.RegOCX());
        QFile::setPermissions(dir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                      | QFileDevice::ExeOwner);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void systemDirectoryThatCannotBeMadeStops()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        int started = 0;
        ComponentInstaller installer(ProgramResources(":/good"), dir.filePath("file/system"),
                                     "regsvr32", [&](const QString &, const QStringList &) {
                                         ++started;
                                         return true;
                                     });
        QVERIFY(!installer.RegOCX());
        QCOMPARE(started, 0);
    }

    void missingOrUnstartableRegsvr32Stops()
    {
        QTemporaryDir dir;
        ComponentInstaller none(ProgramResources(":/good"), dir.path(), QString(),
                                [](const QString &, const QStringList &) { return true; });
        QVERIFY(!none.RegOCX());
        QVERIFY(none.errorString().contains("regsvr32"));

        QTemporaryDir dir2;
        ComponentInstaller failing(ProgramResources(":/good"), dir2.path(), "regsvr32",
                                   [](const QString &, const QStringList &) { return false; });
        QVERIFY(!failing.RegOCX());
        // It stopped at the first component.
        QVERIFY(QFile::exists(dir2.filePath("Velmora101.ocx")));
        QVERIFY(!QFile::exists(dir2.filePath("Velmora102.ocx")));
    }
};

QTEST_GUILESS_MAIN(TstComponentInstaller)
#include "tst_componentinstaller.moc"
