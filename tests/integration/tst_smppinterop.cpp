#include "modemsimprocess.h"
#include "simcontrols.h"

#include "api/tokenstore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int Wait = 30000;

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// velmora-gatewayd on a program folder of its own, killed without warning when the test ends.
class Daemon
{
public:
    explicit Daemon(const QString &programDir)
    {
        m_process.setProgram(qEnvironmentVariable("VELMORA_GATEWAYD"));
        m_process.setArguments({QStringLiteral("--program-dir"), programDir});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }
    ~Daemon() { kill(); }
    void kill()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // Started, with the SMPP server listening.
    bool start()
    {
        m_process.start();
        QElapsedTimer timer;
        timer.start();
        while (!m_out.contains(QStringLiteral("SMPP服务在"))) {
            if (timer.hasExpired(Wait)
                || (!m_process.waitForReadyRead(200)
                    && m_process.state() == QProcess::NotRunning))
                return false;
            m_out += QString::fromUtf8(m_process.readAll());
        }
        return true;
    }
    QString output() { return m_out += QString::fromUtf8(m_process.readAll()); }

private:
    QProcess m_process;
    QString m_out;
};

// A killed gateway leaves its serial ports held exclusively; the next one must open them.
void releaseAfterKill(const ModemSimProcess &sim)
{
    for (int port = sim.firstPort(); port < sim.firstPort() + sim.count(); ++port) {
        const int fd = ::open(QFile::encodeName(sim.portPath(port)).constData(),
                              O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::ioctl(fd, TIOCNXCL);
            ::close(fd);
        }
    }
}

struct Run
{
    bool ok = false;
    QStringList lines;
};

Run client(const QStringList &arguments)
{
    QProcess perl;
    perl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    perl.start(QStringLiteral("perl"),
               QStringList{qEnvironmentVariable("VELMORA_SOURCE_DIR")
                           + QStringLiteral("/tests/integration/smpp_client.pl")}
                       + arguments);
    Run run;
    run.ok = perl.waitForFinished(60000) && perl.exitStatus() == QProcess::NormalExit
            && perl.exitCode() == 0;
    run.lines = QString::fromUtf8(perl.readAllStandardOutput()).split(QLatin1Char('\n'),
                                                                      Qt::SkipEmptyParts);
    return run;
}

} // namespace

// The service program with simulated modems, used by a client nobody here wrote: Debian's
// Net::SMPP binds, submits, and reads its receipts and a received message, across a kill of
// the gateway while the receipts wait.
class TestSmppInterop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void netSmppSubmitsAndReadsReceiptsAcrossAKill();

private:
    std::unique_ptr<RegisteredControls> m_controls;
};

void TestSmppInterop::initTestCase()
{
    QProcess probe;
    probe.start(QStringLiteral("perl"), {QStringLiteral("-MNet::SMPP"), QStringLiteral("-e1")});
    if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
        QSKIP("Net::SMPP is not installed (Debian: libnet-smpp-perl)");
    m_controls = std::make_unique<RegisteredControls>();
    QVERIFY2(m_controls->isRegistered(), qPrintable(m_controls->errorString()));
}

void TestSmppInterop::netSmppSubmitsAndReadsReceiptsAcrossAKill()
{
    ModemSimProcess sim(1);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("DataBase"));
    QVERIFY(QFile::copy(qEnvironmentVariable("VELMORA_BUILD_DIR")
                                + QStringLiteral("/install-root/MainApp/DataBase/SMS.db"),
                        dir.path() + QStringLiteral("/DataBase/SMS.db")));
    const int port = freePort();
    QFile config(dir.path() + QStringLiteral("/Config.ini"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("[DBCon]\nScanDT=200\n[SMSCom]\nPort=1\nRate=115200\n"
                                "[Smpp]\nPort=%1\n")
                         .arg(port)
                         .toUtf8());
    config.close();
    QString error;
    const QString token = TokenStore(TokenStore::fileIn(dir.path()))
                                  .add(QStringLiteral("shop"), TokenStore::Role::Operator,
                                       &error);
    QVERIFY2(!token.isEmpty(), qPrintable(error));
    const QStringList login{QStringLiteral("127.0.0.1"), QString::number(port),
                            QStringLiteral("shop"), token};

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), dir.path());
    db.setDatabaseName(dir.path() + QStringLiteral("/DataBase/SMS.db"));
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    QVERIFY(db.open());
    auto count = [&db](const QString &where) {
        QSqlQuery q(db);
        return q.exec(QStringLiteral("select count(*) from SMS where ") + where) && q.next()
                ? q.value(0).toInt()
                : -1;
    };
    auto text = [&db](const QString &id) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("select SMSContent from SMS where SysNo = ") + id);
        return q.next() ? q.value(0).toString() : QString();
    };

    QStringList ids;
    {
        Daemon daemon(dir.path());
        QVERIFY2(daemon.start(), qPrintable(daemon.output()));
        const Run sent = client(QStringList{QStringLiteral("send")} + login);
        QVERIFY2(sent.ok, qPrintable(sent.lines.join(QLatin1Char('\n'))));
        // The long text's first two parts are held and answered without an id.
        QCOMPARE(sent.lines.size(), 5);
        QCOMPARE(sent.lines.at(2), QStringLiteral("id -"));
        QCOMPARE(sent.lines.at(3), QStringLiteral("id -"));
        for (int i : {0, 1, 4})
            ids << sent.lines.at(i).mid(3);
        QCOMPARE(count(QStringLiteral("1=1")), 3);
        QCOMPARE(text(ids.at(0)), QStringLiteral("Hello from Net::SMPP"));
        QCOMPARE(text(ids.at(1)), QStringLiteral("你好，世界"));
        QCOMPARE(text(ids.at(2)),
                 QString(153, QLatin1Char('A')) + QString(153, QLatin1Char('B'))
                         + QString(40, QLatin1Char('C')));
        // Sent by the modem; the receipts now wait for a receiver.
        QTRY_COMPARE_WITH_TIMEOUT(count(QStringLiteral("Status=2")), 3, Wait);
        QCOMPARE(sim.submitted(1).size(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(QDir(dir.path() + QStringLiteral("/smpp/outbox"))
                                          .entryList(QDir::Files)
                                          .size(),
                                  3, Wait);
        daemon.kill();
        releaseAfterKill(sim);
    }
    Daemon daemon(dir.path());
    QVERIFY2(daemon.start(), qPrintable(daemon.output()));
    QVERIFY(sim.deliver(1, QStringLiteral("+8613812345678"), QStringLiteral("余额 12.5 元")) > 0);
    const Run got = client(QStringList{QStringLiteral("receive")} + login
                           + QStringList{QStringLiteral("4"), QStringLiteral("30")});
    QVERIFY2(got.ok, qPrintable(got.lines.join(QLatin1Char('\n'))));
    QVERIFY2(!got.lines.contains(QStringLiteral("timeout")),
             qPrintable(got.lines.join(QLatin1Char('\n')) + daemon.output().right(3000)));
    QStringList expected;
    for (const QString &id : std::as_const(ids))
        expected << QStringLiteral("receipt %1 DELIVRD").arg(id);
    expected << QStringLiteral("message 8613812345678 ")
                    + QString::fromLatin1(QStringLiteral("余额 12.5 元").toUtf8().toHex());
    QStringList lines = got.lines;
    lines.sort();
    expected.sort();
    QCOMPARE(lines, expected);
    // Acknowledged once, offered never again; and no row came twice.
    const Run again = client(QStringList{QStringLiteral("receive")} + login
                             + QStringList{QStringLiteral("1"), QStringLiteral("3")});
    QCOMPARE(again.lines, QStringList{QStringLiteral("timeout")});
    QCOMPARE(count(QStringLiteral("1=1")), 3);
}

QTEST_GUILESS_MAIN(TestSmppInterop)
#include "tst_smppinterop.moc"
