// The sending policy's cost: the service program's CPU time per message from pending rows to
// all rows at Status 2, once without a policy and once with quotas on every SIM and two routes
// (pacing off, as pacing only waits), against the same simulated modems. Runs alternate so a
// busy machine weighs on both alike.
//   bench_policy [rows] [modems] [scanMs] [rounds]
#include "modemsimprocess.h"
#include "simcontrols.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace {

struct Run
{
    int done = 0;
    int failed = 0;
    double seconds = 0;
    double cpu = 0;
    bool ok = false;
};

// utime + stime of a process, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(f.value(11).toLongLong() + f.value(12).toLongLong());
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

QByteArray httpGet(quint16 port, const QByteArray &path)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    QByteArray data;
    while (socket.waitForReadyRead(2000))
        data += socket.readAll();
    return data;
}

int scalar(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
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
    QStringList ports;
    QStringList rates;
    for (int i = 1; i <= modems; ++i) {
        ports << QString::number(i);
        rates << QStringLiteral("115200");
    }
    QFile config(folder + QStringLiteral("/Config.ini"));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("[DBCon]\nScanDT=%1\n[SMSCom]\nPort=%2\nRate=%3\n"
                                "[Service]\nHttpPort=%4\n%5")
                         .arg(scanMs)
                         .arg(ports.join(QLatin1Char(',')), rates.join(QLatin1Char(',')))
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

bool waitForDevices(QProcess &daemon, quint16 port, int modems)
{
    QElapsedTimer startup;
    startup.start();
    const QByteArray allUp = "velmora_devices_up " + QByteArray::number(modems) + '\n';
    while (!httpGet(port, "/metrics").contains(allUp)) {
        if (startup.elapsed() > 600000 || daemon.state() != QProcess::Running)
            return false;
        QThread::msleep(100);
    }
    return true;
}

Run measure(QProcess &daemon, QSqlDatabase &db, int rows)
{
    Run run;
    insertRows(db, rows);
    const double cpuBefore = cpuSeconds(daemon.processId());
    QElapsedTimer wall;
    wall.start();
    while ((run.done = scalar(db,
                              QStringLiteral("select count(*) from SMS where Status in "
                                             "(2, -1)")))
                   < rows
           && wall.elapsed() < 600000)
        QThread::msleep(20);
    run.seconds = double(wall.nsecsElapsed()) / 1e9;
    run.cpu = cpuSeconds(daemon.processId()) - cpuBefore;
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
    const quint16 port = freePort();
    writeConfig(folder.path(), modems, scanMs, port, policy);
    QProcess daemon;
    daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon.setStandardOutputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_PORTS_DIR"), sim.portsDir());
    daemon.setProcessEnvironment(env);
    daemon.start(qEnvironmentVariable("VELMORA_GATEWAYD"),
                 {QStringLiteral("--program-dir"), folder.path()});
    Run run;
    if (daemon.waitForStarted(5000) && waitForDevices(daemon, port, modems)) {
        const QString name = policy ? QStringLiteral("on") : QStringLiteral("off");
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dbPath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (db.open())
            run = measure(daemon, db, rows);
        db.close();
    }
    ::kill(pid_t(daemon.processId()), SIGTERM);
    daemon.waitForFinished(10000);
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
                << QString::number(r.seconds, 'f', 2) << " s, " << msPerMessage(r)
                << " ms CPU a message" << Qt::endl;
            if (!r.ok)
                return 1;
            Run &sum = policy ? on : off;
            sum.done += r.done;
            sum.cpu += r.cpu;
        }
    }
    const double ratio = (on.cpu / qMax(1, on.done)) / (off.cpu / qMax(1, off.done));
    out << "  no policy:     " << msPerMessage(off) << " ms CPU a message" << Qt::endl
        << "  quotas+routes: " << msPerMessage(on) << " ms CPU a message" << Qt::endl
        << "  ratio: " << QString::number(ratio, 'f', 3) << " ("
        << QString::number((ratio - 1) * 100, 'f', 1) << " %)" << Qt::endl;
    return 0;
}
