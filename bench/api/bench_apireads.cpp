// What API reads cost the sending: a burst of pending rows sent by zero-delay simulated modems
// through the real engine and modem control, once alone and once while a client reads the
// inbox (1,000 received messages a request) at 20 requests a second. Prints both send rates,
// the reads' latency and whether the sending connection was ever opened again.
//   bench_api_reads [sqlite|postgresql|mysql] [rows] [modems] [repeats]
#include "benchrig.h"

#include "api/tokenstore.h"
#include "web/statusserver.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <atomic>
#include <thread>

namespace {

constexpr int Received = 1000;
constexpr int ReadsPerSecond = 20;

struct Run
{
    double seconds = 0;
    int sent = 0;
    int reopened = 0;
    std::vector<double> readMs;
    int readsFailed = 0;
};

// One GET on a keep-alive socket; the status code, 0 when the answer did not come.
int get(QTcpSocket &s, const QByteArray &path, const QByteArray &token)
{
    s.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token
            + "\r\n\r\n");
    QByteArray in;
    while (s.waitForReadyRead(30000)) {
        in += s.readAll();
        const qsizetype end = in.indexOf("\r\n\r\n");
        if (end < 0)
            continue;
        const qsizetype at = in.toLower().indexOf("content-length:");
        const qsizetype eol = in.indexOf("\r\n", at);
        const int length = in.mid(at + 15, eol - at - 15).trimmed().toInt();
        if (in.size() >= end + 4 + length)
            return in.mid(9, 3).toInt();
    }
    return 0;
}

bool run(const QString &engine, int rows, int modems, bool reads, Run *out, QString *error)
{
    BenchRig rig(modems, engine, reads ? QStringLiteral("bench_reads_on")
                                       : QStringLiteral("bench_reads_off"));
    if (!rig.prepare(error))
        return false;
    GatewayHarness &h = rig.harness();
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), QStringLiteral("1000"));
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    h.setConfig(QStringLiteral("Service"), QStringLiteral("HttpPort"), QString::number(port));
    h.setConfig(QStringLiteral("Service"), QStringLiteral("ApiRate"), QStringLiteral("1000"));
    if (rig.startService(error) < 0)
        return false;
    StatusServer server(*h.gw, h.gw->events());
    const QByteArray token = TokenStore(TokenStore::fileIn(h.programDir()))
                                     .add(QStringLiteral("bench"), TokenStore::Role::Read, error)
                                     .toLatin1();
    QSqlDatabase &app = rig.database().app();
    app.transaction();
    for (int i = 0; i < Received; ++i)
        rig.database().exec(QStringLiteral("insert into smsrecv(cellnumber, smscontent, HandleTime) "
                                           "values('1390000%1', 'received %1', "
                                           "'2026-12-09 10:00:00')")
                                    .arg(i, 4, 10, QLatin1Char('0')));
    app.commit();
    if (!rig.database().insertPending(rows)) {
        *error = QStringLiteral("could not insert the pending rows");
        return false;
    }
    int results = 0;
    const auto count = [&results] { ++results; };
    QObject::connect(&h.gw->events(), &EngineEvents::messageSent, &server, count,
                     Qt::DirectConnection);
    QObject::connect(&h.gw->events(), &EngineEvents::messageFailed, &server, count,
                     Qt::DirectConnection);
    std::atomic<bool> done{false};
    std::atomic<bool> readerEnded{!reads};
    std::thread reader;
    if (reads)
        reader = std::thread([&] {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            s.waitForConnected(5000);
            QElapsedTimer clock;
            clock.start();
            for (int n = 0; !done; ++n) {
                while (clock.elapsed() < qint64(n) * 1000 / ReadsPerSecond && !done)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                const qint64 begin = clock.nsecsElapsed();
                if (get(s, "/api/v1/inbox?limit=1000", token) == 200)
                    out->readMs.push_back(double(clock.nsecsElapsed() - begin) / 1e6);
                else
                    ++out->readsFailed;
            }
            readerEnded = true;
        });
    QElapsedTimer wall;
    wall.start();
    h.poll();
    while ((results < rows || h.gw->flow().store().unwrittenStatuses() > 0)
           && wall.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    out->seconds = double(wall.nsecsElapsed()) / 1e9;
    done = true;
    // The reader's last request is answered by this loop.
    while (!readerEnded)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (reader.joinable())
        reader.join();
    out->sent = rig.database()
                        .scalar(QStringLiteral("select count(*) from SMS where Status=2"))
                        .toInt();
    out->reopened = int(h.gw->log().text().count(QStringLiteral("数据库重新连接成功")));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString engine = args.value(1, QStringLiteral("sqlite"));
    const int rows = args.value(2, QStringLiteral("10000")).toInt();
    const int modems = args.value(3, QStringLiteral("128")).toInt();
    const int repeats = args.value(4, QStringLiteral("5")).toInt();
    QTextStream out(stdout);
    // A burst lasts about a second, so one pair of runs says little: the runs alternate, and
    // the medians are compared.
    std::vector<double> ratesAlone;
    std::vector<double> ratesReading;
    std::vector<double> readMs;
    int readsFailed = 0;
    int reopened = 0;
    bool allSent = true;
    QString error;
    for (int r = 0; r < repeats; ++r) {
        Run alone;
        Run reading;
        if (!run(engine, rows, modems, false, &alone, &error)
            || !run(engine, rows, modems, true, &reading, &error)) {
            out << error << Qt::endl;
            return 1;
        }
        ratesAlone.push_back(alone.sent / alone.seconds);
        ratesReading.push_back(reading.sent / reading.seconds);
        readMs.insert(readMs.end(), reading.readMs.begin(), reading.readMs.end());
        readsFailed += reading.readsFailed;
        reopened += alone.reopened + reading.reopened;
        allSent = allSent && alone.sent == rows && reading.sent == rows;
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    std::sort(readMs.begin(), readMs.end());
    const auto at = [&](double q) {
        return readMs.empty() ? 0.0 : readMs[size_t(q * (readMs.size() - 1))];
    };
    const double rateAlone = median(ratesAlone);
    const double rateReading = median(ratesReading);
    out << "api reads during a send burst, " << engine << ": " << rows << " rows, " << modems
        << " modems, median of " << repeats << " runs each"
        << "\n  alone: " << QString::number(rateAlone, 'f', 0) << " messages/s"
        << "\n  with inbox reads of " << Received << " at " << ReadsPerSecond
        << "/s: " << QString::number(rateReading, 'f', 0) << " messages/s, "
        << QString::number(100.0 * rateReading / rateAlone, 'f', 1) << " % of alone"
        << "\n  reads: " << readMs.size() << " answered, " << readsFailed
        << " failed, p50 " << QString::number(at(0.5), 'f', 1) << " ms, p99 "
        << QString::number(at(0.99), 'f', 1) << " ms"
        << "\n  sending connection reopened: " << reopened << Qt::endl;
    return allSent ? 0 : 2;
}
