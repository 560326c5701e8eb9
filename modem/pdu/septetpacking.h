#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Packing of 7-bit septets into octets, least significant bit first (TS 23.038 §6.1.2.1.1).
// fillBits are the zero bits that align the first septet after a user data header on a septet
// boundary (TS 23.040 §9.2.3.24).
namespace SeptetPacking {

QByteArray pack(const QByteArray &septets, int fillBits = 0);
// Unpacks septetCount septets that start fillBits into the octets. Septets the octets do not
// hold completely are left out.
QByteArray unpack(QByteArrayView octets, int septetCount, int fillBits = 0);
// Octets that septetCount septets after fillBits occupy.
int packedLength(int septetCount, int fillBits = 0);

} // namespace SeptetPacking
