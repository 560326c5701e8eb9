// The engine's history per message: a send result noted on a device with the time read from
// the system clock, as the send path does, over many devices and minutes.
//   bench_history_note [results] [devices]
#include "common/clock.h"
#include "model/enginehistory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int results = qMax(1, args.value(1, QStringLiteral("1000000")).toInt());
    const int devices = qBound(1, args.value(2, QStringLiteral("128")).toInt(), 128);
    QTextStream out(stdout);
    EngineHistory history;
    const Clock &clock = SystemClock::instance();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < results; ++i)
        history.sendResult(i % devices, i % 10 != 0, 0.1 * (i % 400), clock.now());
    const double perResult = double(t.nsecsElapsed()) / results;
    t.restart();
    qint64 sum = 0;
    for (int i = 0; i < results; ++i)
        sum += clock.now().time().msec();
    const double perClock = double(t.nsecsElapsed()) / results;
    t.restart();
    const QList<HistoryMinute> day =
            history.minutes(EngineHistory::GatewayMinutes, -1, clock.now());
    const double readDay = double(t.nsecsElapsed()) / 1e6;
    int noted = 0;
    for (const HistoryMinute &m : day)
        noted += m.sent + m.failed;
    out << "history: " << results << " send results on " << devices << " devices, "
        << QString::number(perResult, 'f', 0) << " ns each with the clock (the clock alone "
        << QString::number(perClock, 'f', 0) << " ns, " << sum % 2 << "); the day read in "
        << QString::number(readDay, 'f', 2) << " ms" << Qt::endl;
    return noted == results ? 0 : 2;
}
