#include "modemsimprocess.h"
#include "simcontrols.h"
#include "webhookreceiverprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/ioctl.h>
#include <unistd.h>

// The gateway as a service: the program velmora-gatewayd run as a process on its own program
// folder, with the registered modem control, simulated modems and the shipped SQLite database.
class TestGatewayd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void linksNoGuiLibrary();
    void oneServicePerProgramFolder();
    void stopInTrafficFailsNoRow();
    void killThenStartLosesNothingAndSendsNothingTwice();
    void killedAtRandomMomentsSendsNothingTwice();
    void webhooksOutliveAKillAndAReceiverOutage();
    void healthAndMetrics();
    void healthFailsWithoutDatabase();
    void statusPageInBrowser();

private:
    std::unique_ptr<RegisteredControls> m_controls;
};

namespace {

constexpr int Wait = 30000;

QString daemonProgram()
{
    return qEnvironmentVariable("VELMORA_GATEWAYD");
}

// A program folder with Config.ini and a copy of the shipped database.
class ProgramFolder
{
public:
    explicit ProgramFolder(const QString &config, bool withDatabase = true)
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("DataBase"));
        if (withDatabase)
            QFile::copy(qEnvironmentVariable("VELMORA_BUILD_DIR")
                                + QStringLiteral("/install-root/MainApp/DataBase/SMS.db"),
                        databasePath());
        QFile file(m_dir.path() + QStringLiteral("/Config.ini"));
        if (file.open(QIODevice::WriteOnly))
            file.write(config.toUtf8());
    }
    ~ProgramFolder()
    {
        if (m_db.isValid())
            m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_dir.path());
    }

    QString path() const { return m_dir.path(); }
    QString databasePath() const { return m_dir.path() + QStringLiteral("/DataBase/SMS.db"); }

    int count(const QString &where)
    {
        QSqlQuery q(database());
        if (!q.exec(QStringLiteral("select count(*) from SMS where ") + where) || !q.next())
            return -1;
        return q.value(0).toInt();
    }
    QSet<qint64> keys(const QString &where)
    {
        QSet<qint64> out;
        QSqlQuery q(database());
        q.exec(QStringLiteral("select SysNo from SMS where ") + where);
        while (q.next())
            out << q.value(0).toLongLong();
        return out;
    }
    bool insertPending(int n, int first = 1)
    {
        QSqlQuery q(database());
        for (int i = first; i < first + n; ++i) {
            if (!q.exec(QStringLiteral("insert into SMS (CellNumber, SMSContent) values "
                                       "('139%1', 'msg %2')")
                                .arg(i, 5, 10, QLatin1Char('0'))
                                .arg(i)))
                return false;
        }
        return true;
    }

private:
    QSqlDatabase database()
    {
        if (!m_db.isValid()) {
            m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_dir.path());
            m_db.setDatabaseName(databasePath());
            m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
            m_db.open();
        }
        return m_db;
    }

    QTemporaryDir m_dir;
    QSqlDatabase m_db;
};

QString config(int devices, int scanMs = 200, int httpPort = 0)
{
    QStringList ports;
    QStringList rates;
    for (int i = 1; i <= devices; ++i) {
        ports << QString::number(i);
        rates << QStringLiteral("115200");
    }
    QString text = QStringLiteral("[DBCon]\nScanDT=%1\n[SMSCom]\nPort=%2\nRate=%3\n")
                           .arg(scanMs)
                           .arg(devices ? ports.join(QLatin1Char(',')) : QStringLiteral("\"\""),
                                rates.join(QLatin1Char(',')));
    if (httpPort)
        text += QStringLiteral("[Service]\nHttpPort=%1\n").arg(httpPort);
    return text;
}

class Daemon
{
public:
    explicit Daemon(const QString &programDir)
    {
        m_process.setProgram(daemonProgram());
        m_process.setArguments({QStringLiteral("--program-dir"), programDir});
    }
    ~Daemon()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start()
    {
        m_process.start();
        return m_process.waitForStarted(5000);
    }
    // Everything written to standard output so far.
    QString output()
    {
        m_out += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_out;
    }
    bool waitForLine(const QString &text)
    {
        QElapsedTimer timer;
        timer.start();
        while (!output().contains(text)) {
            if (timer.hasExpired(Wait) || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(200);
        }
        return true;
    }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QString m_out;
};

int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

struct Answer
{
    int status = 0;
    QString body;
};

Answer httpGet(int port, const QByteArray &path, const QByteArray &token = {})
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    Answer answer;
    if (!socket.waitForConnected(5000))
        return answer;
    socket.write("GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n"
                 + (token.isEmpty() ? QByteArray() : "Authorization: Bearer " + token + "\r\n")
                 + "\r\n");
    QByteArray data;
    while (socket.waitForReadyRead(5000))
        data += socket.readAll();
    data += socket.readAll();
    const qsizetype headEnd = data.indexOf("\r\n\r\n");
    answer.status = data.mid(9, 3).toInt();
    answer.body = QString::fromUtf8(data.mid(headEnd + 4));
    return answer;
}

// A real serial tty forgets its exclusive mark at its last close; a pseudo-terminal keeps it while
// the simulator holds the other end, so after a kill the test clears it as the kernel would.
bool releaseExclusive(const QString &device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool ok = ::ioctl(fd, TIOCNXCL) == 0;
    ::close(fd);
    return ok;
}

#define START_SIM(sim) \
    do { \
        QVERIFY2((sim).start(), qPrintable((sim).errorString())); \
        qputenv("VELMORA_PORTS_DIR", (sim).portsDir().toUtf8()); \
    } while (false)

#define START_DAEMON(daemon) \
    do { \
        QVERIFY((daemon).start()); \
        QVERIFY2((daemon).waitForLine(QStringLiteral("系统服务启动……")), \
                 qPrintable((daemon).output())); \
    } while (false)

} // namespace

void TestGatewayd::initTestCase()
{
    QVERIFY2(QFile::exists(daemonProgram()), qPrintable(daemonProgram()));
    m_controls = std::make_unique<RegisteredControls>();
    QVERIFY2(m_controls->isRegistered(), qPrintable(m_controls->errorString()));
}

void TestGatewayd::linksNoGuiLibrary()
{
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {QStringLiteral("-d"), daemonProgram()});
    QVERIFY(readelf.waitForFinished(10000));
    const QString needed = QString::fromUtf8(readelf.readAllStandardOutput());
    QVERIFY2(needed.contains(QStringLiteral("libQt6Core")), qPrintable(needed));
    QVERIFY2(!needed.contains(QStringLiteral("libQt6Gui")), qPrintable(needed));
    QVERIFY2(!needed.contains(QStringLiteral("libQt6Widgets")), qPrintable(needed));
    // Update downloads belong to the window program; the service carries no transfer library.
    QVERIFY2(!needed.contains(QStringLiteral("libcurl")), qPrintable(needed));
}

void TestGatewayd::oneServicePerProgramFolder()
{
    ProgramFolder one(config(0));
    ProgramFolder two(config(0));
    Daemon first(one.path());
    START_DAEMON(first);

    Daemon second(one.path());
    QVERIFY(second.start());
    QVERIFY(second.process().waitForFinished(Wait));
    QCOMPARE(second.process().exitCode(), 1);
    QVERIFY(!second.output().contains(QStringLiteral("系统服务启动……")));

    Daemon other(two.path());
    START_DAEMON(other);
    QVERIFY(first.process().state() == QProcess::Running);
}

void TestGatewayd::stopInTrafficFailsNoRow()
{
    ModemSimProcess sim(4);
    START_SIM(sim);
    QVERIFY(sim.setSendDelay(0, 300));
    ProgramFolder folder(config(4));
    QVERIFY(folder.insertPending(40));
    Daemon daemon(folder.path());
    START_DAEMON(daemon);
    QTRY_VERIFY_WITH_TIMEOUT(folder.count(QStringLiteral("Status=2")) >= 4, Wait);
    QTRY_VERIFY_WITH_TIMEOUT(folder.count(QStringLiteral("Status=1")) > 0, Wait);

    QElapsedTimer timer;
    timer.start();
    daemon.signal(SIGTERM);
    QVERIFY(daemon.process().waitForFinished(Wait));
    qInfo("ended %lld ms after SIGTERM", timer.elapsed());
    QCOMPARE(daemon.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(daemon.process().exitCode(), 0);
    QVERIFY(daemon.output().contains(QStringLiteral("系统服务停止……")));
    QCOMPARE(folder.count(QStringLiteral("Status=-1")), 0);
}

void TestGatewayd::killThenStartLosesNothingAndSendsNothingTwice()
{
    constexpr int Rows = 60;
    ModemSimProcess sim(4);
    START_SIM(sim);
    QVERIFY(sim.setSendDelay(0, 100));
    ProgramFolder folder(config(4));
    QVERIFY(folder.insertPending(Rows));
    {
        Daemon daemon(folder.path());
        START_DAEMON(daemon);
        QTRY_VERIFY_WITH_TIMEOUT(folder.count(QStringLiteral("Status=2")) >= 8, Wait);
        daemon.signal(SIGKILL);
        QVERIFY(daemon.process().waitForFinished(Wait));
    }
    for (int port = 1; port <= 4; ++port) {
        if (!releaseExclusive(sim.portPath(port)))
            QSKIP("clearing a pseudo-terminal's exclusive mark needs root");
    }
    QVERIFY(folder.count(QStringLiteral("Status=0")) > 0);

    Daemon again(folder.path());
    START_DAEMON(again);
    QTRY_VERIFY2_WITH_TIMEOUT(folder.count(QStringLiteral("Status=0")) == 0,
                              qPrintable(again.output()), Wait);
    // Rows still at 1 were in a modem's hands at the kill: never loaded again.
    QTRY_COMPARE_WITH_TIMEOUT(folder.count(QStringLiteral("Status=2"))
                                      + folder.count(QStringLiteral("Status=1")),
                              Rows, Wait);
    again.signal(SIGTERM);
    QVERIFY(again.process().waitForFinished(Wait));

    QSet<QString> seen;
    int submitted = 0;
    for (int port = 1; port <= 4; ++port) {
        for (const auto &s : sim.submitted(port)) {
            ++submitted;
            seen.insert(s.destination);
        }
    }
    QCOMPARE(submitted, seen.size());
    QVERIFY(submitted >= folder.count(QStringLiteral("Status=2")));
    QCOMPARE(folder.count(QStringLiteral("Status=-1")), 0);
}

// A row handed to its modem before its 1 was in the database came back at 0 after a kill and
// went on the air again.
void TestGatewayd::killedAtRandomMomentsSendsNothingTwice()
{
    constexpr int Rows = 1000;
    constexpr int Modems = 8;
    ModemSimProcess sim(Modems);
    START_SIM(sim);
    ProgramFolder folder(config(Modems));
    QVERIFY(folder.insertPending(Rows));
    for (int round = 0; round < 20 && folder.count(QStringLiteral("Status=0")) > 0; ++round) {
        {
            Daemon daemon(folder.path());
            START_DAEMON(daemon);
            QTest::qWait(int(QRandomGenerator::global()->bounded(400)));
            daemon.signal(SIGKILL);
            QVERIFY(daemon.process().waitForFinished(Wait));
        }
        for (int port = 1; port <= Modems; ++port) {
            if (!releaseExclusive(sim.portPath(port)))
                QSKIP("clearing a pseudo-terminal's exclusive mark needs root");
        }
    }
    Daemon last(folder.path());
    START_DAEMON(last);
    QTRY_VERIFY2_WITH_TIMEOUT(folder.count(QStringLiteral("Status=0")) == 0,
                              qPrintable(last.output()), Wait);
    last.signal(SIGTERM);
    QVERIFY(last.process().waitForFinished(Wait));

    QSet<QString> seen;
    int submitted = 0;
    for (int port = 1; port <= Modems; ++port) {
        for (const auto &s : sim.submitted(port)) {
            ++submitted;
            seen.insert(s.destination);
        }
    }
    QCOMPARE(submitted, seen.size());
    QCOMPARE(folder.count(QStringLiteral("Status=2")) + folder.count(QStringLiteral("Status=1")),
             Rows);
}

// Each event is in the outbox before its row's result reaches the database, so a row at 2 after
// a kill has its message.sent coming, under the one webhook-id it was first given, also when the
// receiver was down through the kill and the restart.
void TestGatewayd::webhooksOutliveAKillAndAReceiverOutage()
{
    constexpr int Rows = 40;
    const QString secret = QStringLiteral("whsec_MfKQ9r8GKYqrTwjUPD8ILPZIo2LaLaSw");
    WebhookReceiverProcess receiver(secret);
    ModemSimProcess sim(4);
    START_SIM(sim);
    QVERIFY(sim.setSendDelay(0, 100));
    ProgramFolder folder(
            config(4)
            + QStringLiteral("[Webhooks]\nUrl=%1\nSecret=%2\n").arg(receiver.url(), secret));
    QVERIFY(folder.insertPending(Rows));
    QElapsedTimer down;
    {
        Daemon daemon(folder.path());
        START_DAEMON(daemon);
        QTRY_VERIFY_WITH_TIMEOUT(folder.count(QStringLiteral("Status=2")) >= 8, Wait);
        // From here the events wait in the outbox and are tried again, across the kill.
        receiver.stop();
        down.start();
        QTRY_VERIFY_WITH_TIMEOUT(folder.count(QStringLiteral("Status=2")) >= 16, Wait);
        daemon.signal(SIGKILL);
        QVERIFY(daemon.process().waitForFinished(Wait));
    }
    for (int port = 1; port <= 4; ++port) {
        if (!releaseExclusive(sim.portPath(port)))
            QSKIP("clearing a pseudo-terminal's exclusive mark needs root");
    }
    Daemon again(folder.path());
    START_DAEMON(again);
    QTRY_VERIFY_WITH_TIMEOUT(folder.count(QStringLiteral("Status=0")) == 0, Wait);
    QTest::qWait(int(qMax<qint64>(0, 5000 - down.elapsed())));
    QVERIFY(receiver.start());

    const QSet<qint64> sent = folder.keys(QStringLiteral("Status=2"));
    QVERIFY(sent.size() > Rows / 2);
    QHash<qint64, QSet<QString>> idsOfSent;
    const auto arrived = [&] {
        idsOfSent.clear();
        for (const QJsonObject &post : receiver.posts()) {
            const QJsonObject event =
                    QJsonDocument::fromJson(post.value(QStringLiteral("body")).toString().toUtf8())
                            .object();
            if (event.value(QStringLiteral("type")).toString() == QLatin1String("message.sent"))
                idsOfSent[event.value(QStringLiteral("data")).toObject().value("id").toInteger()]
                        << post.value(QStringLiteral("id")).toString();
        }
        return std::all_of(sent.cbegin(), sent.cend(),
                           [&](qint64 key) { return idsOfSent.contains(key); });
    };
    QTRY_VERIFY2_WITH_TIMEOUT(arrived(), qPrintable(again.output()), Wait);
    for (const QJsonObject &post : receiver.posts())
        QVERIFY2(post.value(QStringLiteral("valid")).toBool(),
                 qPrintable(post.value(QStringLiteral("body")).toString()));
    for (auto it = idsOfSent.cbegin(); it != idsOfSent.cend(); ++it)
        QVERIFY2(it.value().size() == 1, qPrintable(QString::number(it.key())));
}

void TestGatewayd::healthAndMetrics()
{
    ModemSimProcess sim(2);
    START_SIM(sim);
    const int port = freePort();
    ProgramFolder folder(config(2, 200, port));
    QVERIFY(folder.insertPending(3));
    Daemon daemon(folder.path());
    START_DAEMON(daemon);
    QTRY_COMPARE_WITH_TIMEOUT(folder.count(QStringLiteral("Status=2")), 3, Wait);

    QCOMPARE(httpGet(port, "/healthz").status, 200);
    QTRY_VERIFY_WITH_TIMEOUT(
            httpGet(port, "/metrics")
                    .body.contains(QStringLiteral("velmora_send_duration_seconds_count 3\n")),
            Wait);
    // Both modems open in the first round, the second perhaps after the three were sent.
    QTRY_VERIFY_WITH_TIMEOUT(
            httpGet(port, "/metrics").body.contains(QStringLiteral("velmora_devices_up 2\n")),
            Wait);
    const Answer metrics = httpGet(port, "/metrics");
    QCOMPARE(metrics.status, 200);
    for (const char *line :
         {"velmora_devices_up 2\n", "velmora_database_up 1\n", "velmora_queue_length 0\n",
          "velmora_send_duration_seconds_bucket{le=\"+Inf\"} 3\n",
          "velmora_messages_failed_total{device=\"0\",port=\"Com1\"} 0\n",
          "velmora_device_signal{device=\"1\",port=\"Com2\"} 23\n",
          "velmora_device_registered{device=\"1\",port=\"Com2\"} 1\n"})
        QVERIFY2(metrics.body.contains(QLatin1String(line)),
                 qPrintable(QString::fromLatin1(line)
                            + metrics.body.split(QLatin1Char('\n'))
                                      .filter(QRegularExpression(QStringLiteral("^velmora_dev")))
                                      .join(QLatin1Char(';'))));
    int sent = 0;
    for (const QString &l : metrics.body.split(QLatin1Char('\n'))) {
        if (l.startsWith(QLatin1String("velmora_messages_sent_total{")))
            sent += l.section(QLatin1Char(' '), -1).toInt();
    }
    QCOMPARE(sent, 3);
    QCOMPARE(httpGet(port, "/nothing").status, 404);
}

void TestGatewayd::healthFailsWithoutDatabase()
{
    const int port = freePort();
    ProgramFolder folder(config(0, 200, port), false);
    Daemon daemon(folder.path());
    START_DAEMON(daemon);
    QVERIFY(daemon.waitForLine(QStringLiteral("error: ")));
    QCOMPARE(httpGet(port, "/healthz").status, 503);
    QVERIFY(httpGet(port, "/metrics").body.contains(QStringLiteral("velmora_database_up 0\n")));
}

void TestGatewayd::statusPageInBrowser()
{
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("chromium is not installed");
    ModemSimProcess sim(4);
    START_SIM(sim);
    QVERIFY(sim.setSendDelay(0, 300));
    const int port = freePort();
    ProgramFolder folder(config(4, 200, port));
    QVERIFY(folder.insertPending(200));
    Daemon daemon(folder.path());
    START_DAEMON(daemon);
    QTRY_VERIFY_WITH_TIMEOUT(folder.count(QStringLiteral("Status=2")) >= 4, Wait);

    QTemporaryDir profile;
    QProcess browser;
    browser.start(chromium,
                  {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                   QStringLiteral("--disable-gpu"),
                   QStringLiteral("--user-data-dir=") + profile.path(),
                   QStringLiteral("--dump-dom"), QStringLiteral("http://127.0.0.1:%1/").arg(port)});
    QVERIFY(browser.waitForFinished(60000));
    // A browser without a token sees how the gateway does, and no device, number or log line.
    const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
    QVERIFY2(dom.contains(QStringLiteral("数据库:已连接")), qPrintable(dom));
    QVERIFY2(dom.contains(QStringLiteral("已连接设备:")), qPrintable(dom));
    QVERIFY2(!dom.contains(QStringLiteral("<table")), qPrintable(dom));
    QVERIFY2(!dom.contains(QStringLiteral("成功提交到GSM网络")), qPrintable(dom));
    // With a token of any role the whole page.
    QProcess add;
    add.start(daemonProgram(), {QStringLiteral("--program-dir"), folder.path(),
                                QStringLiteral("--add-token"), QStringLiteral("viewer"),
                                QStringLiteral("--role"), QStringLiteral("read")});
    QVERIFY(add.waitForFinished(10000));
    const QByteArray token = add.readAllStandardOutput().trimmed();
    QVERIFY(token.startsWith("vm_"));
    const QString page = httpGet(port, "/", token).body;
    QVERIFY2(page.contains(QStringLiteral("<table id=\"devices\">")), qPrintable(page));
    for (int p = 1; p <= 4; ++p)
        QVERIFY2(page.contains(QStringLiteral("<td>Com%1</td>").arg(p)), qPrintable(page));
    QVERIFY2(page.contains(QStringLiteral("成功提交到GSM网络")), qPrintable(page));
}

QTEST_GUILESS_MAIN(TestGatewayd)
#include "tst_gatewayd.moc"
