#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>

class SimModem;

// Messages from the network to a modem, as the control socket orders them: a text split into
// parts as a network does ("deliver"), or exact octets, junk or not ("deliverpdu").
class DeliverCommand
{
public:
    // deliver <port> <sender> <text%> [order=2,1,3] [dup=N] [ucs2] [ref16] [ref=N] [mem=ME]
    static QString deliver(SimModem *modem, const QStringList &args, QByteArrayList *data);
    // deliverpdu <port> <hex> [mem=ME]
    static QString deliverPdu(SimModem *modem, const QStringList &args);
};
