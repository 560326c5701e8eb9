// Several services on one queue: 1, 2 and 3 velmora-gatewayd on one database, each with its own
// simulated modems, side by side in one run. For each: rows a second from the start to the last
// row at Status 2, claims lost to another gateway, and rows sent twice (always 0).
//   bench_shared [rows] [modems per gateway] [scanMs]
// The database is PostgreSQL when VELMORA_TEST_PGSQL names one, SQLite otherwise.
#include "gatewaydprocess.h"
#include "modemsimprocess.h"
#include "portlist.h"
#include "simcontrols.h"
#include "testdatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <memory>

namespace {

double metric(quint16 port, const QByteArray &name)
{
    const QByteArray data = GatewaydProcess::httpGet(port, "/metrics");
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

using Gateways = std::vector<std::unique_ptr<Gateway>>;

void writeConfig(const Gateway &gw, const QString &connection, int scanMs, int number, int modems)
{
    QFile config(gw.dir.path() + QStringLiteral("/Config.ini"));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("[DBCon]\nConSTR=%1\nScanDT=%2\nGatewayName=g%3\n"
                                "[SMSCom]\nPort=%4\nRate=%5\n[Service]\nHttpPort=%6\n")
                         .arg(connection)
                         .arg(scanMs)
                         .arg(number)
                         .arg(PortList::ports(modems), PortList::rates(modems))
                         .arg(gw.port)
                         .toUtf8());
    config.close();
}

// Each gateway with its simulator running and its folder configured; false when a simulator did
// not start.
bool prepare(Gateways *gateways, int count, int modems, int scanMs, const QString &connection,
             QTextStream &out)
{
    for (int g = 0; g < count; ++g) {
        auto gw = std::make_unique<Gateway>();
        gw->sim = std::make_unique<ModemSimProcess>(modems);
        if (!gw->sim->start()) {
            out << "simulator: " << gw->sim->errorString() << Qt::endl;
            return false;
        }
        gw->port = GatewaydProcess::freePort();
        writeConfig(*gw, connection, scanMs, g + 1, modems);
        gateways->push_back(std::move(gw));
    }
    return true;
}

void start(Gateways &gateways)
{
    for (auto &gw : gateways) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_PORTS_DIR"), gw->sim->portsDir());
        gw->process.setProcessEnvironment(env);
        gw->process.setStandardOutputFile(QProcess::nullDevice());
        gw->process.start(qEnvironmentVariable("VELMORA_GATEWAYD"),
                          {QStringLiteral("--program-dir"), gw->dir.path()});
        gw->process.waitForStarted(5000);
    }
}

// Ends the gateways; the claims they lost to one another, and the rows sent twice.
std::pair<double, qsizetype> finish(Gateways &gateways, int modems)
{
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
    return {lost, texts.size() - QSet<QString>(texts.cbegin(), texts.cend()).size()};
}

// One line of the table: count gateways on a fresh queue of rows; false after a failure.
bool runGateways(const QString &engine, int count, int rows, int modems, int scanMs,
                 QTextStream &out)
{
    TestDatabase tdb(engine);
    QString error;
    if (!tdb.create(QStringLiteral("bench_shared"), &error) || !tdb.insertPending(rows)) {
        out << "database: " << error << Qt::endl;
        return false;
    }
    Gateways gateways;
    if (!prepare(&gateways, count, modems, scanMs, tdb.connectionString(), out))
        return false;
    QElapsedTimer clock;
    clock.start();
    start(gateways);
    while (tdb.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt() < rows) {
        if (clock.hasExpired(600000)) {
            out << "timed out" << Qt::endl;
            return false;
        }
        QThread::msleep(20);
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const auto [lost, twice] = finish(gateways, modems);
    out << QStringLiteral("%1  %2  %3  %4")
                    .arg(count, 8)
                    .arg(rows / seconds, 5, 'f', 0)
                    .arg(lost, 11, 'f', 0)
                    .arg(twice, 10)
        << Qt::endl;
    return true;
}

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
        if (!runGateways(engine, count, rows, modems, scanMs, out))
            return 1;
    }
    return 0;
}
