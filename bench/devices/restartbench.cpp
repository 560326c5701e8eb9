// A modem that restarts in the middle of a burst: the time from its boot line to the next row
// it is given, seen at the simulator as its next submitted message.
#include "devicebenches.h"
#include "servicerig.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

constexpr int Port = 64;
constexpr int BootMs = 500;
constexpr int SendDelayMs = 500;
// Enough for every modem to be busy well past the wait below.
constexpr int Rows = 40000;
constexpr qint64 WaitMs = 120000;

} // namespace

bool DeviceBenches::restart(QTextStream &out)
{
    ServiceRig rig(Modems, {}, 100);
    QString error;
    if (!rig.prepare(&error) || !rig.startService(&error) || rig.waitForUp(Modems, 400000) < 0
        || !rig.simulator().setSendDelay(0, SendDelayMs) || !rig.insertRows(Rows, &error)) {
        out << "restart: " << (error.isEmpty() ? QStringLiteral("devices not up") : error)
            << Qt::endl;
        return false;
    }
    // The burst under way: the modem has sent some of it.
    QElapsedTimer clock;
    clock.start();
    while (rig.submittedByPort().value(Port) < 5 && clock.elapsed() < 30000)
        QThread::msleep(50);
    if (!rig.simulator().command(QStringLiteral("restart %1 %2").arg(Port).arg(BootMs)).ok) {
        out << "restart: the simulator refused the restart" << Qt::endl;
        return false;
    }
    clock.restart();
    // The boot line comes BootMs after the command; nothing is heard before it.
    QThread::msleep(BootMs);
    const int before = rig.submittedByPort().value(Port);
    const qint64 bootAt = clock.elapsed();
    qint64 takenAt = -1;
    while (takenAt < 0 && clock.elapsed() - bootAt < WaitMs) {
        QThread::msleep(20);
        if (rig.submittedByPort().value(Port) > before)
            takenAt = clock.elapsed();
    }
    const int pending = rig.countRows(QStringLiteral("Status = 0"));
    out << "restart, modem " << Port << " of " << Modems << " restarted mid-burst (" << SendDelayMs
        << " ms a message): its next row ";
    if (takenAt < 0)
        out << "not taken within " << secondsText(WaitMs);
    else
        out << "taken " << secondsText(takenAt - bootAt);
    out << " after its boot line" << (pending == 0 ? " (the burst had ended)" : "") << Qt::endl;
    return true;
}
