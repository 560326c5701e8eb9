// 16 of 128 modems never answer: how soon the other 112 are up, and how fast they send over a
// stretch that holds a supervision tick (one a minute), next to the same modems when all 128
// are healthy. The modems take 500 ms a message, so the rate is theirs, not the service's
// ceiling, and a stalled modem shows.
#include "devicebenches.h"
#include "servicerig.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

namespace {

constexpr int Dead = 16;
constexpr int Healthy = DeviceBenches::Modems - Dead;
constexpr int SendDelayMs = 500;
// Longer than the 60 s between supervision ticks, so at least one falls inside.
constexpr int WindowSeconds = 70;
constexpr int SliceSeconds = 5;
// More than the healthy modems can send from the start to the window's end.
constexpr int Rows = 40000;

// Every eighth port: the dead ones spread among the living, as in a real rack.
QList<int> deadPorts()
{
    QList<int> ports;
    for (int p = 8; p <= DeviceBenches::Modems; p += 8)
        ports << p;
    return ports;
}

struct Run
{
    qint64 upMs = -1;
    double rate = 0;       // messages a second of the 112, over the window
    double lowestRate = 0; // the slowest slice of SliceSeconds in it
};

int sentByHealthy(ServiceRig &rig)
{
    const QHash<int, int> counts = rig.submittedByPort();
    const QList<int> dead = deadPorts();
    int sum = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        sum += dead.contains(it.key()) ? 0 : it.value();
    return sum;
}

// From the start (rows already waiting) to the healthy modems up, then their sends second
// by second over the window.
Run measure(ServiceRig &rig, QString *error)
{
    Run r;
    if (!rig.prepare(error) || !rig.simulator().setSendDelay(0, SendDelayMs)
        || !rig.insertRows(Rows, error) || !rig.startService(error))
        return r;
    r.upMs = rig.waitForUp(Healthy, 400000);
    if (r.upMs < 0)
        return r;
    QList<int> sent{sentByHealthy(rig)};
    QElapsedTimer window;
    window.start();
    for (int s = 1; s <= WindowSeconds; ++s) {
        QThread::msleep(static_cast<unsigned long>(qMax<qint64>(0, s * 1000 - window.elapsed())));
        sent << sentByHealthy(rig);
    }
    r.rate = double(sent.last() - sent.first()) / WindowSeconds;
    r.lowestRate = r.rate;
    for (int s = 0; s + SliceSeconds <= WindowSeconds; ++s)
        r.lowestRate =
                std::min(r.lowestRate, double(sent[s + SliceSeconds] - sent[s]) / SliceSeconds);
    return r;
}

QString percent(double part, double whole)
{
    return whole > 0 ? QString::number(100 * part / whole, 'f', 0) + QStringLiteral(" %")
                     : QStringLiteral("-");
}

} // namespace

bool DeviceBenches::silent(QTextStream &out)
{
    QStringList ports;
    for (int p : deadPorts())
        ports << QString::number(p);
    QString error;
    ServiceRig withDead(Modems, {QStringLiteral("--silent"), ports.join(QLatin1Char(','))}, 100);
    const Run dead = measure(withDead, &error);
    withDead.stopService();
    if (dead.upMs < 0) {
        out << "silent: "
            << (error.isEmpty() ? QStringLiteral("the healthy devices did not come up") : error)
            << Qt::endl;
        return false;
    }
    ServiceRig allHealthy(Modems, {}, 100);
    const Run healthy = measure(allHealthy, &error);
    allHealthy.stopService();
    out << "silent, " << Dead << " of " << Modems << " modems never answer: the other " << Healthy
        << " up after " << secondsText(dead.upMs) << Qt::endl;
    if (healthy.upMs < 0) {
        out << "silent: all healthy: "
            << (error.isEmpty() ? QStringLiteral("devices not up") : error) << Qt::endl;
        return false;
    }
    out << "silent, send rate of the " << Healthy << " over " << WindowSeconds
        << " s with a supervision tick, " << SendDelayMs
        << " ms a message: " << QString::number(dead.rate, 'f', 1) << " messages/s beside " << Dead
        << " dead modems, " << QString::number(healthy.rate, 'f', 1) << " with all healthy ("
        << percent(dead.rate, healthy.rate) << ")" << Qt::endl;
    out << "silent, slowest " << SliceSeconds
        << " s of that stretch: " << QString::number(dead.lowestRate, 'f', 1)
        << " messages/s beside dead modems, " << QString::number(healthy.lowestRate, 'f', 1)
        << " with all healthy (" << percent(dead.lowestRate, healthy.lowestRate) << ")" << Qt::endl;
    return true;
}
