#pragma once

#include <QByteArrayList>
#include <QList>
#include <QString>

// A complete received message: all its parts joined in order.
struct ReceivedMessage
{
    QString serviceCentre;
    QString sender;
    // The text; 8-bit data as hexadecimal octets, since it is no text.
    QString text;
    // "yyMMddhhmmss" and the zone in quarter hours ("240315102030+32").
    QString timestamp;
    // Where its parts are stored on the modem; deleted once the message has been taken. Slots of
    // the modem's own memory ("ME") carry Modem::MemoryMe on top of their index.
    QList<int> storageIndexes;
    // Parts that wait in the part store instead of storage; removed once it has been taken.
    QList<qint64> partIds;
    // The PDUs as read, in hexadecimal.
    QByteArrayList pdus;
    // Came as +CMT, in no storage: acknowledged (when the modem asks for it) once taken.
    bool direct = false;
    // No message could be read from the PDU; text says why.
    bool undecodable = false;
};
