#include "portscan.h"

#include "checkwords.h"
#include "common/serialportnames.h"
#include "modemcheck.h"
#include "modemprobe.h"
#include "portguard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace {

// Long enough for a modem at 9600 baud to answer "AT" (about 10 ms), short enough that a
// machine with 32 silent ports is done in well under a minute.
constexpr int AttemptMs = 400;

} // namespace

PortScan::PortScan(QTextStream &out, QObject *parent) : QObject(parent), m_out(out) { }

void PortScan::line(const QString &label, const QString &value)
{
    m_out << label.leftJustified(13) << value << Qt::endl;
}

int PortScan::run(const QList<int> &rates, const QList<int> &configured)
{
    QStringList answering;
    QList<int> ports = SerialPortNames::existing();
    for (int n : configured) {
        if (!ports.contains(n))
            ports.append(n);
    }
    const QDir links(SerialPortNames::portsDir());
    for (const QFileInfo &f : links.entryInfoList({QStringLiteral("com*")}, QDir::System)) {
        bool ok = false;
        const int n = f.fileName().mid(3).toInt(&ok);
        if (ok && n > 0 && f.isSymLink() && !f.exists() && !ports.contains(n))
            ports.append(n);
    }
    std::sort(ports.begin(), ports.end());
    for (int n : ports) {
        // Ctrl-C arrives through the event loop, between two ports.
        QCoreApplication::processEvents();
        if (m_interrupted)
            return ModemCheck::InterruptedExit;
        const QString com = QStringLiteral("COM%1").arg(n);
        if (const QString gone = unplugged(n); !gone.isEmpty()) {
            line(com, gone);
            continue;
        }
        const QString device = QFileInfo(SerialPortNames::resolve(n)).canonicalFilePath();
        bool answers = false;
        line(com, QStringLiteral("%1: %2").arg(device, examine(device, rates, &answers)));
        if (answers)
            answering.append(com);
    }
    if (ports.isEmpty())
        line(QStringLiteral("ports"), QStringLiteral("none found"));
    line(QStringLiteral("answering"),
         answering.isEmpty() ? QStringLiteral("none") : answering.join(QStringLiteral(", ")));
    return answering.isEmpty() ? 1 : 0;
}

QString PortScan::unplugged(int n)
{
    const QString path = SerialPortNames::resolve(n);
    const QFileInfo info(path);
    if (info.exists())
        return {};
    if (info.isSymLink())
        return QStringLiteral("%1: unplugged (the link leads to %2, which is not there)")
                .arg(QDir::cleanPath(path), info.symLinkTarget());
    // Beyond the system's device names, only a link could name the port.
    return QStringLiteral("%1: unplugged (no such device)")
            .arg(path.isEmpty() ? SerialPortNames::portsDir() + QStringLiteral("/com%1").arg(n)
                                : path);
}

QString PortScan::examine(const QString &device, const QList<int> &rates, bool *answers)
{
    if (PortGuard::permissionDenied(device))
        return CheckWords::permissionDenied();
    if (const QString held = PortGuard::heldElsewhere(device); !held.isEmpty())
        return QStringLiteral("not tried: %1").arg(held);
    const int rate = ModemProbe::findRate(device, rates, AttemptMs);
    *answers = rate > 0;
    return *answers ? QStringLiteral("answers AT at %1").arg(rate)
                    : QStringLiteral("no answer at %1").arg(CheckWords::rates(rates));
}
