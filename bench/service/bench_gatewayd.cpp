// Messages a second through the service program velmora-gatewayd, from pending rows to all rows
// at Status 2, with the service's CPU time per message read from /proc/<pid>/stat.
//   bench_gatewayd [rows] [modems] [scanMs]
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

// VELMORA_BENCH_PROFILE names a command run as "<command> on|off <pid>" around the burst, so
// that a profiler started with collection off (valgrind --tool=callgrind --instr-atstart=no,
// with "callgrind_control -i") counts the sends alone and not the start-up.
void toggleProfile(const char *state, qint64 pid)
{
    const QStringList command = qEnvironmentVariable("VELMORA_BENCH_PROFILE")
                                        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (command.isEmpty())
        return;
    QProcess::execute(command.first(),
                      command.mid(1) << QString::fromLatin1(state) << QString::number(pid));
}

int scalar(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
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
    QDir(folder.path()).mkpath(QStringLiteral("DataBase"));
    const QString dbPath = folder.path() + QStringLiteral("/DataBase/SMS.db");
    QFile::copy(qEnvironmentVariable("VELMORA_BUILD_DIR")
                        + QStringLiteral("/install-root/MainApp/DataBase/SMS.db"),
                dbPath);
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QStringList ports;
    QStringList rates;
    for (int i = 1; i <= modems; ++i) {
        ports << QString::number(i);
        rates << QStringLiteral("115200");
    }
    QFile config(folder.path() + QStringLiteral("/Config.ini"));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("[DBCon]\nScanDT=%1\n[SMSCom]\nPort=%2\nRate=%3\n"
                                "[Service]\nHttpPort=%4\n")
                         .arg(scanMs)
                         .arg(ports.join(QLatin1Char(',')), rates.join(QLatin1Char(',')))
                         .arg(port)
                         .toUtf8());
    config.close();

    QProcess daemon;
    daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon.setStandardOutputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_PORTS_DIR"), sim.portsDir());
    daemon.setProcessEnvironment(env);
    daemon.start(qEnvironmentVariable("VELMORA_GATEWAYD"),
                 {QStringLiteral("--program-dir"), folder.path()});
    if (!daemon.waitForStarted(5000)) {
        out << "velmora-gatewayd did not start" << Qt::endl;
        return 1;
    }
    QElapsedTimer startup;
    startup.start();
    const QByteArray allUp = "velmora_devices_up " + QByteArray::number(modems) + '\n';
    while (!httpGet(port, "/metrics").contains(allUp)) {
        if (startup.elapsed() > 600000 || daemon.state() != QProcess::Running) {
            out << "the devices did not come up" << Qt::endl;
            return 1;
        }
        QThread::msleep(100);
    }
    const double startSeconds = double(startup.elapsed()) / 1000;

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(dbPath);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    db.open();
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("insert into SMS (CellNumber, SMSContent) values (?, ?)"));
    for (int i = 1; i <= rows; ++i) {
        insert.addBindValue(QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0')));
        insert.addBindValue(QStringLiteral("bench %1").arg(i));
        insert.exec();
    }
    db.commit();

    toggleProfile("on", daemon.processId());
    const double cpuBefore = cpuSeconds(daemon.processId());
    QElapsedTimer wall;
    wall.start();
    int done = 0;
    while ((done = scalar(db, QStringLiteral("select count(*) from SMS where Status in (2, -1)")))
                   < rows
           && wall.elapsed() < 600000)
        QThread::msleep(20);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds(daemon.processId()) - cpuBefore;
    toggleProfile("off", daemon.processId());
    const int failed = scalar(db, QStringLiteral("select count(*) from SMS where Status=-1"));

    ::kill(pid_t(daemon.processId()), SIGTERM);
    daemon.waitForFinished(10000);

    out << "service send sqlite: " << rows << " rows, " << modems << " modems, ScanDT " << scanMs
        << "\n  start to all devices up: " << QString::number(startSeconds, 'f', 2) << " s"
        << "\n  results: " << done << " (" << failed << " failed) in "
        << QString::number(seconds, 'f', 2) << " s"
        << "\n  messages a second: " << QString::number(double(done) / seconds, 'f', 0)
        << "\n  service CPU a message: " << QString::number(cpu * 1000 / qMax(1, done), 'f', 3)
        << " ms" << Qt::endl;
    return done == rows ? 0 : 1;
}
