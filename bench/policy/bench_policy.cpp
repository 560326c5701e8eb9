// The sending policy's cost: the service program's CPU time per message from pending rows to
// all rows at Status 2, once without a policy and once with quotas on every SIM and two routes
// (pacing off, as pacing only waits), against the same simulated modems. Runs alternate so a
// busy machine weighs on both alike.
//   bench_policy [rows] [modems] [scanMs] [rounds]
#include "gatewaydprocess.h"
#include "modemsimprocess.h"
#include "portlist.h"
#include "processcpu.h"
#include "simcontrols.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

namespace {

struct Run
{
    int done = 0;
    int failed = 0;
    double seconds = 0;
    double cpu = 0;
    bool ok = false;
};

int scalar(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

// Limits far above what a run sends, so every SIM counts and is checked but none rests; two
// carriers by prefix, each with half of the modems.
QString policySections(int modems)
{
    const int half = qMax(1, modems / 2);
    return QStringLiteral("[Policy]\nHourLimit=1000000\nDayLimit=1000000\nMonthLimit=1000000\n"
                          "MonthRecipients=1000000\nGroups=CM,CU\nDefaultGroup=CU\n"
                          "[Policy:CM]\nPorts=1-%1\nPrefixes=139,+86139\n"
                          "[Policy:CU]\nPorts=%2-%3\nPrefixes=138,+86138\n")
            .arg(half)
            .arg(half + 1)
            .arg(modems);
}

void writeConfig(const QString &folder, int modems, int scanMs, quint16 port, bool policy)
{
    QFile config(folder + QStringLiteral("/Config.ini"));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("[DBCon]\nScanDT=%1\n[SMSCom]\nPort=%2\nRate=%3\n"
                                "[Service]\nHttpPort=%4\n%5")
                         .arg(scanMs)
                         .arg(PortList::ports(modems), PortList::rates(modems))
                         .arg(port)
                         .arg(policy ? policySections(modems) : QString())
                         .toUtf8());
}

void insertRows(QSqlDatabase &db, int rows)
{
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("insert into SMS (CellNumber, SMSContent) values (?, ?)"));
    for (int i = 1; i <= rows; ++i) {
        // Both carriers' numbers, one after the other.
        insert.addBindValue(
                QStringLiteral("13%1%2").arg(8 + i % 2).arg(i, 8, 10, QLatin1Char('0')));
        insert.addBindValue(QStringLiteral("bench %1").arg(i));
        insert.exec();
    }
    db.commit();
}

Run measure(qint64 pid, QSqlDatabase &db, int rows)
{
    Run run;
    // Measured from before the rows exist, so their load always falls inside: begun after,
    // it would count or not by whether the service's poll came first.
    ProcessCpu::toggleProfile("on", pid);
    const double cpuBefore = ProcessCpu::seconds(pid);
    insertRows(db, rows);
    QElapsedTimer wall;
    wall.start();
    while ((run.done = scalar(db,
                              QStringLiteral("select count(*) from SMS where Status in "
                                             "(2, -1)")))
                   < rows
           && wall.elapsed() < 600000)
        QThread::msleep(20);
    run.seconds = double(wall.nsecsElapsed()) / 1e9;
    run.cpu = ProcessCpu::seconds(pid) - cpuBefore;
    ProcessCpu::toggleProfile("off", pid);
    run.failed = scalar(db, QStringLiteral("select count(*) from SMS where Status=-1"));
    run.ok = run.done == rows && run.failed == 0;
    return run;
}

// One service on a fresh copy of the shipped database, the policy on or off.
Run runOnce(const ModemSimProcess &sim, int rows, int modems, int scanMs, bool policy)
{
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("DataBase"));
    const QString dbPath = folder.path() + QStringLiteral("/DataBase/SMS.db");
    QFile::copy(qEnvironmentVariable("VELMORA_BUILD_DIR")
                        + QStringLiteral("/install-root/MainApp/DataBase/SMS.db"),
                dbPath);
    const quint16 port = GatewaydProcess::freePort();
    writeConfig(folder.path(), modems, scanMs, port, policy);
    GatewaydProcess daemon;
    Run run;
    if (daemon.start(sim.portsDir(), folder.path())
        && daemon.waitForDevices(port, modems, 600000) >= 0) {
        const QString name = policy ? QStringLiteral("on") : QStringLiteral("off");
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dbPath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (db.open())
            run = measure(daemon.pid(), db, rows);
        db.close();
    }
    daemon.stop();
    QSqlDatabase::removeDatabase(policy ? QStringLiteral("on") : QStringLiteral("off"));
    return run;
}

QString msPerMessage(const Run &r)
{
    return QString::number(r.cpu * 1000 / qMax(1, r.done), 'f', 3);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.value(1, QStringLiteral("5000")).toInt();
    const int modems = args.value(2, QStringLiteral("128")).toInt();
    const int scanMs = args.value(3, QStringLiteral("100")).toInt();
    const int rounds = qMax(1, args.value(4, QStringLiteral("2")).toInt());
    QTextStream out(stdout);

    RegisteredControls controls;
    if (!controls.isRegistered()) {
        out << "regsvr32: " << controls.errorString() << Qt::endl;
        return 1;
    }
    ModemSimProcess sim(modems);
    if (!sim.start()) {
        out << "simulator: " << sim.errorString() << Qt::endl;
        return 1;
    }
    out << "policy cost, service on sqlite: " << rows << " rows a run, " << modems
        << " modems, ScanDT " << scanMs << Qt::endl;
    Run off;
    Run on;
    for (int round = 1; round <= rounds; ++round) {
        for (const bool policy : {false, true}) {
            const Run r = runOnce(sim, rows, modems, scanMs, policy);
            out << "  round " << round << (policy ? " quotas+routes: " : " no policy:     ")
                << r.done << " results (" << r.failed << " failed) in "
                << QString::number(r.seconds, 'f', 2) << " s ("
                << QString::number(r.done / qMax(0.001, r.seconds), 'f', 0) << " a second), "
                << msPerMessage(r) << " ms CPU a message" << Qt::endl;
            if (!r.ok)
                return 1;
            Run &sum = policy ? on : off;
            sum.done += r.done;
            sum.cpu += r.cpu;
            sum.seconds += r.seconds;
        }
    }
    const double ratio = (on.cpu / qMax(1, on.done)) / (off.cpu / qMax(1, off.done));
    const auto rate = [](const Run &r) {
        return QString::number(r.done / qMax(0.001, r.seconds), 'f', 0);
    };
    out << "  no policy:     " << msPerMessage(off) << " ms CPU a message, " << rate(off)
        << " messages a second" << Qt::endl
        << "  quotas+routes: " << msPerMessage(on) << " ms CPU a message, " << rate(on)
        << " messages a second" << Qt::endl
        << "  ratio: " << QString::number(ratio, 'f', 3) << " ("
        << QString::number((ratio - 1) * 100, 'f', 1) << " %)" << Qt::endl;
    return 0;
}
