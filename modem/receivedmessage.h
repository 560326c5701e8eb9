#pragma once

#include <QList>
#include <QString>

// A complete received message: all its parts joined in order.
struct ReceivedMessage
{
    QString serviceCentre;
    QString sender;
    QString text;
    // "yyMMddhhmmss" and the zone in quarter hours ("240315102030+32").
    QString timestamp;
    // Where its parts are stored on the modem; deleted once the message has been taken.
    QList<int> storageIndexes;
};
