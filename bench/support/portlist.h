#pragma once

#include <QLatin1Char>
#include <QString>
#include <QStringList>

// The [SMSCom] Port and Rate values for modems 1 to n at 115200 baud, as the benchmarks
// configure the simulator's links.
class PortList
{
public:
    static QString ports(int modems)
    {
        QStringList ports;
        for (int i = 1; i <= modems; ++i)
            ports << QString::number(i);
        return ports.join(QLatin1Char(','));
    }

    static QString rates(int modems)
    {
        QStringList rates;
        for (int i = 1; i <= modems; ++i)
            rates << QStringLiteral("115200");
        return rates.join(QLatin1Char(','));
    }
};
