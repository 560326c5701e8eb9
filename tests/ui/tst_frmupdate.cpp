#include "core/activitylog.h"
#include "download/downloader.h"
#include "window/frmupdate.h"

#include "common/clock.h"

#include "updates/downloadtestserver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

namespace {

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

QStringList entries(const QString &dir)
{
    QStringList result;
    QDir d(dir);
    for (const QFileInfo &info :
         d.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        result.append(info.fileName());
        if (info.isDir())
            for (const QString &inner : entries(info.filePath()))
                result.append(info.fileName() + "/" + inner);
    }
    return result;
}

// Waits until the window has closed (the gateway's event loop then deletes it).
bool closed(const QPointer<FrmUpdate> &window, int timeoutMs = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (window && !window->isClosed() && timer.elapsed() < timeoutMs)
        QTest::qWait(20);
    return !window || window->isClosed();
}

QString labelText(QWidget *window, const char *name)
{
    return window->findChild<QLabel *>(QLatin1String(name))->text();
}

} // namespace

class TstFrmUpdate : public QObject
{
    Q_OBJECT

    QTemporaryDir m_served;
    DownloadTestServer m_http;
    DownloadTestServer m_ftp;
    QString m_marker;
    QByteArray m_script;
    bool m_trayAvailable = true;

    ActivityLog *m_log = nullptr;
    QStringList m_lines;
    QTemporaryDir *m_install = nullptr;

    QString programDir() const { return m_install->filePath("MainApp"); }
    QString updateDir() const { return m_install->filePath("update"); }

    // The window may be gone by the time StartDownload returns.
    QPointer<FrmUpdate> open(const QString &url, const QByteArray &sha256 = {})
    {
        QPointer<FrmUpdate> window = new FrmUpdate(*m_log);
        window->setTrayAvailability([this] { return m_trayAvailable; });
        window->setProgramDir(programDir());
        window->StartDownload(url, sha256);
        return window;
    }

    void setConnection(const QString &key, const QVariant &value)
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Corvell", "Corvell");
        if (value.isValid())
            settings.setValue("Connection/" + key, value);
        else
            settings.remove("Connection/" + key);
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "HTTP_PROXY", "ftp_proxy", "all_proxy", "ALL_PROXY"})
            qunsetenv(name);
        QVERIFY(QSettings(QSettings::IniFormat, QSettings::UserScope, "Corvell", "Corvell")
                        .fileName()
                        .startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        m_marker = m_served.filePath("ran.log");
        // The "updater" the tests download records where it ran from.
        m_script = "#!/bin/sh\necho \"$0\" >> '" + m_marker.toUtf8() + "'\n";
        writeFile(m_served.filePath("Velmora_Update"), m_script);
        writeFile(m_served.filePath("big_update"), m_script + "#" + QByteArray(200000, 'p') + "\n");
        writeFile(m_served.filePath("garbage"), QByteArray(5000, '\x01'));
        QVERIFY2(m_http.start(DownloadTestServer::Http, m_served.path()),
                 qPrintable(m_http.error()));
        QVERIFY2(m_ftp.start(DownloadTestServer::Ftp, m_served.path()), qPrintable(m_ftp.error()));
    }

    void init()
    {
        m_install = new QTemporaryDir;
        QVERIFY(QDir(m_install->path()).mkpath("MainApp"));
        QVERIFY(QDir(m_install->path()).mkpath("update"));
        m_log = new ActivityLog(SystemClock::instance());
        m_lines.clear();
        connect(m_log, &ActivityLog::textAppended, this, [this](const QString &piece) {
            m_lines.append(piece.mid(piece.indexOf(" > ") + 3));
        });
        QFile::remove(m_marker);
        m_trayAvailable = true;
        setConnection("dWindow", {});
        setConnection("Type", {});
        setConnection("ProxyAddr", {});
    }

    void cleanup()
    {
        // Windows still open go before the log they write to.
        QList<QPointer<FrmUpdate>> windows;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *window = qobject_cast<FrmUpdate *>(w))
                windows.append(window);
        for (const QPointer<FrmUpdate> &window : windows)
            delete window.data();
        delete m_log;
        delete m_install;
    }

    void downloadsAndRunsTheUpdater_data()
    {
        QTest::addColumn<bool>("ftp");
        QTest::newRow("http") << false;
        QTest::newRow("ftp") << true;
    }
    void downloadsAndRunsTheUpdater()
    {
        QFETCH(bool, ftp);
        QPointer<FrmUpdate> window = open((ftp ? m_ftp : m_http).url("Velmora_Update"));
        const QString target = updateDir() + "/Velmora_Update";
        if (window) {
            QCOMPARE(window->TargetPath(), target);
            QCOMPARE(labelText(window, "lblCaption"), QStringLiteral("正在下载最新版本，请稍后……"));
            QCOMPARE(labelText(window, "lblProtocol"),
                     ftp ? QStringLiteral("FTP") : QStringLiteral("HTTP"));
            QCOMPARE(window->trayIcon()->toolTip(), DownloadProgress::trayTip(target));
        }
        QVERIFY(closed(window));
        QCOMPARE(m_lines, QStringList());
        QCOMPARE(fileBytes(target), m_script);
        QVERIFY(QFile::permissions(target) & QFileDevice::ExeOwner);
        QTRY_COMPARE(fileBytes(m_marker), target.toUtf8() + "\n");
    }

    void progressIsShownWhileDownloading()
    {
        QPointer<FrmUpdate> window = open(m_http.url("slow/big_update"));
        QVERIFY(window);
        auto *bar = window->findChild<QLabel *>("chkPrg");
        QTRY_VERIFY(bar->isVisible() && bar->text().endsWith("%"));
        QVERIFY(labelText(window, "lblTime").startsWith(QStringLiteral("已经下载 : "))
                || labelText(window, "lblTime").startsWith(QStringLiteral("时间 : ")));
        QTRY_VERIFY(bar->width() > 0);
        QTRY_VERIFY_WITH_TIMEOUT(labelText(window, "lblTime").startsWith(QStringLiteral("时间 : ")),
                                 10000);
        QVERIFY(window->close());
    }

    void failuresAreLoggedAndCloseTheWindow_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("removeUpdateFolder");
        QTest::addColumn<QString>("logged");
        QTest::newRow("file refused")
                << m_http.url("no-such-file") << false << "发生错误 : Not Connected";
        QTest::newRow("nothing listening")
                << QStringLiteral("http://127.0.0.1:%1/Velmora_Update").arg(closedLoopbackPort())
                << false << "发生错误 : Not Connected";
        QTest::newRow("no update folder")
                << m_http.url("Velmora_Update") << true << "发生错误 : Not Connected";
        QTest::newRow("url ends in /") << m_http.url("") << false << "发生错误 : Not Connected";
        QTest::newRow("name is .") << m_http.url(".") << false << "发生错误 : Not Connected";
        QTest::newRow("name is ..") << m_http.url("..") << false << "发生错误 : Not Connected";
        QTest::newRow("not a program")
                << m_http.url("garbage") << false << "发生错误 : Not Connected";
        QTest::newRow("empty url") << QString() << false << "发生错误 : Error : In AsyncRead";
        QTest::newRow("line break after the url")
                << m_http.url("Velmora_Update\r\n") << false << "发生错误 : Error : In AsyncRead";
    }
    void failuresAreLoggedAndCloseTheWindow()
    {
        QFETCH(QString, url);
        QFETCH(bool, removeUpdateFolder);
        QFETCH(QString, logged);
        if (removeUpdateFolder)
            QVERIFY(QDir(updateDir()).removeRecursively());
        const QStringList before = entries(m_install->path());
        QPointer<FrmUpdate> window = open(url);
        QVERIFY(closed(window));
        QCOMPARE(m_lines, QStringList{logged});
        QStringList after = entries(m_install->path());
        // Only a downloaded file that could not be started stays.
        after.removeAll("update/garbage");
        QCOMPARE(after, before);
        QVERIFY(!QFile::exists(m_marker));
    }

    void closingCancels_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("close picture") << "imgClose";
        QTest::newRow("Stop Download") << "mnuStop";
    }
    void closingCancels()
    {
        QFETCH(QString, how);
        QPointer<FrmUpdate> window = open(m_http.url("slow/big_update"));
        QVERIFY(window);
        QTRY_VERIFY(window->findChild<QLabel *>("chkPrg")->isVisible());
        if (how == "imgClose")
            QTest::mouseClick(window->findChild<QLabel *>("imgClose"), Qt::LeftButton);
        else
            window->findChild<QAction *>("mnuStop")->trigger();
        QVERIFY(closed(window));
        QTest::qWait(1500);
        QCOMPARE(m_lines, QStringList());
        QCOMPARE(entries(updateDir()), QStringList());
        QVERIFY(!QFile::exists(m_marker));
    }

    void minimiseHidesAndTheTrayMenuShows()
    {
        QPointer<FrmUpdate> window = open(m_http.url("slow/big_update"));
        QVERIFY(window && window->isVisible());
        QTest::mouseClick(window->findChild<QLabel *>("imgMin"), Qt::LeftButton);
        QVERIFY(!window->isVisible());
        QVERIFY(window->trayIcon());
        window->findChild<QAction *>("mnuShow")->trigger();
        QVERIFY(window->isVisible());
        QCOMPARE(window->trayMenu()->actions().size(), 2);
        QCOMPARE(window->trayMenu()->actions().at(0)->text(), QStringLiteral("Show Download"));
        QCOMPARE(window->trayMenu()->actions().at(1)->text(), QStringLiteral("Stop Download"));
        window->close();
    }

    void withoutATrayTheWindowMinimisesInsteadOfHiding()
    {
        m_trayAvailable = false;
        setConnection("dWindow", "1");
        QPointer<FrmUpdate> window = open(m_http.url("slow/big_update"));
        QVERIFY(window && window->isVisible() && window->isMinimized());
        window->showNormal();
        QTest::mouseClick(window->findChild<QLabel *>("imgMin"), Qt::LeftButton);
        QVERIFY(window->isVisible() && window->isMinimized());
        // The entry waits for a tray to appear.
        QVERIFY(window->trayIcon() && window->trayIcon()->isVisible());
        window->close();
    }

    void dWindowHidesTheWindowRightAfterTheStart_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("1") << "1" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("not a number") << "yes" << false;
        QTest::newRow("leading number") << "2x" << true;
    }
    void dWindowHidesTheWindowRightAfterTheStart()
    {
        QFETCH(QString, value);
        QFETCH(bool, hidden);
        setConnection("dWindow", value);
        QPointer<FrmUpdate> window = open(m_http.url("slow/big_update"));
        QVERIFY(window);
        QCOMPARE(window->isVisible(), !hidden);
        window->findChild<QAction *>("mnuShow")->trigger();
        QVERIFY(window->isVisible());
        window->close();
    }

    void connectionSettings()
    {
        QPointer<FrmUpdate> window = open(m_http.url("slow/big_update"));
        QCOMPARE(window->downCtl()->Proxy(), QString());
        window->close();

        setConnection("ProxyAddr", "127.0.0.1:1");
        setConnection("ProxyUsr", "user");
        setConnection("ProxyPass", "pass");
        setConnection("Type", "Direct");
        window = open(m_http.url("slow/big_update"));
        QCOMPARE(window->downCtl()->Proxy(), QString());
        QCOMPARE(window->downCtl()->UserName(), QString());
        window->close();

        // "Proxy" is the default type: the download goes through the proxy with the
        // credentials.
        setConnection("Type", {});
        setConnection("ProxyAddr", QStringLiteral("127.0.0.1:%1").arg(m_http.port()));
        QFile::remove(m_served.filePath("proxy.log"));
        window = open(m_http.url("Velmora_Update"));
        QVERIFY(closed(window));
        QCOMPARE(m_lines, QStringList());
        QCOMPARE(fileBytes(m_served.filePath("proxy.log")),
                 m_http.url("Velmora_Update").toUtf8() + " Basic "
                         + QByteArray("user:pass").toBase64() + "\n");
        QTRY_VERIFY(QFile::exists(m_marker));
        setConnection("ProxyUsr", {});
        setConnection("ProxyPass", {});
    }

    void twoWindowsAtOnce()
    {
        QPointer<FrmUpdate> first = open(m_http.url("slow/big_update"));
        QPointer<FrmUpdate> second = open(m_http.url("slow/big_update"));
        QVERIFY(first && second && first != second);
        QVERIFY(first->trayIcon() != second->trayIcon());
        QCOMPARE(first->TargetPath(), second->TargetPath());
        QVERIFY(closed(first, 30000));
        QVERIFY(closed(second, 30000));
        QCOMPARE(m_lines, QStringList());
        QTRY_COMPARE(fileBytes(m_marker).count('\n'), 2);
    }

    void digestDecidesWhetherTheUpdaterRuns_data()
    {
        QTest::addColumn<bool>("matches");
        QTest::newRow("match") << true;
        QTest::newRow("mismatch") << false;
    }
    void digestDecidesWhetherTheUpdaterRuns()
    {
        QFETCH(bool, matches);
        QByteArray digest = QCryptographicHash::hash(m_script, QCryptographicHash::Sha256);
        if (!matches)
            digest[0] = char(digest[0] ^ 1);
        QPointer<FrmUpdate> window = open(m_http.url("Velmora_Update"), digest);
        QVERIFY(closed(window));
        const QString target = updateDir() + "/Velmora_Update";
        if (matches) {
            QCOMPARE(m_lines, QStringList());
            QTRY_COMPARE(fileBytes(m_marker), target.toUtf8() + "\n");
        } else {
            QCOMPARE(m_lines.size(), 1);
            QVERIFY(m_lines.at(0).startsWith(QStringLiteral("发生错误 : ")));
            QVERIFY(m_lines.at(0).contains("SHA-256"));
            QVERIFY(!QFile::exists(target));
            QTest::qWait(300);
            QVERIFY(!QFile::exists(m_marker));
        }
    }

    // A body that may have been cut off never replaces the updater in place nor runs.
    void completenessDecidesWhetherTheUpdaterRuns_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("withDigest");
        QTest::addColumn<bool>("runs");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cut, no length, no digest")
                << "cut/Velmora_Update" << false << false << QStringLiteral("无法确认下载完整");
        QTest::newRow("whole, no length, no digest") << "nolength/Velmora_Update" << false << false
                                                     << QStringLiteral("无法确认下载完整");
        QTest::newRow("cut, no length, digest")
                << "cut/Velmora_Update" << true << false << QStringLiteral("SHA-256");
        QTest::newRow("whole, no length, digest")
                << "nolength/Velmora_Update" << true << true << QString();
        QTest::newRow("length, no digest") << "Velmora_Update" << false << true << QString();
    }
    void completenessDecidesWhetherTheUpdaterRuns()
    {
        QFETCH(QString, path);
        QFETCH(bool, withDigest);
        QFETCH(bool, runs);
        QFETCH(QString, reason);
        const QString target = updateDir() + "/Velmora_Update";
        const QByteArray previous = "#!/bin/sh\necho previous >> '" + m_marker.toUtf8() + "'\n";
        writeFile(target, previous);
        const QByteArray digest = withDigest
                ? QCryptographicHash::hash(m_script, QCryptographicHash::Sha256)
                : QByteArray();
        QPointer<FrmUpdate> window = open(m_http.url(path), digest);
        QVERIFY(closed(window));
        QCOMPARE(entries(updateDir()), QStringList{"Velmora_Update"});
        if (runs) {
            QCOMPARE(m_lines, QStringList());
            QCOMPARE(fileBytes(target), m_script);
            QTRY_COMPARE(fileBytes(m_marker), target.toUtf8() + "\n");
        } else {
            QCOMPARE(m_lines.size(), 1);
            QVERIFY(m_lines.at(0).startsWith(QStringLiteral("发生错误 : ")));
            QVERIFY2(m_lines.at(0).contains(reason), qPrintable(m_lines.at(0)));
            QCOMPARE(fileBytes(target), previous);
            QTest::qWait(300);
            QVERIFY(!QFile::exists(m_marker));
        }
    }

    void opener()
    {
        const auto open = FrmUpdate::opener(*m_log, nullptr);
        open(m_http.url("slow/big_update"), {});
        const auto windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(
                         windows.begin(), windows.end(),
                         [](QWidget *w) { return qobject_cast<FrmUpdate *>(w) && w->isVisible(); }),
                 1);
    }
};

int main(int argc, char *argv[])
{
    // The per-user settings of the tests live in a folder of their own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    TstFrmUpdate test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_frmupdate.moc"
