#include "pduaddress.h"

#include "gsmalphabet.h"
#include "pdureader.h"
#include "septetpacking.h"

namespace PduAddress {
namespace {

constexpr quint8 TypeInternational = 0x91;
constexpr quint8 TypeUnknown = 0x81;
constexpr quint8 TypeAlphanumeric = 0xD0;

int bcdNibble(QChar c)
{
    switch (c.unicode()) {
    case u'*':
        return 0xA;
    case u'#':
        return 0xB;
    case u'a':
    case u'A':
        return 0xC;
    case u'b':
    case u'B':
        return 0xD;
    case u'c':
    case u'C':
        return 0xE;
    default:
        return c.isDigit() && c.unicode() < 0x80 ? c.unicode() - u'0' : -1;
    }
}

char nibbleChar(int n)
{
    static const char chars[] = "0123456789*#abc";
    return n < 15 ? chars[n] : '\0';
}

bool isDialable(const QString &digits)
{
    if (digits.isEmpty())
        return false;
    for (QChar c : digits) {
        if (bcdNibble(c) < 0)
            return false;
    }
    return true;
}

QByteArray swappedBcd(const QString &digits)
{
    QByteArray out;
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const int lo = bcdNibble(digits[i]);
        const int hi = i + 1 < digits.size() ? bcdNibble(digits[i + 1]) : 0xF;
        out.append(char((hi << 4) | lo));
    }
    return out;
}

struct Typed
{
    quint8 type;
    QString digits;
};

Typed classify(const QString &address)
{
    QString a = address.trimmed();
    // Numbers as people write them: "+86 138-0013-8000", "(010) 6552.9988".
    QString compact = a;
    compact.removeIf([](QChar c) {
        return c.isSpace() || c == QLatin1Char('(') || c == QLatin1Char(')')
                || c == QLatin1Char('.') || c == QLatin1Char('-');
    });
    if (!compact.isEmpty()
        && isDialable(compact.startsWith(QLatin1Char('+')) ? compact.mid(1) : compact))
        a = compact;
    if (a.startsWith(QLatin1Char('+')) && isDialable(a.mid(1)))
        return {TypeInternational, a.mid(1)};
    if (isDialable(a))
        return {TypeUnknown, a};
    return {TypeAlphanumeric, a};
}

QString decodeValue(quint8 type, QByteArrayView value, int semiOctets)
{
    if ((type & 0x70) == 0x50) {
        // Alphanumeric: GSM 7-bit packed, the length counts semi-octets actually used.
        const QByteArray septets = SeptetPacking::unpack(value, semiOctets * 4 / 7);
        return GsmAlphabet::fromSeptets(septets);
    }
    QString out;
    if ((type & 0x70) == 0x10)
        out.append(QLatin1Char('+'));
    for (int i = 0; i < semiOctets; ++i) {
        const quint8 o = quint8(value[i / 2]);
        const int n = (i % 2 == 0) ? (o & 0x0F) : (o >> 4);
        if (const char c = nibbleChar(n))
            out.append(QLatin1Char(c));
    }
    return out;
}

} // namespace

QByteArray encode(const QString &address)
{
    const Typed t = classify(address);
    QByteArray out;
    if (t.type == TypeAlphanumeric) {
        const QByteArray septets = GsmAlphabet::toSeptets(t.digits.left(11));
        const QByteArray packed = SeptetPacking::pack(septets);
        out.append(char(qMin(int(septets.size() * 7 + 3) / 4, 0xFF)));
        out.append(char(t.type));
        out.append(packed);
        return out;
    }
    out.append(char(t.digits.size()));
    out.append(char(t.type));
    out.append(swappedBcd(t.digits));
    return out;
}

QByteArray encodeServiceCentre(const QString &address)
{
    if (address.trimmed().isEmpty())
        return QByteArray(1, '\0');
    const Typed t = classify(address);
    const QByteArray value = t.type == TypeAlphanumeric ? QByteArray() : swappedBcd(t.digits);
    QByteArray out;
    out.append(char(value.size() + 1));
    out.append(char(t.type == TypeAlphanumeric ? TypeUnknown : t.type));
    out.append(value);
    return out;
}

QString decode(PduReader &reader, const char *field)
{
    const int semiOctets = reader.octet(field);
    const quint8 type = reader.octet(field);
    if (semiOctets > 20 && (type & 0x70) != 0x50) {
        reader.fail(QStringLiteral("%1 is %2 digits long, at most 20 are allowed")
                            .arg(QLatin1String(field))
                            .arg(semiOctets));
        return {};
    }
    const QByteArrayView value = reader.take((semiOctets + 1) / 2, field);
    if (!reader.ok())
        return {};
    return decodeValue(type, value, semiOctets);
}

QString decodeServiceCentre(PduReader &reader)
{
    const int octets = reader.octet("service-centre address");
    if (octets == 0 || !reader.ok())
        return {};
    if (octets > 11) {
        reader.fail(QStringLiteral("service-centre address is %1 octets, at most 11 are allowed")
                            .arg(octets));
        return {};
    }
    const quint8 type = reader.octet("service-centre address");
    const QByteArrayView value = reader.take(octets - 1, "service-centre address");
    if (!reader.ok())
        return {};
    int semiOctets = (octets - 1) * 2;
    if (semiOctets > 0 && (quint8(value[value.size() - 1]) >> 4) == 0xF)
        --semiOctets;
    return decodeValue(type, value, semiOctets);
}

} // namespace PduAddress
