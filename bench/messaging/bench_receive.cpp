// Received messages a second into smsrecv from a burst on every modem, with the gateway's CPU
// time per message and its peak memory.
//   bench_messaging_receive [sqlite|postgresql|mysql] [messages per modem] [modems]
#include "benchrig.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString engine = args.value(1, QStringLiteral("sqlite"));
    const int perModem = args.value(2, QStringLiteral("16")).toInt();
    const int modems = args.value(3, QStringLiteral("128")).toInt();
    const int total = perModem * modems;
    QTextStream out(stdout);

    BenchRig rig(modems, engine, QStringLiteral("bench_receive"));
    QString error;
    if (!rig.prepare(&error)) {
        out << "prepare: " << error << Qt::endl;
        return 1;
    }
    GatewayHarness &h = rig.harness();
    if (rig.startService(&error) < 0) {
        out << error << Qt::endl;
        return 1;
    }
    int received = 0;
    QObject::connect(
            &h.gw->events(), &EngineEvents::messageReceived, &app, [&received] { ++received; },
            Qt::DirectConnection);

    // The burst lands on the SIMs while the gateway is busy elsewhere (this program talks to
    // the simulator); the clock starts when the gateway can take it.
    for (int i = 0; i < total; ++i) {
        if (rig.sim().deliver(1 + i % modems,
                              QStringLiteral("138%1").arg(i, 8, 10, QLatin1Char('0')),
                              QStringLiteral("burst message %1 收到").arg(i))
            < 1) {
            out << "deliver failed" << Qt::endl;
            return 1;
        }
    }
    const BenchRig::Usage before = BenchRig::usage();
    QElapsedTimer wall;
    wall.start();
    while (received < total && wall.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const BenchRig::Usage after = BenchRig::usage();
    const int stored =
            rig.database().scalar(QStringLiteral("select count(*) from smsrecv")).toInt();
    out << "receive " << engine << ": " << total << " messages on " << modems << " modems"
        << "\n  burst into smsrecv: " << QString::number(seconds, 'f', 2) << " s, "
        << QString::number(stored / seconds, 'f', 0) << " messages/s"
        << "\n  rows in smsrecv: " << stored << ", spooled: " << h.gw->flow().store().spool().size()
        << "\n  gateway CPU: "
        << QString::number((after.cpuSeconds - before.cpuSeconds) * 1000 / total, 'f', 3)
        << " ms/message"
        << "\n  peak RSS: " << QString::number(after.peakRssKb / 1024.0, 'f', 1) << " MB"
        << Qt::endl;
    return stored == total ? 0 : 2;
}
