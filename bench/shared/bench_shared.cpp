// Several services on one queue: 1, 2 and 3 velmora-gatewayd on one database, each with its own
// simulated modems, side by side in one run. For each: rows a second from the start to the last
// row at Status 2, claims lost to another gateway, and rows sent twice (always 0).
//   bench_shared [rows] [modems per gateway] [scanMs]
// The database is PostgreSQL when VELMORA_TEST_PGSQL names one, SQLite otherwise.
#include "modemsimprocess.h"
#include "simcontrols.h"
#include "testdatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <memory>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

double metric(quint16 port, const QByteArray &name)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return -1;
    socket.write("GET /metrics HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    QByteArray data;
    while (socket.waitForReadyRead(2000))
        data += socket.readAll();
    for (const QByteArray &line : data.split('\n')) {
        if (line.startsWith(name + ' '))
            return line.mid(name.size() + 1).toDouble();
    }
    return -1;
}

struct Gateway
{
    QTemporaryDir dir;
    std::unique_ptr<ModemSimProcess> sim;
    QProcess process;
    quint16 port = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.value(1, QStringLiteral("10000")).toInt();
    const int modems = args.value(2, QStringLiteral("32")).toInt();
    const int scanMs = args.value(3, QStringLiteral("100")).toInt();
    QTextStream out(stdout);

    RegisteredControls controls;
    if (!controls.isRegistered()) {
        out << "regsvr32: " << controls.errorString() << Qt::endl;
        return 1;
    }
    const QString engine = TestDatabase::available(QStringLiteral("postgresql"))
            ? QStringLiteral("postgresql")
            : QStringLiteral("sqlite");
    out << "engine " << engine << ", " << rows << " rows, " << modems
        << " modems a gateway, ScanDT " << scanMs << Qt::endl;
    out << "gateways  msg/s  claims lost  sent twice" << Qt::endl;

    for (int count = 1; count <= 3; ++count) {
        TestDatabase tdb(engine);
        QString error;
        if (!tdb.create(QStringLiteral("bench_shared"), &error) || !tdb.insertPending(rows)) {
            out << "database: " << error << Qt::endl;
            return 1;
        }
        std::vector<std::unique_ptr<Gateway>> gateways;
        for (int g = 0; g < count; ++g) {
            auto gw = std::make_unique<Gateway>();
            gw->sim = std::make_unique<ModemSimProcess>(modems);
            if (!gw->sim->start()) {
                out << "simulator: " << gw->sim->errorString() << Qt::endl;
                return 1;
            }
            gw->port = freePort();
            QStringList ports;
            QStringList rates;
            for (int p = 1; p <= modems; ++p) {
                ports << QString::number(p);
                rates << QStringLiteral("115200");
            }
            QFile config(gw->dir.path() + QStringLiteral("/Config.ini"));
            config.open(QIODevice::WriteOnly);
            config.write(QStringLiteral("[DBCon]\nConSTR=%1\nScanDT=%2\nGatewayName=g%3\n"
                                        "[SMSCom]\nPort=%4\nRate=%5\n[Service]\nHttpPort=%6\n")
                                 .arg(tdb.connectionString())
                                 .arg(scanMs)
                                 .arg(g + 1)
                                 .arg(ports.join(QLatin1Char(',')), rates.join(QLatin1Char(',')))
                                 .arg(gw->port)
                                 .toUtf8());
            config.close();
            gateways.push_back(std::move(gw));
        }
        QElapsedTimer clock;
        clock.start();
        for (auto &gw : gateways) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("VELMORA_PORTS_DIR"), gw->sim->portsDir());
            gw->process.setProcessEnvironment(env);
            gw->process.setStandardOutputFile(QProcess::nullDevice());
            gw->process.start(qEnvironmentVariable("VELMORA_GATEWAYD"),
                              {QStringLiteral("--program-dir"), gw->dir.path()});
            gw->process.waitForStarted(5000);
        }
        while (tdb.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt()
               < rows) {
            if (clock.hasExpired(600000)) {
                out << "timed out" << Qt::endl;
                return 1;
            }
            QThread::msleep(20);
        }
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        double lost = 0;
        QStringList texts;
        for (auto &gw : gateways) {
            lost += metric(gw->port, "velmora_claims_lost_total");
            for (int p = 1; p <= modems; ++p) {
                for (const ModemSimProcess::Submitted &s : gw->sim->submitted(p))
                    texts << s.text;
            }
            gw->process.terminate();
            gw->process.waitForFinished(5000);
        }
        const qsizetype twice = texts.size() - QSet<QString>(texts.cbegin(), texts.cend()).size();
        out << QStringLiteral("%1  %2  %3  %4")
                        .arg(count, 8)
                        .arg(rows / seconds, 5, 'f', 0)
                        .arg(lost, 11, 'f', 0)
                        .arg(twice, 10)
            << Qt::endl;
    }
    return 0;
}
