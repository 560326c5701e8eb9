// Messages accepted through the HTTP API: the real engine and server on a SQLite database,
// clients on keep-alive connections in threads of their own. With a backlog, that many pending
// rows are being sent meanwhile by zero-delay simulated modems through the real modem control.
//   bench_api [requests] [connections] [seconds at 200/s] [backlog rows] [modems]
#include "benchrig.h"
#include "gatewayharness.h"
#include "testdatabase.h"

#include "api/tokenstore.h"
#include "web/statusserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

namespace {

struct Client
{
    quint16 port;
    QByteArray token;

    // One POST on the socket; the status code, 0 when the answer did not come.
    int post(QTcpSocket &s, int n) const
    {
        const QByteArray body = "{\"to\":\"1380013"
                + QByteArray::number(n % 10000).rightJustified(4, '0') + "\",\"text\":\"bench "
                + QByteArray::number(n) + "\"}";
        s.write("POST /api/v1/messages HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer "
                + token + "\r\nContent-Type: application/json\r\nContent-Length: "
                + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        QByteArray in;
        while (s.waitForReadyRead(5000)) {
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
};

QTcpSocket *connectTo(quint16 port)
{
    auto *s = new QTcpSocket;
    s->connectToHost(QHostAddress::LocalHost, port);
    s->waitForConnected(5000);
    return s;
}

void throughput(const Client &c, int requests, int connections)
{
    std::atomic<int> next{0};
    std::atomic<int> accepted{0};
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> threads;
    for (int t = 0; t < connections; ++t)
        threads.emplace_back([&] {
            std::unique_ptr<QTcpSocket> s(connectTo(c.port));
            for (int n = next++; n < requests; n = next++)
                accepted += c.post(*s, n) == 202 ? 1 : 0;
        });
    for (auto &t : threads)
        t.join();
    const double seconds = timer.elapsed() / 1000.0;
    std::printf("throughput: %d of %d accepted in %.2f s over %d keep-alive connections: %.0f "
                "messages/s\n",
                accepted.load(), requests, seconds, connections, accepted / seconds);
}

void paced(const Client &c, int seconds)
{
    const int total = 200 * seconds;
    std::vector<double> ms;
    std::unique_ptr<QTcpSocket> s(connectTo(c.port));
    QElapsedTimer clock;
    clock.start();
    for (int n = 0; n < total; ++n) {
        const qint64 due = qint64(n) * 5'000'000;
        while (clock.nsecsElapsed() < due)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const qint64 begin = clock.nsecsElapsed();
        if (c.post(*s, 100000 + n) == 202)
            ms.push_back((clock.nsecsElapsed() - begin) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) {
        return ms.empty() ? 0.0 : ms[size_t(q * (ms.size() - 1))];
    };
    std::printf("200 requests/s for %d s: %zu accepted, p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                seconds, ms.size(), at(0.5), at(0.99), ms.empty() ? 0.0 : ms.back());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int requests = argc > 1 ? atoi(argv[1]) : 5000;
    const int connections = argc > 2 ? atoi(argv[2]) : 4;
    const int pacedSeconds = argc > 3 ? atoi(argv[3]) : 10;
    const int backlog = argc > 4 ? atoi(argv[4]) : 0;
    const int modems = argc > 5 ? atoi(argv[5]) : 128;
    QString error;
    std::unique_ptr<BenchRig> rig;
    std::unique_ptr<TestDatabase> plainDb;
    std::unique_ptr<GatewayHarness> plainGw;
    if (backlog > 0) {
        rig = std::make_unique<BenchRig>(modems, QStringLiteral("sqlite"),
                                         QStringLiteral("bench_api"));
        if (!rig->prepare(&error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    } else {
        plainDb = std::make_unique<TestDatabase>(QStringLiteral("sqlite"));
        if (!plainDb->create(QStringLiteral("bench_api"), &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        plainGw = std::make_unique<GatewayHarness>(plainDb->connectionString());
    }
    TestDatabase &db = rig ? rig->database() : *plainDb;
    GatewayHarness &gw = rig ? rig->harness() : *plainGw;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    gw.setConfig(QStringLiteral("Service"), QStringLiteral("HttpPort"), QString::number(port));
    gw.setConfig(QStringLiteral("Service"), QStringLiteral("ApiRate"), QStringLiteral("1000000"));
    if (rig) {
        gw.setConfig(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), QStringLiteral("1000"));
        if (rig->startService(&error) < 0) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        if (!db.insertPending(backlog)) {
            std::fprintf(stderr, "could not insert the backlog\n");
            return 1;
        }
        gw.poll();
    } else {
        gw.start();
    }
    StatusServer server(*gw, gw->events());
    const QString token = TokenStore(TokenStore::fileIn(gw.programDir()))
                                  .add(QStringLiteral("bench"), TokenStore::Role::Send, &error);
    const Client client{port, token.toLatin1()};
    std::thread run([&] {
        throughput(client, requests, connections);
        paced(client, pacedSeconds);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    const int rc = QCoreApplication::exec();
    run.join();
    std::printf("rows in SMS: %s",
                qPrintable(db.scalar(QStringLiteral("select count(*) from SMS")).toString()));
    if (backlog > 0)
        std::printf(", of the %d-row backlog still at 0 or 1 at the end: %s", backlog,
                    qPrintable(db.scalar(QStringLiteral("select count(*) from SMS where Status "
                                                        "in (0,1) and SMSContent like 'msg %'"))
                                       .toString()));
    std::printf("\n");
    return rc;
}
