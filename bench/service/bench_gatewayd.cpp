// Messages a second through the service program velmora-gatewayd, from pending rows to all rows
// at Status 2, with the service's CPU time per message read from /proc/<pid>/stat.
//   bench_gatewayd [rows] [modems] [scanMs]
#include "gatewaydprocess.h"
#include "modemsimprocess.h"
#include "portlist.h"
#include "processcpu.h"
#include "simcontrols.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <unistd.h>

namespace {

int scalar(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

struct Burst
{
    int done = 0;
    int failed = 0;
    double seconds = 0;
    double cpu = 0;
};

// The installed empty database in the program folder; its path.
QString copyDatabase(const QString &folder)
{
    QDir(folder).mkpath(QStringLiteral("DataBase"));
    const QString dbPath = folder + QStringLiteral("/DataBase/SMS.db");
    QFile::copy(qEnvironmentVariable("VELMORA_BUILD_DIR")
                        + QStringLiteral("/install-root/MainApp/DataBase/SMS.db"),
                dbPath);
    return dbPath;
}

void writeConfig(const QString &folder, int scanMs, int modems, quint16 port)
{
    QFile config(folder + QStringLiteral("/Config.ini"));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("[DBCon]\nScanDT=%1\n[SMSCom]\nPort=%2\nRate=%3\n"
                                "[Service]\nHttpPort=%4\n")
                         .arg(scanMs)
                         .arg(PortList::ports(modems), PortList::rates(modems))
                         .arg(port)
                         .toUtf8());
    config.close();
}

void insertRows(QSqlDatabase &db, int rows)
{
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("insert into SMS (CellNumber, SMSContent) values (?, ?)"));
    for (int i = 1; i <= rows; ++i) {
        insert.addBindValue(QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0')));
        insert.addBindValue(QStringLiteral("bench %1").arg(i));
        insert.exec();
    }
    db.commit();
}

// From the rows in the table to all of them sent or failed, with the service's CPU time.
Burst measure(QSqlDatabase &db, qint64 pid, int rows)
{
    Burst b;
    ProcessCpu::toggleProfile("on", pid);
    const double cpuBefore = ProcessCpu::seconds(pid);
    QElapsedTimer wall;
    wall.start();
    while ((b.done = scalar(db, QStringLiteral("select count(*) from SMS where Status in (2, -1)")))
                   < rows
           && wall.elapsed() < 600000)
        QThread::msleep(20);
    b.seconds = double(wall.nsecsElapsed()) / 1e9;
    b.cpu = ProcessCpu::seconds(pid) - cpuBefore;
    ProcessCpu::toggleProfile("off", pid);
    b.failed = scalar(db, QStringLiteral("select count(*) from SMS where Status=-1"));
    return b;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.value(1, QStringLiteral("10000")).toInt();
    const int modems = args.value(2, QStringLiteral("128")).toInt();
    const int scanMs = args.value(3, QStringLiteral("1000")).toInt();
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
    QTemporaryDir folder;
    const QString dbPath = copyDatabase(folder.path());
    const quint16 port = GatewaydProcess::freePort();
    writeConfig(folder.path(), scanMs, modems, port);

    GatewaydProcess daemon;
    if (!daemon.start(sim.portsDir(), folder.path())) {
        out << "velmora-gatewayd did not start" << Qt::endl;
        return 1;
    }
    const qint64 startMs = daemon.waitForDevices(port, modems, 600000);
    if (startMs < 0) {
        out << "the devices did not come up" << Qt::endl;
        return 1;
    }
    const double startSeconds = double(startMs) / 1000;

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(dbPath);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    db.open();
    insertRows(db, rows);
    const Burst b = measure(db, daemon.pid(), rows);
    daemon.stop();

    out << "service send sqlite: " << rows << " rows, " << modems << " modems, ScanDT " << scanMs
        << "\n  start to all devices up: " << QString::number(startSeconds, 'f', 2) << " s"
        << "\n  results: " << b.done << " (" << b.failed << " failed) in "
        << QString::number(b.seconds, 'f', 2) << " s"
        << "\n  messages a second: " << QString::number(double(b.done) / b.seconds, 'f', 0)
        << "\n  service CPU a message: " << QString::number(b.cpu * 1000 / qMax(1, b.done), 'f', 3)
        << " ms" << Qt::endl;
    return b.done == rows ? 0 : 1;
}
