// The service's CPU time a message, from pending rows to their results, with 128 simulated
// modems at full speed, in runs that take turns without a console and with N consoles on the
// live channel (which then pushes the whole state every second). Prints both and their ratio.
//   bench_console [rows per run] [modems] [consoles]
#include "modemsimprocess.h"
#include "processcpu.h"
#include "simcontrols.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWebSocket>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

void turn(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int scalar(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

struct Run
{
    int done = 0;
    double seconds = 0;
    double cpuPerMessageMs = 0;
};

// Queues rows pending rows and waits for all of them to have a result.
Run sendRows(QSqlDatabase &db, qint64 pid, int rows, int run)
{
    const int before = scalar(db, QStringLiteral("select count(*) from SMS"));
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("insert into SMS (CellNumber, SMSContent) values (?, ?)"));
    for (int i = 1; i <= rows; ++i) {
        insert.addBindValue(QStringLiteral("13%1%2").arg(run).arg(i, 8, 10, QLatin1Char('0')));
        insert.addBindValue(QStringLiteral("bench %1").arg(i));
        insert.exec();
    }
    db.commit();
    ProcessCpu::toggleProfile("on", pid);
    const double cpuBefore = ProcessCpu::seconds(pid);
    QElapsedTimer wall;
    wall.start();
    Run r;
    while ((r.done = scalar(db, QStringLiteral("select count(*) from SMS where Status in (2, -1)"))
                    - before)
                   < rows
           && wall.elapsed() < 600000)
        turn(20);
    r.seconds = double(wall.nsecsElapsed()) / 1e9;
    r.cpuPerMessageMs = (ProcessCpu::seconds(pid) - cpuBefore) * 1000 / qMax(1, r.done);
    ProcessCpu::toggleProfile("off", pid);
    return r;
}

constexpr int Pairs = 3;

void add(Run &total, const Run &run)
{
    total.cpuPerMessageMs = (total.cpuPerMessageMs * total.done + run.cpuPerMessageMs * run.done)
            / qMax(1, total.done + run.done);
    total.done += run.done;
    total.seconds += run.seconds;
}

// Consoles on the live channel as pages open them from loopback, each giving its token first,
// once they hear the gateway.
std::vector<std::unique_ptr<QWebSocket>> openConsoles(quint16 port, int n, const QByteArray &token,
                                                      qint64 *received)
{
    std::vector<std::unique_ptr<QWebSocket>> pages;
    for (int i = 0; i < n; ++i) {
        pages.push_back(
                std::make_unique<QWebSocket>(QStringLiteral("http://127.0.0.1:%1").arg(port)));
        QWebSocket *page = pages.back().get();
        QObject::connect(page, &QWebSocket::binaryMessageReceived,
                         [received](const QByteArray &m) { *received += m.size(); });
        QObject::connect(page, &QWebSocket::connected, [page, token] {
            page->sendTextMessage(QStringLiteral(R"({"token": "%1"})").arg(QLatin1String(token)));
        });
        pages.back()->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/console/live").arg(port)));
    }
    turn(1500);
    return pages;
}

QString programDir(QTemporaryDir &folder, int modems, quint16 port)
{
    QDir(folder.path()).mkpath(QStringLiteral("DataBase"));
    QFile::copy(qEnvironmentVariable("VELMORA_BUILD_DIR")
                        + QStringLiteral("/install-root/MainApp/DataBase/SMS.db"),
                folder.path() + QStringLiteral("/DataBase/SMS.db"));
    QStringList ports;
    QStringList rates;
    for (int i = 1; i <= modems; ++i) {
        ports << QString::number(i);
        rates << QStringLiteral("115200");
    }
    QFile config(folder.path() + QStringLiteral("/Config.ini"));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("[DBCon]\nScanDT=200\n[SMSCom]\nPort=%1\nRate=%2\n"
                                "[Service]\nHttpPort=%3\n")
                         .arg(ports.join(QLatin1Char(',')), rates.join(QLatin1Char(',')))
                         .arg(port)
                         .toUtf8());
    return folder.path();
}

bool startService(QProcess &daemon, const QString &dir, const QString &portsDir)
{
    daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon.setStandardOutputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_PORTS_DIR"), portsDir);
    daemon.setProcessEnvironment(env);
    daemon.start(qEnvironmentVariable("VELMORA_GATEWAYD"), {QStringLiteral("--program-dir"), dir});
    return daemon.waitForStarted(5000);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.value(1, QStringLiteral("8000")).toInt();
    const int modems = args.value(2, QStringLiteral("128")).toInt();
    const int consoles = args.value(3, QStringLiteral("5")).toInt();
    QTextStream out(stdout);

    RegisteredControls controls;
    ModemSimProcess sim(modems);
    if (!controls.isRegistered() || !sim.start()) {
        out << "modems: " << controls.errorString() << sim.errorString() << Qt::endl;
        return 1;
    }
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QTemporaryDir folder;
    const QString dir = programDir(folder, modems, port);
    // The live channel tells nothing without a token.
    QProcess tokens;
    tokens.start(qEnvironmentVariable("VELMORA_GATEWAYD"),
                 {QStringLiteral("--program-dir"), dir, QStringLiteral("--add-token"),
                 QStringLiteral("bench"), QStringLiteral("--role"), QStringLiteral("read")});
    tokens.waitForFinished(10000);
    const QByteArray token = tokens.readAllStandardOutput().trimmed();
    QProcess daemon;
    if (!startService(daemon, dir, sim.portsDir()))
        return 1;

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(dir + QStringLiteral("/DataBase/SMS.db"));
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    db.open();
    // A first run brings every modem up and warms the service; it is not counted. Then runs
    // without and with consoles take turns, so that what drifts over time falls on both.
    sendRows(db, daemon.processId(), modems * 8, 0);
    Run alone;
    Run watched;
    qint64 received = 0;
    for (int pair = 0; pair < Pairs; ++pair) {
        add(alone, sendRows(db, daemon.processId(), rows, 2 * pair + 1));
        std::vector<std::unique_ptr<QWebSocket>> pages = openConsoles(port, consoles, token, &received);
        add(watched, sendRows(db, daemon.processId(), rows, 2 * pair + 2));
    }
    ::kill(pid_t(daemon.processId()), SIGTERM);
    daemon.waitForFinished(10000);

    const double ratio = watched.cpuPerMessageMs / alone.cpuPerMessageMs;
    out << "console cost, sqlite: " << rows << " rows a run, " << modems << " modems"
        << "\n  no console: " << QString::number(alone.cpuPerMessageMs, 'f', 3)
        << " ms CPU a message (" << QString::number(alone.done / alone.seconds, 'f', 0)
        << " messages a second)"
        << "\n  " << consoles << " consoles: " << QString::number(watched.cpuPerMessageMs, 'f', 3)
        << " ms CPU a message (" << QString::number(watched.done / watched.seconds, 'f', 0)
        << " messages a second; the pages read " << received / 1024 << " KiB)"
        << "\n  ratio: " << QString::number(ratio, 'f', 3) << " (target at most 1.10)" << Qt::endl;
    return alone.done == rows * Pairs && watched.done == rows * Pairs ? 0 : 1;
}
