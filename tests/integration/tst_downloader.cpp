#include "common/propertybag.h"
#include "download/downloader.h"
#include "download/inetclient.h"

#include "updates/downloadtestserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Everything one download reported.
struct Outcome
{
    QList<AsyncProp> progress;
    QStringList errors;
    int completed = 0;
};

Outcome download(Downloader &downloader, int timeoutMs = 20000)
{
    Outcome outcome;
    QObject context;
    QObject::connect(&downloader, &Downloader::AsyncReadProgress, &context,
                     [&](const AsyncProp &p) { outcome.progress.append(p); });
    QObject::connect(&downloader, &Downloader::DownloadError, &context,
                     [&](const QString &e) { outcome.errors.append(e); });
    QObject::connect(&downloader, &Downloader::DownloadComplete, &context,
                     [&] { ++outcome.completed; });
    downloader.DownloadFile();
    QElapsedTimer timer;
    timer.start();
    while (outcome.completed == 0 && outcome.errors.isEmpty() && timer.elapsed() < timeoutMs)
        QTest::qWait(10);
    // Anything that follows late would show here.
    QTest::qWait(100);
    return outcome;
}

QList<int> codes(const Outcome &outcome)
{
    QList<int> result;
    for (const AsyncProp &p : outcome.progress)
        result.append(p.StatusCode);
    return result;
}

} // namespace

class TstDownloader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_served;
    DownloadTestServer m_http;
    DownloadTestServer m_ftp;
    QByteArray m_big;

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "https_proxy", "ftp_proxy", "all_proxy",
                                 "HTTP_PROXY", "HTTPS_PROXY", "FTP_PROXY", "ALL_PROXY"})
            qunsetenv(name);
        m_big = randomBytes(700 * 1024 + 17);
        writeFile(m_served.filePath("big.bin"), m_big);
        writeFile(m_served.filePath("small.txt"), "small\r\n");
        writeFile(m_served.filePath("empty.bin"), QByteArray());
        writeFile(m_served.filePath("cut.bin.short"), m_big);
        QVERIFY2(m_http.start(DownloadTestServer::Http, m_served.path()),
                 qPrintable(m_http.error()));
        QVERIFY2(m_ftp.start(DownloadTestServer::Ftp, m_served.path()), qPrintable(m_ftp.error()));
    }

    void downloadWritesTheFileByteExact_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("ftp");
        QTest::newRow("http") << "big.bin" << false;
        QTest::newRow("http without length") << "nolength/big.bin" << false;
        QTest::newRow("ftp") << "big.bin" << true;
    }
    void downloadWritesTheFileByteExact()
    {
        QFETCH(QString, path);
        QFETCH(bool, ftp);
        QTemporaryDir target;
        Downloader downloader;
        downloader.setURL((ftp ? m_ftp : m_http).url(path));
        downloader.setTargetFile(target.filePath("Velmora_Update"));
        const Outcome outcome = download(downloader);
        QCOMPARE(outcome.errors, QStringList());
        QCOMPARE(outcome.completed, 1);
        QCOMPARE(fileBytes(target.filePath("Velmora_Update")), m_big);
        QCOMPARE(downloader.Protocol(), ftp ? 2 : 4);

        // The phases in order: finding, connecting, request, (type), data begins, data, end.
        const QList<int> seen = codes(outcome);
        QCOMPARE(seen.first(), int(AsyncProp::FindingResource));
        QCOMPARE(seen.last(), int(AsyncProp::EndDownloadData));
        QVERIFY(seen.indexOf(AsyncProp::Connecting) < seen.indexOf(AsyncProp::SendingRequest));
        QVERIFY(seen.indexOf(AsyncProp::SendingRequest)
                < seen.indexOf(AsyncProp::BeginDownloadData));
        QCOMPARE(seen.count(AsyncProp::BeginDownloadData), 1);
        QVERIFY(seen.contains(AsyncProp::DownloadingData));
        QCOMPARE(seen.contains(AsyncProp::MimeTypeAvailable), !ftp);

        qint64 last = 0;
        for (const AsyncProp &p : outcome.progress) {
            QVERIFY(p.BytesRead >= last);
            last = p.BytesRead;
            QCOMPARE(p.PropertyName, QStringLiteral("TESTER"));
            QCOMPARE(p.AsyncType, int(AsyncProp::ByteArray));
            if (p.StatusCode == AsyncProp::DownloadingData)
                QCOMPARE(p.BytesMax, path.startsWith("nolength") ? 0 : m_big.size());
        }
        QCOMPARE(outcome.progress.last().BytesRead, m_big.size());
    }

    void ftpWithUserNameAndPassword()
    {
        QTemporaryDir target;
        Downloader downloader;
        downloader.setURL(m_ftp.url("small.txt"));
        downloader.setUserName("velmora");
        downloader.setPassword("secret");
        downloader.setTargetFile(target.filePath("small.txt"));
        QCOMPARE(download(downloader).completed, 1);
        QCOMPARE(fileBytes(target.filePath("small.txt")), QByteArray("small\r\n"));

        downloader.setPassword("wrong");
        QFile::remove(target.filePath("small.txt"));
        QCOMPARE(download(downloader).errors, QStringList{"Not Connected"});
        QVERIFY(!QFile::exists(target.filePath("small.txt")));
    }

    void aLongerExistingTargetIsReplacedWhole()
    {
        QTemporaryDir target;
        writeFile(target.filePath("small.txt"), QByteArray(100000, 'x'));
        Downloader downloader;
        downloader.setURL(m_http.url("small.txt"));
        downloader.setTargetFile(target.filePath("small.txt"));
        QCOMPARE(download(downloader).completed, 1);
        QCOMPARE(fileBytes(target.filePath("small.txt")), QByteArray("small\r\n"));
    }

    void anEmptyFileIsWritten()
    {
        QTemporaryDir target;
        Downloader downloader;
        downloader.setURL(m_http.url("empty.bin"));
        downloader.setTargetFile(target.filePath("empty.bin"));
        QCOMPARE(download(downloader).completed, 1);
        QCOMPARE(fileBytes(target.filePath("empty.bin")), QByteArray());
    }

    void failedTransferWritesNothing_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("http file refused") << m_http.url("missing.bin");
        QTest::newRow("ftp file missing") << m_ftp.url("missing.bin");
        // Cut short: never a file that could be run as an update.
        QTest::newRow("http shorter than announced") << m_http.url("short/big.bin");
        QTest::newRow("ftp shorter than announced") << m_ftp.url("cut.bin.short");
        QTest::newRow("nothing listening")
                << QStringLiteral("http://127.0.0.1:%1/x.bin").arg(closedLoopbackPort());
        QTest::newRow("name does not resolve") << "http://no-such-host.invalid/x.bin";
    }
    void failedTransferWritesNothing()
    {
        QFETCH(QString, url);
        QTemporaryDir target;
        Downloader downloader;
        downloader.setURL(url);
        downloader.setTargetFile(target.filePath("x.bin"));
        const Outcome outcome = download(downloader);
        QCOMPARE(outcome.errors, QStringList{"Not Connected"});
        QCOMPARE(outcome.completed, 0);
        QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void unwritableTargetIsNotConnected_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("missing folder") << "no-such-folder/x.bin";
        QTest::newRow("target ends in a slash") << "update/";
        QTest::newRow("target is .") << "update/.";
        QTest::newRow("target is ..") << "update/..";
        QTest::newRow("target is a folder") << "update";
    }
    void unwritableTargetIsNotConnected()
    {
        QFETCH(QString, relative);
        QTemporaryDir install;
        QVERIFY(QDir(install.path()).mkdir("update"));
        Downloader downloader;
        downloader.setURL(m_http.url("small.txt"));
        downloader.setTargetFile(install.filePath(relative));
        const Outcome outcome = download(downloader);
        QCOMPARE(outcome.errors, QStringList{"Not Connected"});
        QCOMPARE(outcome.completed, 0);
        QCOMPARE(QDir(install.path())
                         .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"update"});
        QCOMPARE(QDir(install.filePath("update"))
                         .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    void theInitialTargetIsNoFileName()
    {
        QTemporaryDir cwd;
        const QString before = QDir::currentPath();
        QDir::setCurrent(cwd.path());
        Downloader downloader;
        downloader.setURL(m_http.url("small.txt"));
        const Outcome outcome = download(downloader);
        QDir::setCurrent(before);
        QCOMPARE(outcome.errors, QStringList{"Not Connected"});
        QCOMPARE(QDir(cwd.path()).entryList(QDir::Files), QStringList());
    }

    void loadedControlNeedsItsUrlSetAgain()
    {
        PropertyBag bag;
        {
            Downloader saved;
            saved.setURL(m_http.url("small.txt"));
            saved.WriteProperties(bag);
        }
        QTemporaryDir target;
        Downloader loaded;
        loaded.ReadProperties(bag);
        loaded.setTargetFile(target.filePath("small.txt"));
        QCOMPARE(loaded.URL(), m_http.url("small.txt"));
        QCOMPARE(download(loaded).errors, QStringList{"Error : In AsyncRead"});

        loaded.setURL(loaded.URL());
        QCOMPARE(download(loaded).completed, 1);
        QCOMPARE(fileBytes(target.filePath("small.txt")), QByteArray("small\r\n"));
    }

    void asyncReadRefusals()
    {
        Downloader downloader;
        QSignalSpy errors(&downloader, &Downloader::DownloadError);
        downloader.AsyncRead("gopher://127.0.0.1/x", AsyncProp::ByteArray, "A");
        downloader.AsyncRead("http://127.0.0.1/x\n", AsyncProp::ByteArray, "A");
        downloader.AsyncRead(m_http.url("small.txt"), AsyncProp::Picture, "A");
        QCOMPARE(errors.size(), 3);
        for (const auto &e : errors)
            QCOMPARE(e.at(0).toString(), QStringLiteral("Error : In AsyncRead"));
        // One read per name at a time.
        downloader.AsyncRead(m_http.url("slow/big.bin"), AsyncProp::ByteArray, "A");
        downloader.AsyncRead(m_http.url("small.txt"), AsyncProp::ByteArray, "A");
        QCOMPARE(errors.size(), 4);
        QVERIFY(downloader.CancelAsyncRead("A"));
        QVERIFY(!downloader.CancelAsyncRead("A"));
    }

    void handlerFailuresComeBackAsErrors()
    {
        QTemporaryDir target;
        Downloader downloader;
        downloader.setURL(m_http.url("small.txt"));
        downloader.setTargetFile(target.filePath("small.txt"));
        QStringList events;
        bool failProgress = true;
        connect(&downloader, &Downloader::AsyncReadProgress, this, [&](const AsyncProp &p) {
            if (failProgress && p.StatusCode == AsyncProp::Connecting)
                downloader.reportHandlerFailure();
        });
        connect(&downloader, &Downloader::DownloadComplete, this, [&] {
            events.append("complete");
            downloader.reportHandlerFailure();
        });
        connect(&downloader, &Downloader::DownloadError, this,
                [&](const QString &e) { events.append(e); });
        downloader.DownloadFile();
        QTRY_VERIFY(events.contains("complete"));
        // The failing progress handler does not stop the read; the failing completion handler
        // is reported after it.
        QCOMPARE(events,
                 (QStringList{"Error : In AsyncReadProgress", "complete", "Not Connected"}));

        // Outside a handler the call means nothing.
        events.clear();
        failProgress = false;
        downloader.reportHandlerFailure();
        QTest::qWait(50);
        QCOMPARE(events, QStringList());
    }

    void cancelledOrDiscardedReadWritesNothing()
    {
        QTemporaryDir target;
        {
            Downloader downloader;
            downloader.setURL(m_http.url("slow/big.bin"));
            downloader.setTargetFile(target.filePath("a.bin"));
            QSignalSpy progress(&downloader, &Downloader::AsyncReadProgress);
            downloader.DownloadFile();
            QTRY_VERIFY(progress.size() > 3);
        }
        Downloader downloader;
        downloader.setURL(m_http.url("slow/big.bin"));
        downloader.setTargetFile(target.filePath("b.bin"));
        QSignalSpy progress(&downloader, &Downloader::AsyncReadProgress);
        QSignalSpy complete(&downloader, &Downloader::DownloadComplete);
        QSignalSpy errors(&downloader, &Downloader::DownloadError);
        downloader.DownloadFile();
        QTRY_VERIFY(progress.size() > 3);
        QVERIFY(downloader.CancelAsyncRead(Downloader::DownloadProperty));
        const int seen = progress.size();
        QTest::qWait(300);
        QCOMPARE(progress.size(), seen);
        QCOMPARE(complete.size() + errors.size(), 0);
        QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void executeReportsTheClientStates()
    {
        Downloader downloader;
        QList<int> states;
        connect(&downloader, &Downloader::StateChanged, this, [&](qint16 s) { states.append(s); });
        QSignalSpy done(&downloader.transferClient(), &InetClient::requestDone);
        QVERIFY(downloader.Execute(m_http.url("small.txt"), "GET"));
        QVERIFY(downloader.StillExecuting());
        QVERIFY(!downloader.Execute(m_http.url("small.txt"), "GET"));
        QVERIFY(!downloader.errorString().isEmpty());
        // The transfer client takes no download while it executes.
        QSignalSpy errors(&downloader, &Downloader::DownloadError);
        downloader.setURL(m_http.url("small.txt"));
        downloader.DownloadFile();
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Error : In DownloadFile"));

        QVERIFY(done.wait(10000));
        QVERIFY(done.at(0).at(0).toBool());
        QVERIFY(!downloader.StillExecuting());
        QCOMPARE(downloader.transferClient().responseBody(), QByteArray("small\r\n"));
        for (int s : {1, 2, 3, 4, 5, 6, 7, 8})
            QVERIFY2(states.contains(s), qPrintable(QString::number(s)));
        QVERIFY(states.indexOf(3) < states.indexOf(4));
        QVERIFY(states.indexOf(6) < states.indexOf(7));
        QCOMPARE(states.last(), 12);

        states.clear();
        QVERIFY(downloader.Execute(
                QStringLiteral("http://127.0.0.1:%1/").arg(closedLoopbackPort())));
        QTRY_VERIFY(!downloader.StillExecuting());
        QCOMPARE(states.last(), 11);
    }

    void executeSendsMethodBodyAndHeaders()
    {
        Downloader downloader;
        QSignalSpy done(&downloader.transferClient(), &InetClient::requestDone);
        QVERIFY(downloader.Execute(m_http.url("small.txt"), "HEAD", {}, "X-Test: 1\r\n"));
        QVERIFY(done.wait(10000));
        QCOMPARE(downloader.transferClient().responseBody(), QByteArray());
        QVERIFY(downloader.transferClient().responseHeaders().contains("Content-Length: 7"));
        QVERIFY(downloader.Execute(m_ftp.base(), "DIR"));
        QVERIFY(done.wait(10000));
        QVERIFY(downloader.transferClient().responseBody().contains("big.bin"));
        QVERIFY(!downloader.Execute(m_ftp.base(), "RMDIR x"));
    }
};

QTEST_GUILESS_MAIN(TstDownloader)
#include "tst_downloader.moc"
