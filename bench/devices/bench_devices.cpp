// How the service's devices start, reload, live beside dead modems and rejoin after a restart,
// through velmora-gatewayd on 128 simulated modems and SQLite.
//   bench_devices [start|reload|silent|restart]...   (all four when none is named)
#include "devicebenches.h"
#include "simcontrols.h"

#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <functional>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QList<QPair<QString, std::function<bool(QTextStream &)>>> benches = {
            {QStringLiteral("start"), &DeviceBenches::start},
            {QStringLiteral("reload"), &DeviceBenches::reload},
            {QStringLiteral("silent"), &DeviceBenches::silent},
            {QStringLiteral("restart"), &DeviceBenches::restart},
    };
    QStringList chosen = app.arguments().mid(1);
    for (const QString &name : chosen) {
        if (std::none_of(benches.begin(), benches.end(),
                         [&name](const auto &b) { return b.first == name; })) {
            out << "unknown benchmark " << name << "; start, reload, silent or restart" << Qt::endl;
            return 2;
        }
    }
    RegisteredControls controls;
    if (!controls.isRegistered()) {
        out << "regsvr32: " << controls.errorString() << Qt::endl;
        return 1;
    }
    bool allMeasured = true;
    for (const auto &[name, bench] : benches) {
        if (chosen.isEmpty() || chosen.contains(name))
            allMeasured = bench(out) && allMeasured;
    }
    return allMeasured ? 0 : 1;
}
