#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

// The service-centre time stamp (TS 23.040 §9.2.3.11): seven octets of swapped semi-octets,
// year to second, then the zone in quarter hours with its sign in bit 3.
namespace PduTimestamp {

// "yyMMddhhmmss" followed by the zone as a sign and two digits of quarter hours
// ("240315102030+32"), the form the text mode of TS 27.005 uses without its punctuation.
QString toText(QByteArrayView sevenOctets);
// The local time of the given moment with its UTC offset, as seven octets.
QByteArray encode(const QDateTime &when);

} // namespace PduTimestamp
