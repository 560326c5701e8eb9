#include "core/activitylog.h"
#include "download/versioncheck.h"

#include "common/clock.h"
#include "common/textcodec.h"
#include "version.h"

#include "updates/downloadtestserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Upgrade = QStringLiteral("准备从版本VerV1.0.0升级到版本");
const QString NoUpgrade = QStringLiteral("无需升级，已经是最新版本");
const QString Unreachable =
        QStringLiteral("无法连接升级服务器，请检查你的网络状态或联系软件作者！");

struct Window
{
    QString url;
    QByteArray sha256;
};

struct Check
{
    QStringList log;
    QList<Window> windows;
};

Check runCheck(int timeoutSecs = VersionCheck::DefaultTimeoutSecs)
{
    Check check;
    ActivityLog log(SystemClock::instance());
    QObject::connect(&log, &ActivityLog::textAppended, &log, [&](const QString &piece) {
        check.log.append(piece.mid(piece.indexOf(QLatin1String(" > ")) + 3));
    });
    VersionCheck command(log, [&](const QString &url, const QByteArray &sha256) {
        check.windows.append({url, sha256});
    });
    command.setTimeoutSecs(timeoutSecs);
    command.run();
    return check;
}

} // namespace

class TstVersionCheck : public QObject
{
    Q_OBJECT

    QTemporaryDir m_served;
    DownloadTestServer m_http;

    void serve(const QByteArray &body)
    {
        QFile f(m_served.filePath("update/GVer.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(body);
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            qunsetenv(name);
        QVERIFY(QDir(m_served.path()).mkdir("update"));
        QVERIFY2(m_http.start(DownloadTestServer::Http, m_served.path()),
                 qPrintable(m_http.error()));
        qputenv("VELMORA_UPDATE_SERVER", m_http.base().toUtf8());
    }

    void serverFixedAtBuildTimeUnlessOverridden()
    {
        QCOMPARE(VersionCheck::updateServer(), m_http.base());
        qunsetenv("VELMORA_UPDATE_SERVER");
        QCOMPARE(VersionCheck::updateServer(), QStringLiteral(VELMORA_UPDATE_SERVER));
        qputenv("VELMORA_UPDATE_SERVER", m_http.base().toUtf8());
    }

    void versionFile_data()
    {
        const QByteArray hex = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("url"); // of the one window opened, or empty for none
        QTest::addColumn<QByteArray>("sha256");
        QTest::newRow("newer, ftp")
                << QByteArray("$V1.0.1$ftp://h/update/Velmora_Update$") << Upgrade + "V1.0.1"
                << "ftp://h/update/Velmora_Update" << QByteArray();
        QTest::newRow("newer, http")
                << QByteArray("$V1.0.1$http://h/Velmora_Update$") << Upgrade + "V1.0.1"
                << "http://h/Velmora_Update" << QByteArray();
        QTest::newRow("same") << QByteArray("$V1.0.0$http://h/Velmora_Update$") << NoUpgrade
                              << QString() << QByteArray();
        QTest::newRow("older") << QByteArray("$V0.9.9$http://h/Velmora_Update$") << NoUpgrade
                               << QString() << QByteArray();
        QTest::newRow("no dollar")
                << QByteArray("V1.0.1") << Unreachable << QString() << QByteArray();
        QTest::newRow("two fields")
                << QByteArray("$V1.0.1") << Unreachable << QString() << QByteArray();
        QTest::newRow("empty body") << QByteArray() << Unreachable << QString() << QByteArray();
        // Neither is a newer version, however they sort as text.
        QTest::newRow("small v") << QByteArray("$v1.0.0$http://h/u$") << NoUpgrade << QString()
                                 << QByteArray();
        QTest::newRow("small v, lower")
                << QByteArray("$v0.1$http://h/u$") << NoUpgrade << QString() << QByteArray();
        QTest::newRow("trailing blank")
                << QByteArray("$V1.0.0 $http://h/u$") << NoUpgrade << QString() << QByteArray();
        QTest::newRow("without V")
                << QByteArray("$1.0.1$http://h/u$") << NoUpgrade << QString() << QByteArray();
        QTest::newRow("V1.0.10") << QByteArray("$V1.0.10$http://h/u$") << Upgrade + "V1.0.10"
                                 << "http://h/u" << QByteArray();
        QTest::newRow("line break stays in the url")
                << QByteArray("$V1.0.1$http://h/u\r\n") << Upgrade + "V1.0.1"
                << "http://h/u\r\n"
                << QByteArray();
        QTest::newRow("further fields ignored")
                << QByteArray("$V1.0.1$http://h/u$notes$more$") << Upgrade + "V1.0.1"
                << "http://h/u" << QByteArray();
        QTest::newRow("digest in field 3")
                << QByteArray("$V1.0.1$http://h/u$" + hex + "\n") << Upgrade + "V1.0.1"
                << "http://h/u" << QByteArray::fromHex(hex);
        QTest::newRow("empty url still opens a window")
                << QByteArray("$V1.0.1$$") << Upgrade + "V1.0.1"
                << "" << QByteArray();
        QTest::newRow("GBK text") << encodeText(QStringLiteral("$V1.0.1$http://h/升级程序$"),
                                                TextEncoding::Gbk)
                                  << Upgrade + "V1.0.1" << QStringLiteral("http://h/升级程序")
                                  << QByteArray();
    }
    void versionFile()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, logged);
        QFETCH(QString, url);
        QFETCH(QByteArray, sha256);
        serve(body);
        const Check check = runCheck();
        QCOMPARE(check.log, QStringList{logged});
        const bool opens = logged.startsWith(Upgrade);
        QCOMPARE(check.windows.size(), opens ? 1 : 0);
        if (opens) {
            QCOMPARE(check.windows.at(0).url, url);
            QCOMPARE(check.windows.at(0).sha256, sha256);
        }
    }

    void everyRunOpensItsOwnWindow()
    {
        serve("$V1.0.1$http://h/u$");
        QCOMPARE(runCheck().windows.size(), 1);
        QCOMPARE(runCheck().windows.size(), 1);
    }

    void missingVersionFileGivesAnErrorPage()
    {
        QFile::remove(m_served.filePath("update/GVer.txt"));
        QCOMPARE(runCheck().log, QStringList{Unreachable});
    }

    void serverDown()
    {
        qputenv("VELMORA_UPDATE_SERVER",
                QStringLiteral("http://127.0.0.1:%1").arg(closedLoopbackPort()).toUtf8());
        const Check check = runCheck();
        qputenv("VELMORA_UPDATE_SERVER", m_http.base().toUtf8());
        QCOMPARE(check.log, QStringList{Unreachable});
        QVERIFY(check.windows.isEmpty());
    }

    void silentServerIsGivenUp()
    {
        qputenv("VELMORA_UPDATE_SERVER", (m_http.base() + "/hang").toUtf8());
        QElapsedTimer timer;
        timer.start();
        const Check check = runCheck(2);
        const qint64 took = timer.elapsed();
        qputenv("VELMORA_UPDATE_SERVER", m_http.base().toUtf8());
        QCOMPARE(check.log, QStringList{Unreachable});
        // Bounded: given up near the time-out, not after the server's two minutes.
        QVERIFY2(took < 30000, qPrintable(QString::number(took)));
    }
};

QTEST_GUILESS_MAIN(TstVersionCheck)
#include "tst_versioncheck.moc"
