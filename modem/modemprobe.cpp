#include "modemprobe.h"

#include "at/atlinesplitter.h"
#include "at/atresponse.h"
#include "portguard.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSerialPort>

namespace ModemProbe {
namespace {

bool answers(QSerialPort &port, int attemptMs)
{
    port.clear();
    port.write("AT\r");
    AtLineSplitter splitter;
    const QDeadlineTimer deadline(attemptMs);
    while (!deadline.hasExpired()) {
        if (port.bytesAvailable() == 0 && !port.waitForReadyRead(int(deadline.remainingTime())))
            break;
        splitter.feed(port.readAll());
        QByteArray line;
        while (splitter.next(&line)) {
            const AtResponse::Line l = AtResponse::classify(line);
            if (l.kind == AtResponse::Kind::Ok)
                return true;
            if (l.kind == AtResponse::Kind::Error)
                return false;
        }
    }
    return false;
}

} // namespace

int findRate(const QString &portName, const QList<int> &rates, int attemptMs)
{
    const QFileInfo info(portName);
    if (!info.exists())
        return 0;
    const QString device = info.canonicalFilePath();
    if (!PortGuard::heldElsewhere(device).isEmpty())
        return 0;
    QSerialPort port;
    port.setPortName(device);
    if (!port.open(QIODevice::ReadWrite))
        return 0;
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    for (int rate : rates) {
        if (!port.setBaudRate(rate))
            continue;
        if (answers(port, attemptMs))
            return rate;
    }
    return 0;
}

} // namespace ModemProbe
