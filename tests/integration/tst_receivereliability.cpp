#include "gatewayharness.h"
#include "modemsimprocess.h"
#include "simcontrols.h"
#include "testdatabase.h"

#include "common/inifile.h"
#include "pdu/pduaddress.h"
#include "pdu/pduencoder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Received messages through the real modem control and the simulator: each is stored exactly
// once whatever happens to the gateway, the disk or the SIM's content.
class TestReceiveReliability : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void engines_data();
    void killedWhileReceivingStoresEachMessageOnce_data() { engines_data(); }
    void killedWhileReceivingStoresEachMessageOnce();
    void fullDiskLeavesTheMessageOnTheSim();
    void contentTheDatabaseRefusesIsStored_data() { engines_data(); }
    void contentTheDatabaseRefusesIsStored();
    void allEngines_data();
    void textCannotLeaveItsLiteral_data() { allEngines_data(); }
    void textCannotLeaveItsLiteral();
    void junkOnTheSimDoesNotMakeTheModemDeaf();
    void directDeliveryIsAcknowledged();

private:
    RegisteredControls *m_controls = nullptr;
};

namespace {

const QString Sender = QStringLiteral("13912345678");
// SetParam id of the registered control: first pause before a kept message comes again, in s.
constexpr short KeptRetryParam = 24;

QString dbName()
{
    return QStringLiteral("recv_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

QByteArray deliverHex(const UserData &ud, int month = 0, bool zeroTime = false)
{
    PduEncoder::Encoded pdu = PduEncoder::deliver(
            Sender, ud, QDateTime(QDate(2024, 3, 15), QTime(10, 20, 30)), QString());
    // The time stamp follows the first octet, the originator, TP-PID and TP-DCS.
    const qsizetype at = 1 + quint8(pdu.octets[0]) + 1 + PduAddress::encode(Sender).size() + 2;
    if (zeroTime)
        pdu.octets.replace(at, 7, QByteArray(7, '\0'));
    if (month > 0)
        pdu.octets[at + 1] = char(((month % 10) << 4) | (month / 10));
    return pdu.hex();
}

// A real serial device is released when the program holding it dies; the simulator keeps its
// end of each pseudo-terminal open, so the exclusive mark of a killed program stays until it is
// taken off here.
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

// The gateway's program folder for a child process.
void writeConfig(const QString &dir, const QString &connectionString, const QString &ports)
{
    IniFile ini(dir + QStringLiteral("/Config.ini"));
    ini.write(QStringLiteral("DBCon"), QStringLiteral("ConSTR"), connectionString);
    ini.write(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), QStringLiteral("3600000"));
    ini.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), ports);
    QStringList rates;
    for (qsizetype i = 0; i < ports.split(QLatin1Char(',')).size(); ++i)
        rates << QStringLiteral("115200");
    ini.write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), rates.join(QLatin1Char(',')));
}

// A tmpfs of its own, for a disk that fills up; only root may make one.
class SmallDisk
{
public:
    explicit SmallDisk(const QString &size)
    {
        m_mounted = QProcess::execute(QStringLiteral("mount"),
                                      {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                       QStringLiteral("-o"), QStringLiteral("size=") + size,
                                       QStringLiteral("tmpfs"), m_dir.path()})
                == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
    }
    bool isMounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    // Writes a file until the disk has no room left.
    void fill()
    {
        QFile f(path() + QStringLiteral("/filler"));
        if (!f.open(QIODevice::WriteOnly))
            return;
        const QByteArray chunk(4096, 'x');
        while (f.write(chunk) == chunk.size() && f.flush()) { }
    }
    void free() { QFile::remove(path() + QStringLiteral("/filler")); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace

void TestReceiveReliability::initTestCase()
{
    static RegisteredControls controls;
    QVERIFY2(controls.isRegistered(), qPrintable(controls.errorString()));
    m_controls = &controls;
}

void TestReceiveReliability::engines_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

void TestReceiveReliability::allEngines_data()
{
    engines_data();
    QTest::newRow("mariadb") << "mysql";
}

void TestReceiveReliability::killedWhileReceivingStoresEachMessageOnce()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    ModemSimProcess sim(2);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    QTemporaryDir programDir;
    writeConfig(programDir.path(), tdb.connectionString(), QStringLiteral("1,2"));
    const QString longText = QStringLiteral("long ").repeated(50);

    QProcess child;
    // Its activity log, for a look when the test fails.
    child.setStandardErrorFile(programDir.filePath(QStringLiteral("activity.log")),
                               QIODevice::Append);
    const auto startChild = [&] {
        child.start(qEnvironmentVariable("VELMORA_RECEIVING_GATEWAY"), {programDir.path()});
        QVERIFY(child.waitForStarted(5000));
        QVERIFY(child.waitForReadyRead(20000));
        QVERIFY(child.readAll().startsWith("started"));
    };
    constexpr int Rounds = 6;
    constexpr int PerRound = 8;
    int sent = 0;
    for (int round = 0; round < Rounds; ++round) {
        startChild();
        if (QTest::currentTestFailed())
            return;
        for (int i = 0; i < PerRound; ++i, ++sent) {
            const QString tag = QStringLiteral("m%1 ").arg(sent);
            const QString text = i % 4 == 3 ? tag + longText + tag : tag;
            QVERIFY(sim.deliver(1 + sent % 2, Sender, text, {}, {},
                                QStringLiteral("ref=%1").arg(sent))
                    > 0);
        }
        // Killed at a different point of the burst each round.
        QTest::qWait(int(QRandomGenerator::global()->bounded(20 + round * 60)));
        child.kill();
        child.waitForFinished(5000);
        releaseAfterKill(sim);
    }
    startChild();
    QTRY_VERIFY2_WITH_TIMEOUT(
            sim.status(1, QStringLiteral("stored")) + sim.status(2, QStringLiteral("stored")) == 0
                    && tdb.scalar(QStringLiteral("select count(*) from smsrecv")).toInt() >= sent,
            qPrintable(
                    QStringLiteral("stored %1+%2, rows %3 of %4")
                            .arg(sim.status(1, QStringLiteral("stored")))
                            .arg(sim.status(2, QStringLiteral("stored")))
                            .arg(tdb.scalar(QStringLiteral("select count(*) from smsrecv")).toInt())
                            .arg(sent)),
            30000);
    // Anything stored twice would be in by now.
    QTest::qWait(500);
    child.kill();
    child.waitForFinished(5000);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from smsrecv")).toInt(), sent);
    QCOMPARE(tdb.scalar(QStringLiteral("select count(distinct smscontent) from smsrecv")).toInt(),
             sent);
}

void TestReceiveReliability::fullDiskLeavesTheMessageOnTheSim()
{
    SmallDisk disk(QStringLiteral("1m"));
    if (!disk.isMounted())
        QSKIP("cannot mount a tmpfs here (root only)");
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    ModemSimProcess sim(1);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"), [this] {
        ModemControl *c = m_controls->create();
        QString none;
        c->SetParam(KeptRetryParam, none, 1);
        return c;
    });
    QVERIFY(QDir().mkpath(disk.path() + QStringLiteral("/spool")));
    QVERIFY(QFile::link(disk.path() + QStringLiteral("/spool"),
                        MessageFlow::spoolFolder(h.programDir())));
    h.start();

    // The database refuses (a full disk of its own would do the same) and the spool has no room.
    QVERIFY(tdb.exec(QStringLiteral("alter table smsrecv rename to smsrecv_off")));
    disk.fill();
    QVERIFY(sim.deliver(1, Sender, QStringLiteral("no room")) > 0);
    QTRY_VERIFY(h.loggedStartingWith(QStringLiteral("短信未能保存，留在SIM卡上稍后再读：")));
    QVERIFY(h.log().filter(QStringLiteral("No space left on device")).size() == 1);
    QCOMPARE(sim.status(1, QStringLiteral("stored")), 1);

    // Offered again once there is room: spooled, then deleted from the SIM.
    disk.free();
    QTRY_COMPARE_WITH_TIMEOUT(h->flow().store().spool().size(), 1, 15000);
    QTRY_COMPARE(sim.status(1, QStringLiteral("stored")), 0);
    QVERIFY(tdb.exec(QStringLiteral("alter table smsrecv_off rename to smsrecv")));
    h.supervise();
    QCOMPARE(tdb.rows(QStringLiteral("select smscontent from smsrecv")),
             QStringList(QStringLiteral("no room")));
    QCOMPARE(h->devices().row(0).received, QStringLiteral("1"));
}

void TestReceiveReliability::contentTheDatabaseRefusesIsStored()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    ModemSimProcess sim(1);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"),
                     [this] { return m_controls->create(); });
    h.start();

    UserData nul;
    nul.alphabet = SmsAlphabet::Ucs2;
    nul.text = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    UserData data;
    data.alphabet = SmsAlphabet::EightBit;
    data.data = QByteArray("\x00\x01\xff", 3);
    UserData plain;
    plain.text = QStringLiteral("zero time");
    QVERIFY(sim.deliverPdu(1, deliverHex(nul)));
    QVERIFY(sim.deliverPdu(1, deliverHex(data)));
    QVERIFY(sim.deliverPdu(1, deliverHex(plain, 0, true)));
    plain.text = QStringLiteral("month 13");
    QVERIFY(sim.deliverPdu(1, deliverHex(plain, 13)));

    QTRY_COMPARE(tdb.scalar(QStringLiteral("select count(*) from smsrecv")).toInt(), 4);
    QCOMPARE(tdb.rows(QStringLiteral("select smscontent, HandleTime from smsrecv order by SysNo")),
             QStringList({QStringLiteral("a") + QChar::ReplacementCharacter
                                  + QStringLiteral("b|2024-03-15 10:20:30"),
                          QStringLiteral("0001FF|2024-03-15 10:20:30"),
                          QStringLiteral("zero time|2026-12-06 04:47:10"),
                          QStringLiteral("month 13|2026-12-06 04:47:10")}));
    QVERIFY(h->flow().store().spool().isEmpty());
}

// Any sender can put a lone UTF-16 surrogate before a quote; SQLite took the quote as the
// surrogate's second half, so the rest of the text was parsed as SQL.
void TestReceiveReliability::textCannotLeaveItsLiteral()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    ModemSimProcess sim(1);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"),
                     [this] { return m_controls->create(); });
    h.start();

    const QChar high(char16_t(0xD800));
    const QChar low(char16_t(0xDC00));
    const QStringList crafted = {
            QString(high) + QStringLiteral("' plain"),
            QStringLiteral("x") + high + QStringLiteral("','2','3'),('4','5','6') --"),
            QString(low) + QStringLiteral("'); delete from SMS; --"),
            QStringLiteral("pair ") + QStringLiteral("😀") + QStringLiteral(" kept"),
    };
    for (const QString &text : crafted) {
        UserData ud;
        ud.alphabet = SmsAlphabet::Ucs2;
        ud.text = text;
        QVERIFY(sim.deliverPdu(1, deliverHex(ud)));
    }

    const QString bad(QChar::ReplacementCharacter);
    QTRY_COMPARE(tdb.scalar(QStringLiteral("select count(*) from smsrecv")).toInt(), 4);
    QCOMPARE(tdb.rows(QStringLiteral("select cellnumber, smscontent from smsrecv order by SysNo")),
             QStringList({Sender + QStringLiteral("|") + bad + QStringLiteral("' plain"),
                          Sender + QStringLiteral("|x") + bad
                                  + QStringLiteral("','2','3'),('4','5','6') --"),
                          Sender + QStringLiteral("|") + bad
                                  + QStringLiteral("'); delete from SMS; --"),
                          Sender + QStringLiteral("|pair 😀 kept")}));
    QCOMPARE(tdb.scalar(QStringLiteral("select count(*) from SMS")).toInt(), 0);
    QVERIFY(QDir(h.programDir() + QStringLiteral("/quarantine")).isEmpty());
    QVERIFY(h->flow().store().spool().isEmpty());
}

void TestReceiveReliability::junkOnTheSimDoesNotMakeTheModemDeaf()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    ModemSimProcess sim(1, 1, {QStringLiteral("--storage"), QStringLiteral("30")});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"),
                     [this] { return m_controls->create(); });
    // The SIM is full of junk before the gateway starts, and more comes while it runs: no
    // SMS-DELIVER at all, and first parts of long messages whose other parts never come.
    for (int i = 0; i < 30; ++i)
        QVERIFY(sim.deliverPdu(1, QByteArray("0004FF0") + QByteArray::number(i % 10)));
    h.start();
    for (int i = 0; i < 10; ++i)
        QVERIFY(sim.deliver(1, Sender, QStringLiteral("orphan ").repeated(40), QList<int>{1}, {},
                            QStringLiteral("ref=%1").arg(i))
                > 0);
    QVERIFY(sim.deliver(1, Sender, QStringLiteral("in the modem's memory"), {}, {},
                        QStringLiteral("mem=ME"))
            > 0);
    QVERIFY(sim.deliver(1, Sender, QStringLiteral("still heard")) > 0);

    QTRY_COMPARE_WITH_TIMEOUT(
            tdb.rows(QStringLiteral("select smscontent from smsrecv order by smscontent")),
            QStringList({QStringLiteral("in the modem's memory"), QStringLiteral("still heard")}),
            20000);
    QTRY_COMPARE(sim.status(1, QStringLiteral("stored")), 0);
    QTRY_COMPARE(sim.status(1, QStringLiteral("own")), 0);
    const QDir quarantine(h.programDir() + QStringLiteral("/quarantine"));
    QCOMPARE(quarantine.entryList(QDir::Files).size(), 30);
    QFile first(quarantine.filePath(quarantine.entryList(QDir::Files).first()));
    QVERIFY(first.open(QIODevice::ReadOnly));
    const QByteArray content = first.readAll();
    QVERIFY(content.contains("port=COM1\n"));
    QVERIFY(content.contains("pdu=0004FF"));
    QCOMPARE(QDir(h.programDir() + QStringLiteral("/parts/com1"))
                     .entryList({QStringLiteral("*.part")}, QDir::Files)
                     .size(),
             10);
}

void TestReceiveReliability::directDeliveryIsAcknowledged()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    ModemSimProcess sim(1);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    QVERIFY(sim.setDirect(1, true));
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"),
                     [this] { return m_controls->create(); });
    h.start();
    QVERIFY(sim.deliver(1, Sender, QStringLiteral("direct")) > 0);
    QCOMPARE(sim.deliver(1, Sender, QStringLiteral("long ").repeated(40)), 2);
    QTRY_COMPARE(tdb.scalar(QStringLiteral("select count(*) from smsrecv")).toInt(), 2);
    QTRY_COMPARE(sim.status(1, QStringLiteral("acks")), 3);
}

QTEST_GUILESS_MAIN(TestReceiveReliability)
#include "tst_receivereliability.moc"
