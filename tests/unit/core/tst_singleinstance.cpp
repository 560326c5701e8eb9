#include "window/singleinstance.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <memory>

namespace {

// Another user is another runtime folder.
struct RuntimeFolder
{
    explicit RuntimeFolder(const QString &path) { qputenv("XDG_RUNTIME_DIR", path.toUtf8()); }
    ~RuntimeFolder() { qputenv("XDG_RUNTIME_DIR", saved); }
    QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
};

} // namespace

class tst_SingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondInstanceIsRefusedAndRaisesTheFirst()
    {
        const QString name =
                QStringLiteral("velmora-test-") + QUuid::createUuid().toString(QUuid::Id128);
        SingleInstance first(name);
        QVERIFY(first.acquire());
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);

        SingleInstance second(name);
        QVERIFY(!second.acquire());
        QVERIFY(second.askRunningToRaise());
        QTRY_COMPARE(raised.count(), 1);
    }

    void freedWhenTheFirstEnds()
    {
        const QString name =
                QStringLiteral("velmora-test-") + QUuid::createUuid().toString(QUuid::Id128);
        {
            SingleInstance first(name);
            QVERIFY(first.acquire());
        }
        SingleInstance again(name);
        QVERIFY(again.acquire());
    }

    void scopedToTheUserAndTheProgramFolder()
    {
        QTemporaryDir userA;
        QTemporaryDir userB;
        QTemporaryDir folders;
        const QString folder = folders.filePath(QStringLiteral("MainApp"));
        std::unique_ptr<SingleInstance> first;
        std::unique_ptr<SingleInstance> otherUsers;
        {
            RuntimeFolder runtime(userA.path());
            first = std::make_unique<SingleInstance>(folder);
            QVERIFY(first->acquire());
            // Another installation of the same user runs beside it.
            SingleInstance otherInstallation(folders.filePath(QStringLiteral("other/MainApp")));
            QVERIFY(otherInstallation.acquire());
        }
        {
            RuntimeFolder runtime(userB.path());
            otherUsers = std::make_unique<SingleInstance>(folder);
            QVERIFY(otherUsers->acquire());
        }
        QSignalSpy raisedFirst(first.get(), &SingleInstance::raiseRequested);
        QSignalSpy raisedOther(otherUsers.get(), &SingleInstance::raiseRequested);
        RuntimeFolder runtime(userA.path());
        SingleInstance second(folder);
        QVERIFY(!second.acquire());
        QVERIFY(second.askRunningToRaise());
        QTRY_COMPARE(raisedFirst.count(), 1);
        QCOMPARE(raisedOther.count(), 0);
    }

    void aSocketThatCannotListenIsReported()
    {
        QTemporaryDir base;
        // Longer than a local socket's path may be.
        const QString deep = base.filePath(QString(120, QLatin1Char('d')));
        QVERIFY(QDir().mkpath(deep));
        QFile::setPermissions(
                deep, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        RuntimeFolder runtime(deep);
        SingleInstance instance(base.path());
        QVERIFY(instance.acquire());
        QVERIFY(!instance.listenError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
