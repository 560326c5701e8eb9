#include "modemsimprocess.h"
#include "simcontrols.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// velmora-gatewayd as systemd sees it: what it says on the notify socket, the priorities of its
// journal lines, a Config.ini it cannot read, and the program folder it shares with the window
// program.
class TestServiceManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void unreadableConfigRefusesTheStart();
    void unreadableConfigKeepsTheRunningSettings();
    void statusNamesDatabaseDevicesAndQueue();
    void noReadyAfterStopping();
    void failuresReachTheJournalAsErrors();
    void windowProgramAndServiceShareTheFolderLock();

private:
    std::unique_ptr<RegisteredControls> m_controls;
};

namespace {

constexpr int Wait = 30000;

// The socket systemd gives a Type=notify service, as a datagram socket of the test's own.
class NotifySocket
{
public:
    NotifySocket()
    {
        m_path = m_dir.filePath(QStringLiteral("notify"));
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(m_path);
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~NotifySocket() { ::close(m_fd); }

    bool isBound() const { return m_bound; }
    QString path() const { return m_path; }
    // Every message so far, one state ("READY=1", "STATUS=...") per entry, in order.
    const QStringList &messages()
    {
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0) {
            m_messages += QString::fromUtf8(buffer, n).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
        return m_messages;
    }
    bool waitFor(const QString &start, QProcess &process)
    {
        for (QDeadlineTimer deadline(Wait); !deadline.hasExpired();) {
            for (const QString &m : messages()) {
                if (m.startsWith(start))
                    return true;
            }
            if (process.state() == QProcess::NotRunning)
                return false;
            process.waitForFinished(100);
        }
        return false;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_fd = -1;
    bool m_bound = false;
    QStringList m_messages;
};

class Folder
{
public:
    explicit Folder(const QString &config)
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("DataBase"));
        QFile::copy(qEnvironmentVariable("VELMORA_BUILD_DIR")
                            + QStringLiteral("/install-root/MainApp/DataBase/SMS.db"),
                    m_dir.filePath(QStringLiteral("DataBase/SMS.db")));
        writeConfig(config);
    }
    QString path() const { return m_dir.path(); }
    QString configPath() const { return m_dir.filePath(QStringLiteral("Config.ini")); }
    void writeConfig(const QString &config)
    {
        QFile file(configPath());
        if (file.open(QIODevice::WriteOnly))
            file.write(config.toUtf8());
    }
    // A Config.ini that exists and cannot be read, whoever runs the test (root reads any
    // file whatever its mode).
    bool makeConfigUnreadable()
    {
        return QFile::remove(configPath()) && QDir().mkdir(configPath());
    }

private:
    QTemporaryDir m_dir;
};

QString config(int devices)
{
    QStringList ports;
    QStringList rates;
    for (int i = 1; i <= devices; ++i) {
        ports << QString::number(i);
        rates << QStringLiteral("115200");
    }
    return QStringLiteral("[DBCon]\nScanDT=200\n[SMSCom]\nPort=%1\nRate=%2\n")
            .arg(devices ? ports.join(QLatin1Char(',')) : QStringLiteral("\"\""),
                 rates.join(QLatin1Char(',')));
}

void setUp(QProcess &daemon, const QString &folder, const NotifySocket *notify = nullptr)
{
    daemon.setProgram(qEnvironmentVariable("VELMORA_GATEWAYD"));
    daemon.setArguments({QStringLiteral("--program-dir"), folder});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (notify)
        env.insert(QStringLiteral("NOTIFY_SOCKET"), notify->path());
    daemon.setProcessEnvironment(env);
}

bool waitForOutput(QProcess &daemon, const QString &text, QString *out)
{
    for (QDeadlineTimer deadline(Wait); !out->contains(text);) {
        if (deadline.hasExpired() || daemon.state() == QProcess::NotRunning)
            return false;
        daemon.waitForReadyRead(200);
        *out += QString::fromUtf8(daemon.readAllStandardOutput());
    }
    return true;
}

void end(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(Wait))
        process.kill();
}

} // namespace

void TestServiceManager::initTestCase()
{
    m_controls = std::make_unique<RegisteredControls>();
    QVERIFY2(m_controls->isRegistered(), qPrintable(m_controls->errorString()));
}

void TestServiceManager::unreadableConfigRefusesTheStart()
{
    // Once the defaults were taken in silence: COM1 at 9600, no page, and "ready".
    Folder folder(config(0));
    QVERIFY(folder.makeConfigUnreadable());
    NotifySocket notify;
    QVERIFY(notify.isBound());
    QProcess daemon;
    setUp(daemon, folder.path(), &notify);
    daemon.start();
    QVERIFY(daemon.waitForFinished(Wait));
    const QString out = QString::fromUtf8(daemon.readAllStandardOutput());
    QCOMPARE(daemon.exitCode(), 78);
    QVERIFY2(out.contains(QStringLiteral("无法读取")) && out.contains(QStringLiteral("服务不启动")),
             qPrintable(out));
    QVERIFY2(!out.contains(QStringLiteral("系统服务启动……")), qPrintable(out));
    const QStringList said = notify.messages();
    QVERIFY2(!said.contains(QStringLiteral("READY=1")), qPrintable(said.join(u'|')));
    QVERIFY2(said.filter(QStringLiteral("STATUS=")).join(u'|').contains(folder.configPath()),
             qPrintable(said.join(u'|')));
}

void TestServiceManager::unreadableConfigKeepsTheRunningSettings()
{
    Folder folder(config(0));
    QProcess daemon;
    setUp(daemon, folder.path());
    daemon.start();
    QString out;
    QVERIFY2(waitForOutput(daemon, QStringLiteral("GSM&GPRS模块未配置"), &out), qPrintable(out));
    QVERIFY(folder.makeConfigUnreadable());
    ::kill(pid_t(daemon.processId()), SIGHUP);
    QVERIFY2(waitForOutput(daemon, QStringLiteral("保持原有配置继续运行"), &out), qPrintable(out));
    QVERIFY2(!out.contains(QStringLiteral("系统服务停止……")), qPrintable(out));
    QCOMPARE(daemon.state(), QProcess::Running);
    end(daemon);
}

void TestServiceManager::statusNamesDatabaseDevicesAndQueue()
{
    ModemSimProcess sim(2);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    Folder folder(config(2));
    NotifySocket notify;
    QProcess daemon;
    setUp(daemon, folder.path(), &notify);
    daemon.start();
    QVERIFY(notify.waitFor(QStringLiteral("READY=1"), daemon));
    QVERIFY2(notify.waitFor(QStringLiteral("STATUS=数据库已连接，设备2/2在线，内存剩余短信:0"),
                            daemon),
             qPrintable(notify.messages().join(u'|')));

    // A modem that goes away shows within the next few seconds.
    QVERIFY(sim.vanish(2));
    QVERIFY2(notify.waitFor(QStringLiteral("STATUS=数据库已连接，设备1/2在线"), daemon),
             qPrintable(notify.messages().join(u'|')));
    end(daemon);
}

void TestServiceManager::noReadyAfterStopping()
{
    // A silent modem holds the start's first round for its probe time; SIGTERM comes meanwhile.
    ModemSimProcess sim(1);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    QVERIFY(sim.setSilent(1, true));
    Folder folder(config(1));
    NotifySocket notify;
    QProcess daemon;
    setUp(daemon, folder.path(), &notify);
    daemon.start();
    QString out;
    QVERIFY2(waitForOutput(daemon, QStringLiteral("系统服务启动……"), &out), qPrintable(out));
    ::kill(pid_t(daemon.processId()), SIGTERM);
    QVERIFY(daemon.waitForFinished(Wait));
    const QStringList said = notify.messages();
    const qsizetype stopping = said.indexOf(QStringLiteral("STOPPING=1"));
    QVERIFY2(stopping >= 0, qPrintable(said.join(u'|')));
    QVERIFY2(!said.mid(stopping).contains(QStringLiteral("READY=1")), qPrintable(said.join(u'|')));
}

void TestServiceManager::failuresReachTheJournalAsErrors()
{
    // Standard output is "the journal" when $JOURNAL_STREAM names its device and inode.
    Folder folder(config(0));
    QFile::remove(folder.path() + QStringLiteral("/DataBase/SMS.db"));
    QTemporaryDir logDir;
    const QString logPath = logDir.filePath(QStringLiteral("journal"));
    QFile(logPath).open(QIODevice::WriteOnly);
    struct stat st = {};
    QVERIFY(::stat(QFile::encodeName(logPath).constData(), &st) == 0);
    QProcess daemon;
    setUp(daemon, folder.path());
    QProcessEnvironment env = daemon.processEnvironment();
    env.insert(QStringLiteral("JOURNAL_STREAM"),
               QStringLiteral("%1:%2").arg(qulonglong(st.st_dev)).arg(qulonglong(st.st_ino)));
    daemon.setProcessEnvironment(env);
    daemon.setStandardOutputFile(logPath, QIODevice::Append);
    daemon.start();
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QString text;
    for (QDeadlineTimer deadline(Wait); !text.contains(QStringLiteral("error: "));) {
        QVERIFY2(!deadline.hasExpired(), qPrintable(text));
        QTest::qWait(100);
        text += QString::fromUtf8(log.readAll());
    }
    end(daemon);
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.contains(QStringLiteral("<6>系统服务启动……")), qPrintable(text));
    QVERIFY2(lines.contains(QStringLiteral("<3>数据库连接失败……")), qPrintable(text));
    QVERIFY2(lines.filter(QStringLiteral("error: ")).first().startsWith(QStringLiteral("<3>")),
             qPrintable(text));
}

void TestServiceManager::windowProgramAndServiceShareTheFolderLock()
{
    // The window program uses the folder it is installed in; the service is pointed at it.
    const QString mainApp =
            qEnvironmentVariable("VELMORA_BUILD_DIR") + QStringLiteral("/install-root/MainApp");
    QProcess window;
    window.start(mainApp + QStringLiteral("/Velmora"), {});
    QVERIFY(window.waitForStarted(Wait));
    QLockFile probe(mainApp + QStringLiteral("/velmora-gatewayd.lock"));
    for (QDeadlineTimer deadline(Wait); probe.tryLock(0); QTest::qWait(100)) {
        probe.unlock();
        QVERIFY2(!deadline.hasExpired() && window.state() == QProcess::Running,
                 qPrintable(window.readAllStandardError()));
    }

    QProcess daemon;
    setUp(daemon, mainApp);
    daemon.start();
    QVERIFY(daemon.waitForFinished(Wait));
    end(window);
    const QString error = QString::fromUtf8(daemon.readAllStandardError());
    QCOMPARE(daemon.exitCode(), 1);
    QVERIFY2(error.contains(QStringLiteral("the window program runs on")), qPrintable(error));
    QVERIFY(!QString::fromUtf8(daemon.readAllStandardOutput())
                     .contains(QStringLiteral("系统服务启动……")));
}

QTEST_GUILESS_MAIN(TestServiceManager)
#include "tst_servicemanager.moc"
