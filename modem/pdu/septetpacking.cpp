#include "septetpacking.h"

namespace SeptetPacking {

int packedLength(int septetCount, int fillBits)
{
    return (septetCount * 7 + fillBits + 7) / 8;
}

QByteArray pack(const QByteArray &septets, int fillBits)
{
    QByteArray out(packedLength(int(septets.size()), fillBits), '\0');
    int bit = fillBits;
    for (char s : septets) {
        const unsigned v = unsigned(s) & 0x7F;
        const int byte = bit / 8;
        const int shift = bit % 8;
        out[byte] = char(quint8(out[byte]) | quint8(v << shift));
        if (shift > 1)
            out[byte + 1] = char(quint8(out[byte + 1]) | quint8(v >> (8 - shift)));
        bit += 7;
    }
    return out;
}

QByteArray unpack(QByteArrayView octets, int septetCount, int fillBits)
{
    QByteArray out;
    if (septetCount <= 0 || fillBits < 0)
        return out;
    out.reserve(septetCount);
    const qsizetype totalBits = octets.size() * 8;
    for (int i = 0; i < septetCount; ++i) {
        const qsizetype bit = qsizetype(fillBits) + qsizetype(i) * 7;
        if (bit + 7 > totalBits)
            break;
        const qsizetype byte = bit / 8;
        const int shift = int(bit % 8);
        unsigned v = quint8(octets[byte]) >> shift;
        if (shift > 1)
            v |= unsigned(quint8(octets[byte + 1])) << (8 - shift);
        out.append(char(v & 0x7F));
    }
    return out;
}

} // namespace SeptetPacking
