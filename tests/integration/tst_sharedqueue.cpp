#include "modemsimprocess.h"
#include "simcontrols.h"
#include "testdatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Several gateways (the service program, each with simulated modems of its own) on one queue:
// every row is sent by exactly one of them, also when one of them is killed in the middle.
class TestSharedQueue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void engines_data();
    void threeGatewaysSendEveryRowOnce_data() { engines_data(); }
    void threeGatewaysSendEveryRowOnce();
    void killedGatewayLeavesOnlyItsClaimsAtOne_data() { engines_data(); }
    void killedGatewayLeavesOnlyItsClaimsAtOne();

private:
    std::unique_ptr<RegisteredControls> m_controls;
};

namespace {

constexpr int Modems = 4;
constexpr int Rows = 3000;

QString dbName()
{
    return QStringLiteral("share_") + QString::fromLatin1(QTest::currentTestFunction()).left(20);
}

// One velmora-gatewayd on a program folder of its own, sharing the queue under a name.
class SharingGateway
{
public:
    SharingGateway(const QString &name, const QString &connectionString, int httpPort = 0)
        : m_sim(Modems, 1)
    {
        QStringList ports;
        QStringList rates;
        for (int p = 1; p <= Modems; ++p) {
            ports << QString::number(p);
            rates << QStringLiteral("115200");
        }
        QFile config(m_dir.path() + QStringLiteral("/Config.ini"));
        if (config.open(QIODevice::WriteOnly))
            config.write(QStringLiteral("[DBCon]\nConSTR=%1\nScanDT=100\nGatewayName=%2\n"
                                        "[SMSCom]\nPort=%3\nRate=%4\n[Service]\nHttpPort=%5\n")
                                 .arg(connectionString, name, ports.join(QLatin1Char(',')),
                                      rates.join(QLatin1Char(',')),
                                      httpPort ? QString::number(httpPort) : QString())
                                 .toUtf8());
    }
    ~SharingGateway()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start(QString *error)
    {
        if (!m_sim.start()) {
            *error = m_sim.errorString();
            return false;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_PORTS_DIR"), m_sim.portsDir());
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(qEnvironmentVariable("VELMORA_GATEWAYD"),
                        {QStringLiteral("--program-dir"), m_dir.path()});
        if (!m_process.waitForStarted(5000)) {
            *error = m_process.errorString();
            return false;
        }
        return true;
    }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    ModemSimProcess &sim() { return m_sim; }
    QString output() { return QString::fromUtf8(m_process.readAll()); }

    // The texts this gateway's modems submitted.
    QStringList sentTexts()
    {
        QStringList texts;
        for (int p = 1; p <= Modems; ++p) {
            for (const ModemSimProcess::Submitted &s : m_sim.submitted(p))
                texts << s.text;
        }
        return texts;
    }

private:
    QTemporaryDir m_dir;
    ModemSimProcess m_sim;
    QProcess m_process;
};

QByteArray metrics(int port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET /metrics HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    QByteArray data;
    while (socket.waitForReadyRead(5000))
        data += socket.readAll();
    return data;
}

int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool waitFor(const std::function<bool()> &condition, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.hasExpired(ms))
            return false;
        QTest::qWait(100);
    }
    return true;
}

// Every text at most once over all gateways; the number of texts sent.
int checkNoneTwice(QList<SharingGateway *> gateways)
{
    QStringList all;
    for (SharingGateway *g : gateways)
        all += g->sentTexts();
    const QSet<QString> distinct(all.cbegin(), all.cend());
    if (distinct.size() != all.size())
        return -1;
    return int(all.size());
}

} // namespace

void TestSharedQueue::initTestCase()
{
    if (qEnvironmentVariable("VELMORA_GATEWAYD").isEmpty())
        QSKIP("VELMORA_GATEWAYD is not set");
    m_controls = std::make_unique<RegisteredControls>();
    QVERIFY2(m_controls->isRegistered(), qPrintable(m_controls->errorString()));
    qunsetenv("VELMORA_PORTS_DIR");
}

void TestSharedQueue::engines_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestSharedQueue::threeGatewaysSendEveryRowOnce()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    QVERIFY(tdb.insertPending(Rows));
    std::vector<std::unique_ptr<SharingGateway>> gateways;
    for (const char *name : {"east", "west", "north"})
        gateways.push_back(std::make_unique<SharingGateway>(QString::fromLatin1(name),
                                                            tdb.connectionString()));
    for (auto &g : gateways) {
        QString error;
        QVERIFY2(g->start(&error), qPrintable(error));
    }
    const auto sent = [&tdb] {
        return tdb.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt();
    };
    QVERIFY2(waitFor([&] { return sent() == Rows; }, 180000),
             qPrintable(QString::number(sent()) + gateways.front()->output()));
    QCOMPARE(tdb.scalar(QStringLiteral("select count(distinct Gateway) from SMS")).toInt(), 3);
    QCOMPARE(checkNoneTwice({gateways[0].get(), gateways[1].get(), gateways[2].get()}), Rows);
}

void TestSharedQueue::killedGatewayLeavesOnlyItsClaimsAtOne()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    QVERIFY(tdb.insertPending(Rows));
    SharingGateway slow(QStringLiteral("slow"), tdb.connectionString());
    const int port = freePort();
    SharingGateway east(QStringLiteral("east"), tdb.connectionString(), port);
    SharingGateway west(QStringLiteral("west"), tdb.connectionString());
    QString error;
    QVERIFY2(slow.start(&error), qPrintable(error));
    // Its modems take a while for each message, so it dies with messages in flight.
    QVERIFY(slow.sim().setSendDelay(0, 300));
    const auto count = [&tdb](const QString &where) {
        return tdb.scalar(QStringLiteral("select count(*) from SMS where ") + where).toInt();
    };
    QVERIFY(waitFor([&] { return count(QStringLiteral("Status=2")) >= 8; }, 60000));
    QVERIFY2(east.start(&error), qPrintable(error));
    QVERIFY2(west.start(&error), qPrintable(error));
    QVERIFY(waitFor([&] { return count(QStringLiteral("Gateway='east' and Status=2")) > 0; },
                    60000));
    slow.kill();
    QVERIFY(waitFor(
            [&] {
                return count(QStringLiteral("Status=0")) == 0
                        && count(QStringLiteral("Status=1 and Gateway<>'slow'")) == 0;
            },
            180000));
    QCOMPARE(count(QStringLiteral("Status=-1")), 0);
    QVERIFY(checkNoneTwice({&slow, &east, &west}) >= count(QStringLiteral("Status=2")));
    // The rows the dead gateway left are counted under its name for the operator.
    const QByteArray handed = "velmora_rows_handed{gateway=\"slow\"} "
            + QByteArray::number(count(QStringLiteral("Status=1")));
    // A scrape may meet the database busy with the other gateways' writes; ask again then.
    QVERIFY(waitFor([&] { return metrics(port).contains(handed); }, 30000));
}

QTEST_GUILESS_MAIN(TestSharedQueue)
#include "tst_sharedqueue.moc"
