// Pick-up time: a row that another connection inserts into SMS, to the simulated modem's
// AT+CMGS, with velmora-gatewayd at the default ScanDT; and the time from that submission to the
// message.sent webhook at a local receiver. Rows go one at a time, spaced out, so each is a
// one-off message as an application queues it.
//   bench_pickup <sqlite|postgresql> [rows] [gapMs]
#include "gatewaydprocess.h"
#include "hookarrivals.h"
#include "modemsimprocess.h"
#include "portlist.h"
#include "simcontrols.h"
#include "testdatabase.h"

#include "common/inifile.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QTextStream>
#include <QThread>

#include <algorithm>

namespace {

constexpr int Modems = 4;
const QString Secret = QStringLiteral("whsec_MfKQ9r8GKYqrTwjUPD8ILPZIo2LaLaSw");

// Parts the simulator's modems have submitted so far, -1 when it does not answer.
int submitted(ModemSimProcess &sim)
{
    for (const QString &line : sim.command(QStringLiteral("stats")).data) {
        if (line.startsWith(QLatin1String("submitted ")))
            return line.mid(10).toInt();
    }
    return -1;
}

void writeConfig(const QString &folder, const QString &connection, quint16 httpPort,
                 const QString &hookUrl)
{
    // No ScanDT: the default poll, so what is measured is the watch.
    IniFile ini(folder + QStringLiteral("/Config.ini"));
    ini.write(QStringLiteral("DBCon"), QStringLiteral("ConSTR"), connection);
    ini.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), PortList::ports(Modems));
    ini.write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), PortList::rates(Modems));
    ini.write(QStringLiteral("Service"), QStringLiteral("HttpPort"), QString::number(httpPort));
    ini.write(QStringLiteral("Webhooks"), QStringLiteral("Url"), hookUrl);
    ini.write(QStringLiteral("Webhooks"), QStringLiteral("Secret"), Secret);
}

// Waits, with the loop turning for the receiver, until the modems submitted more than `before`;
// the nanoseconds on clock then, or -1 after 30 s.
qint64 waitForSubmit(ModemSimProcess &sim, int before, const QElapsedTimer &clock)
{
    const qint64 deadline = clock.nsecsElapsed() + 30'000'000'000;
    while (clock.nsecsElapsed() < deadline) {
        if (submitted(sim) > before)
            return clock.nsecsElapsed();
        QCoreApplication::processEvents();
    }
    return -1;
}

void idle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

QString stats(QList<double> ms)
{
    if (ms.isEmpty())
        return QStringLiteral("none");
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms.at(qMin(ms.size() - 1, qsizetype(q * ms.size())));
    };
    return QStringLiteral("median %1 ms, p95 %2 ms, max %3 ms (%4)")
            .arg(at(0.5), 0, 'f', 1)
            .arg(at(0.95), 0, 'f', 1)
            .arg(ms.last(), 0, 'f', 1)
            .arg(ms.size());
}

struct Samples
{
    QList<double> pickup;
    QList<double> webhook;
    int lost = 0;
};

// Inserts the rows one by one on the application's connection and times each.
Samples measure(TestDatabase &tdb, ModemSimProcess &sim, HookArrivals &hooks,
                const QElapsedTimer &clock, int rows, int gapMs)
{
    Samples s;
    QList<std::pair<QString, qint64>> submits;
    QSqlQuery insert(tdb.app());
    insert.prepare(QStringLiteral("insert into SMS (CellNumber, SMSContent) values (?, ?)"));
    for (int i = 0; i <= rows; ++i) {
        const QString number = QStringLiteral("1390000%1").arg(i, 4, 10, QLatin1Char('0'));
        const int before = submitted(sim);
        insert.addBindValue(number);
        insert.addBindValue(QStringLiteral("pick-up %1").arg(i));
        const qint64 queued = clock.nsecsElapsed();
        if (!insert.exec())
            return s;
        const qint64 sent = waitForSubmit(sim, before, clock);
        // The first row only wakes everything up.
        if (sent < 0) {
            ++s.lost;
        } else if (i > 0) {
            s.pickup << double(sent - queued) / 1e6;
            submits << std::pair(number, sent);
        }
        idle(gapMs);
    }
    idle(3000);
    for (const auto &[number, sent] : submits) {
        const qint64 arrived = hooks.arrival(number);
        if (arrived >= 0)
            s.webhook << double(arrived - sent) / 1e6;
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString engine = args.value(1, QStringLiteral("sqlite"));
    const int rows = args.value(2, QStringLiteral("50")).toInt();
    const int gapMs = args.value(3, QStringLiteral("100")).toInt();
    QTextStream out(stdout);
    if (!TestDatabase::available(engine)) {
        out << "pick-up " << engine << ": skipped, " << TestDatabase::serverVariable(engine)
            << " is not set" << Qt::endl;
        return 0;
    }
    RegisteredControls controls;
    ModemSimProcess sim(Modems);
    TestDatabase tdb(engine);
    QString error;
    if (!controls.isRegistered() || !sim.start()
        || !tdb.create(QStringLiteral("bench_pickup"), &error)) {
        out << "setup: " << controls.errorString() << sim.errorString() << error << Qt::endl;
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    HookArrivals hooks(clock);
    QTemporaryDir folder;
    const quint16 httpPort = GatewaydProcess::freePort();
    writeConfig(folder.path(), tdb.connectionString(), httpPort, hooks.url());

    GatewaydProcess daemon;
    if (!daemon.start(sim.portsDir(), folder.path())
        || daemon.waitForDevices(httpPort, Modems, 60000) < 0) {
        out << "velmora-gatewayd: the devices did not come up" << Qt::endl;
        return 1;
    }
    const Samples s = measure(tdb, sim, hooks, clock, rows, gapMs);
    daemon.stop();

    out << "pick-up " << engine << ": " << rows << " rows one at a time, " << gapMs
        << " ms apart, default ScanDT, " << Modems << " modems"
        << "\n  insert to AT+CMGS: " << stats(s.pickup)
        << "\n  AT+CMGS to webhook at the receiver: " << stats(s.webhook)
        << "\n  rows not submitted within 30 s: " << s.lost << Qt::endl;
    return s.lost == 0 && s.pickup.size() == rows ? 0 : 1;
}
