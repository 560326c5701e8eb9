#include "download/downloadedupdate.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Received = "#!/bin/sh\necho new\n";
const QByteArray Previous = "#!/bin/sh\necho previous\n";

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

// The updater received by a download window takes the place of the one in the update folder
// only when it is shown complete; otherwise the one in place stays.
class TstDownloadedUpdate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void installsOnlyWhatIsShownComplete_data()
    {
        const QByteArray good = QCryptographicHash::hash(Received, QCryptographicHash::Sha256);
        QByteArray bad = good;
        bad[5] = char(bad[5] ^ 0x40);
        QTest::addColumn<QByteArray>("sha256");
        QTest::addColumn<qint64>("announced");
        QTest::addColumn<bool>("installed");
        QTest::newRow("digest matches, no length") << good << qint64(0) << true;
        QTest::newRow("digest matches, other length") << good << qint64(3) << true;
        QTest::newRow("digest differs, length matches") << bad << qint64(Received.size()) << false;
        QTest::newRow("no digest, length matches")
                << QByteArray() << qint64(Received.size()) << true;
        QTest::newRow("no digest, no length") << QByteArray() << qint64(0) << false;
        QTest::newRow("no digest, longer length announced")
                << QByteArray() << qint64(Received.size() * 2) << false;
    }
    void installsOnlyWhatIsShownComplete()
    {
        QFETCH(QByteArray, sha256);
        QFETCH(qint64, announced);
        QFETCH(bool, installed);
        QTemporaryDir dir;
        const QString target = dir.filePath("Velmora_Update");
        const QString received = DownloadedUpdate::receivingPathFor(target);
        QVERIFY(writeFile(target, Previous));
        QVERIFY(writeFile(received, Received));

        DownloadedUpdate update(received, target);
        QCOMPARE(update.install(sha256, announced), installed);
        QCOMPARE(update.errorString().isEmpty(), installed);
        QCOMPARE(fileBytes(target), installed ? Received : Previous);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"Velmora_Update"});
        if (installed)
            QVERIFY(QFile::permissions(target) & QFileDevice::ExeOwner);
    }

    void eachWindowReceivesIntoItsOwnFile()
    {
        const QString a = DownloadedUpdate::receivingPathFor("/u/Velmora_Update");
        const QString b = DownloadedUpdate::receivingPathFor("/u/Velmora_Update");
        QVERIFY(a != b);
        QVERIFY(a.startsWith("/u/Velmora_Update.") && b.startsWith("/u/Velmora_Update."));
        // Left for the download control to refuse, as it refuses a folder as its target.
        QCOMPARE(DownloadedUpdate::receivingPathFor("/u/.."), QStringLiteral("/u/.."));
        QCOMPARE(DownloadedUpdate::receivingPathFor("/u/"), QStringLiteral("/u/"));
    }
};

QTEST_GUILESS_MAIN(TstDownloadedUpdate)
#include "tst_downloadedupdate.moc"
