// Messages a second from pending rows to all rows at Status 2, with the gateway's CPU time per
// message and its peak memory.
//   bench_messaging_send [sqlite|postgresql|mysql] [rows] [modems] [scanMs]
#include "benchrig.h"

#include <QCoreApplication>

namespace {

// The figures after the heading line.
void report(QTextStream &out, BenchRig &rig, int rows, int sent, double seconds,
            const BenchRig::Usage &before, const BenchRig::Usage &after)
{
    const int failed = rig.database()
                               .scalar(QStringLiteral("select count(*) from SMS where Status=-1"))
                               .toInt();
    out << "\n  first tick to last row at 2: " << QString::number(seconds, 'f', 2) << " s, "
        << QString::number(sent / seconds, 'f', 0) << " messages/s"
        << "\n  rows at 2: " << sent << ", at -1: " << failed << "\n  gateway CPU: "
        << QString::number((after.cpuSeconds - before.cpuSeconds) * 1000 / rows, 'f', 3)
        << " ms/message"
        << "\n  peak RSS: " << QString::number(after.peakRssKb / 1024.0, 'f', 1) << " MB"
        << Qt::endl;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString engine = args.value(1, QStringLiteral("sqlite"));
    const int rows = args.value(2, QStringLiteral("10000")).toInt();
    const int modems = args.value(3, QStringLiteral("128")).toInt();
    const QString scan = args.value(4, QStringLiteral("1000"));
    QTextStream out(stdout);

    BenchRig rig(modems, engine, QStringLiteral("bench_send"));
    QString error;
    if (!rig.prepare(&error)) {
        out << "prepare: " << error << Qt::endl;
        return 1;
    }
    GatewayHarness &h = rig.harness();
    h.setConfig(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), scan);
    const double startup = rig.startService(&error);
    if (startup < 0) {
        out << error << Qt::endl;
        return 1;
    }
    // The rows arrive after the start, so the measured tick is the first to find them.
    if (!rig.database().insertPending(rows)) {
        out << "could not insert the pending rows" << Qt::endl;
        return 1;
    }

    int results = 0;
    QObject::connect(
            &h.gw->events(), &EngineEvents::messageSent, &app, [&results] { ++results; },
            Qt::DirectConnection);
    QObject::connect(
            &h.gw->events(), &EngineEvents::messageFailed, &app, [&results] { ++results; },
            Qt::DirectConnection);
    const BenchRig::Usage before = BenchRig::usage();
    QElapsedTimer wall;
    wall.start();
    h.poll(); // the first tick; Timer1 runs on by itself from here
    QElapsedTimer limit;
    limit.start();
    while ((results < rows || h.gw->flow().store().unwrittenStatuses() > 0)
           && limit.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const BenchRig::Usage after = BenchRig::usage();

    const int sent = rig.database()
                             .scalar(QStringLiteral("select count(*) from SMS where Status=2"))
                             .toInt();
    out << "send " << engine << ": " << rows << " rows, " << modems << " modems, ScanDT " << scan
        << "\n  start to all idle: " << QString::number(startup, 'f', 2) << " s";
    report(out, rig, rows, sent, seconds, before, after);
    return sent == rows ? 0 : 2;
}
