#pragma once

#include <QByteArray>
#include <QString>

class PduReader;

// Addresses in PDUs (TS 23.040 §9.1.2.5) and the service-centre address (TS 24.011 §8.2.5.1).
// "+digits" is an international number (type 0x91), plain digits a number of unknown type
// (0x81, how national numbers are normally sent), anything else alphanumeric (0xD0).
namespace PduAddress {

// TP-DA / TP-OA form: length in useful semi-octets, type, value.
QByteArray encode(const QString &address);
// Service-centre form: length in octets including the type; "00" octet for an empty address.
QByteArray encodeServiceCentre(const QString &address);

QString decode(PduReader &reader, const char *field);
QString decodeServiceCentre(PduReader &reader);

} // namespace PduAddress
