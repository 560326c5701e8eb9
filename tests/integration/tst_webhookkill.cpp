#include "modemsimprocess.h"
#include "simcontrols.h"
#include "testdatabase.h"
#include "webhookreceiverprocess.h"

#include "common/inifile.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The gateway engine in a process of its own, killed at random moments of a burst of sent,
// failed and received messages, posting to a receiver that keeps every post: each message the
// tables show as sent, failed or received has its event, and one told twice has the same id.
class TestWebhookKill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killsLoseNoEventAndRepeatsKeepTheirId();

private:
    RegisteredControls *m_controls = nullptr;
};

namespace {

const QString Secret = QStringLiteral("whsec_MfKQ9r8GKYqrTwjUPD8ILPZIo2LaLaSw");
constexpr int Messages = 1000;
constexpr int Kills = 20;
constexpr int Modems = 4;

// The simulator keeps its end of each pseudo-terminal open, so the exclusive mark of a killed
// program stays until it is taken off here, as a real device's goes with its holder.
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

void writeConfig(const QString &dir, const QString &connectionString, const QString &url)
{
    IniFile ini(dir + QStringLiteral("/Config.ini"));
    ini.write(QStringLiteral("DBCon"), QStringLiteral("ConSTR"), connectionString);
    ini.write(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), QStringLiteral("1000"));
    QStringList ports;
    QStringList rates;
    for (int p = 1; p <= Modems; ++p) {
        ports << QString::number(p);
        rates << QStringLiteral("115200");
    }
    ini.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), ports.join(QLatin1Char(',')));
    ini.write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), rates.join(QLatin1Char(',')));
    ini.write(QStringLiteral("Webhooks"), QStringLiteral("Url"), url);
    ini.write(QStringLiteral("Webhooks"), QStringLiteral("Secret"), Secret);
}

// The id an event must carry: what happened to which row.
QString idOf(const QJsonObject &event)
{
    const QString type = event.value(QStringLiteral("type")).toString();
    const qint64 row = event.value(QStringLiteral("data")).toObject().value("id").toInteger();
    if (type == QLatin1String("message.sent"))
        return QStringLiteral("sms-%1-sent").arg(row);
    if (type == QLatin1String("message.failed"))
        return QStringLiteral("sms-%1-failed").arg(row);
    if (type == QLatin1String("message.received"))
        return QStringLiteral("smsrecv-%1").arg(row);
    return {};
}

} // namespace

void TestWebhookKill::initTestCase()
{
    static RegisteredControls controls;
    QVERIFY2(controls.isRegistered(), qPrintable(controls.errorString()));
    m_controls = &controls;
}

void TestWebhookKill::killsLoseNoEventAndRepeatsKeepTheirId()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, QStringLiteral("whk_kill"));
    ModemSimProcess sim(Modems);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    WebhookReceiverProcess receiver(Secret);
    QTemporaryDir programDir;
    writeConfig(programDir.path(), tdb.connectionString(), receiver.url());

    // Every 50th number is none: those rows fail without reaching a modem.
    QStringList values;
    for (int i = 0; i < Messages; ++i)
        values << (i % 50 == 7 ? QStringLiteral("('139'')x','m%1')").arg(i)
                               : QStringLiteral("('1380013%1','m%2')").arg(i, 4, 10, QLatin1Char('0')).arg(i));
    QVERIFY(tdb.exec(QStringLiteral("insert into SMS(CellNumber,SMSContent) values ")
                     + values.join(QLatin1Char(','))));

    QProcess child;
    child.setStandardErrorFile(programDir.filePath(QStringLiteral("activity.log")),
                               QIODevice::Append);
    const auto startChild = [&] {
        child.start(qEnvironmentVariable("VELMORA_RECEIVING_GATEWAY"), {programDir.path()});
        QVERIFY(child.waitForStarted(5000));
        QVERIFY(child.waitForReadyRead(20000));
        QVERIFY(child.readAll().startsWith("started"));
    };
    int received = 0;
    QRandomGenerator *random = QRandomGenerator::global();
    for (int round = 0; round < Kills; ++round) {
        startChild();
        if (QTest::currentTestFailed())
            return;
        for (int i = 0; i < 2; ++i, ++received)
            QVERIFY(sim.deliver(1 + received % Modems, QStringLiteral("13912345678"),
                                QStringLiteral("r%1").arg(received))
                    > 0);
        // A refusal now and then: a failed row that did reach a modem.
        QVERIFY(sim.failNextSend(1 + round % Modems, 500));
        QTest::qWait(int(random->bounded(50, 1500)));
        child.kill();
        child.waitForFinished(5000);
        releaseAfterKill(sim);
    }
    startChild();
    const auto settled = [&] {
        int stored = 0;
        for (int p = 1; p <= Modems; ++p)
            stored += sim.status(p, QStringLiteral("stored"));
        return stored == 0
                && tdb.scalar(QStringLiteral("select count(*) from SMS where Status=0")).toInt() == 0
                && tdb.scalar(QStringLiteral("select count(*) from smsrecv")).toInt() >= received;
    };
    QTRY_VERIFY_WITH_TIMEOUT(settled(), 60000);

    // What the tables say happened, each with the id its event must carry.
    QSet<QString> expected;
    for (const QString &row : tdb.rows(QStringLiteral("select SysNo from SMS where Status=2")))
        expected << QStringLiteral("sms-%1-sent").arg(row);
    for (const QString &row : tdb.rows(QStringLiteral("select SysNo from SMS where Status=-1")))
        expected << QStringLiteral("sms-%1-failed").arg(row);
    for (const QString &row : tdb.rows(QStringLiteral("select SysNo from smsrecv")))
        expected << QStringLiteral("smsrecv-%1").arg(row);
    QVERIFY(tdb.scalar(QStringLiteral("select count(*) from SMS where Status=-1")).toInt()
            >= Messages / 50);
    const auto arrived = [&] {
        QSet<QString> ids;
        for (const QJsonObject &post : receiver.posts())
            ids << post.value(QStringLiteral("id")).toString();
        return ids;
    };
    const bool complete = QTest::qWaitFor([&] { return arrived().contains(expected); }, 20000);
    // The gateway's own account, for a look when something is missing.
    if (!complete)
        QFile::copy(programDir.filePath(QStringLiteral("activity.log")),
                    QDir::tempPath() + QStringLiteral("/webhookkill-activity.log"));
    child.kill();
    child.waitForFinished(5000);

    const QSet<QString> missing = expected - arrived();
    QVERIFY2(missing.isEmpty(),
             qPrintable(QStringLiteral("%1 of %2 missing: ")
                                .arg(missing.size())
                                .arg(expected.size())
                        + QStringList(missing.cbegin(), missing.cend()).mid(0, 20).join(' ')));
    // A message told twice is told under one id: the one that follows from what happened.
    qsizetype repeats = 0;
    QSet<QString> seen;
    for (const QJsonObject &post : receiver.posts()) {
        QVERIFY(post.value(QStringLiteral("valid")).toBool());
        const QJsonObject event =
                QJsonDocument::fromJson(post.value(QStringLiteral("body")).toString().toUtf8())
                        .object();
        const QString id = post.value(QStringLiteral("id")).toString();
        QCOMPARE(id, idOf(event));
        if (seen.contains(id))
            ++repeats;
        seen << id;
    }
    qInfo("%lld events, %lld of them repeated, after %d kills", qlonglong(seen.size()),
          qlonglong(repeats), Kills);
}

QTEST_GUILESS_MAIN(TestWebhookKill)
#include "tst_webhookkill.moc"
