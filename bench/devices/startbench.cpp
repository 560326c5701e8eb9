// From the service's start to every device idle, with the simulator as it is and with dozing
// modems that need the retry and answer late.
#include "devicebenches.h"
#include "servicerig.h"

namespace {

constexpr qint64 TimeoutMs = 150000;

bool measure(QTextStream &out, const QString &modems, const QStringList &simulatorArguments)
{
    const QString what = QStringLiteral("start to all %1 idle, service, sqlite, %2: ")
                                 .arg(DeviceBenches::Modems)
                                 .arg(modems);
    ServiceRig rig(DeviceBenches::Modems, simulatorArguments);
    QString error;
    if (!rig.prepare(&error) || !rig.startService(&error)) {
        out << what << error << Qt::endl;
        return false;
    }
    const qint64 ms = rig.waitForUp(DeviceBenches::Modems, TimeoutMs);
    if (ms < 0)
        out << what << "not within " << secondsText(TimeoutMs) << " (" << rig.devicesUp() << " up)"
            << Qt::endl;
    else
        out << what << secondsText(ms) << Qt::endl;
    return true;
}

} // namespace

bool DeviceBenches::start(QTextStream &out)
{
    return measure(out, QStringLiteral("simulator as is"), {})
            && measure(out, QStringLiteral("modems needing the retry, first answer 300 ms late"),
                       dozingModems());
}
