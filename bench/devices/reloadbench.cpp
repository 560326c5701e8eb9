// Messages a second over a 20,000-row burst on zero-delay modems, with and without ten
// reloads (SIGHUP, device settings unchanged) spread over it, and the rows that end at -1.
#include "devicebenches.h"
#include "servicerig.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

constexpr int Rows = 20000;
constexpr int Reloads = 10;
// A burst that gains no row for this long is over, whatever is left.
constexpr qint64 StallMs = 60000;

struct Burst
{
    qint64 ms = 0;
    int sent = 0;
    int failed = 0;
    int reloads = 0;
};

// Inserts the rows after `before` and waits until all have their result; the reloads go out
// as the results pass equal steps, so they fall inside the burst however fast it runs.
Burst run(ServiceRig &rig, int before, int reloads, QString *error)
{
    Burst b;
    if (!rig.insertRows(Rows, error))
        return b;
    const QString mine = QStringLiteral("SysNo > %1").arg(before);
    const QString done = mine + QStringLiteral(" and Status in (2, -1)");
    QElapsedTimer wall;
    wall.start();
    int results = 0;
    qint64 lastGain = 0;
    while (results < Rows && wall.elapsed() - lastGain < StallMs) {
        QThread::msleep(20);
        const int now = rig.countRows(done);
        if (now > results) {
            results = now;
            lastGain = wall.elapsed();
        }
        if (b.reloads < reloads && results >= (b.reloads + 1) * Rows / (reloads + 1)) {
            rig.reload();
            ++b.reloads;
        }
    }
    b.ms = lastGain;
    b.sent = rig.countRows(mine + QStringLiteral(" and Status = 2"));
    b.failed = rig.countRows(mine + QStringLiteral(" and Status = -1"));
    return b;
}

double rate(const Burst &b)
{
    return b.ms > 0 ? b.sent * 1000.0 / double(b.ms) : 0;
}

void print(QTextStream &out, const QString &what, const Burst &b, double baseline)
{
    out << "reload, " << Rows << "-row burst on " << DeviceBenches::Modems << " zero-delay modems, "
        << what << ": " << QString::number(rate(b), 'f', 0) << " messages/s";
    if (baseline > 0)
        out << " (" << QString::number(100 * rate(b) / baseline, 'f', 0) << " % of without)";
    out << ", rows at -1: " << b.failed;
    if (const int left = Rows - b.sent - b.failed; left > 0)
        out << ", rows left at 0 or 1: " << left;
    out << Qt::endl;
}

} // namespace

bool DeviceBenches::reload(QTextStream &out)
{
    ServiceRig rig(Modems, {}, 100);
    QString error;
    if (!rig.prepare(&error) || !rig.startService(&error) || rig.waitForUp(Modems, 400000) < 0) {
        out << "reload: " << (error.isEmpty() ? QStringLiteral("devices not up") : error)
            << Qt::endl;
        return false;
    }
    const Burst plain = run(rig, 0, 0, &error);
    const Burst reloaded = run(rig, Rows, Reloads, &error);
    if (!error.isEmpty()) {
        out << "reload: " << error << Qt::endl;
        return false;
    }
    print(out, QStringLiteral("no reload"), plain, 0);
    print(out, QStringLiteral("%1 reloads").arg(reloaded.reloads), reloaded, rate(plain));
    return true;
}
