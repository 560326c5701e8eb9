#include "common/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// Message files were created under the usual umask 022 and so readable by every local user.
class TestPrivateFiles : public QObject
{
    Q_OBJECT

private:
    static mode_t mode(const QString &path)
    {
        struct stat st = {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    static void write(const QString &path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

private Q_SLOTS:
    void messageFilesAreTheUsersAlone_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<int>("folderMode");
        QTest::newRow("own folder") << false << 0600 << 0700;
        QTest::newRow("group folder") << true << 0660 << 02770;
    }
    void messageFilesAreTheUsersAlone()
    {
        QFETCH(bool, shared);
        QTemporaryDir dir;
        if (shared)
            QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 02770) == 0);
        ::umask(022);
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("spool/old")));
        write(dir.filePath(QStringLiteral("spool/old/1.json")));
        write(dir.filePath(QStringLiteral("received.journal")));

        keepMessageFilesPrivate(dir.path(),
                                {QStringLiteral("spool"), QStringLiteral("received.journal"),
                                 QStringLiteral("quarantine")});
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("quarantine")));
        write(dir.filePath(QStringLiteral("quarantine/1.pdu")));

        QFETCH(int, fileMode);
        QFETCH(int, folderMode);
        QCOMPARE(int(mode(dir.filePath(QStringLiteral("spool/old/1.json")))), fileMode);
        QCOMPARE(int(mode(dir.filePath(QStringLiteral("received.journal")))), fileMode);
        QCOMPARE(int(mode(dir.filePath(QStringLiteral("quarantine/1.pdu")))), fileMode);
        QCOMPARE(int(mode(dir.filePath(QStringLiteral("spool/old")))) & 0777, folderMode & 0777);
        QCOMPARE(int(mode(dir.filePath(QStringLiteral("quarantine")))), folderMode);
    }
};

QTEST_GUILESS_MAIN(TestPrivateFiles)
#include "tst_privatefiles.moc"
