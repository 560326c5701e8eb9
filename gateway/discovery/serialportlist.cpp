#include "serialportlist.h"

#include "common/serialportnames.h"

QString ListSerialPorts()
{
    QString result;
    for (int n : SerialPortNames::existing())
        result += QStringLiteral("COM") + QString::number(n) + QLatin1Char('-');
    return result;
}
