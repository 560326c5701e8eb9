#include "ussdtext.h"

#include "pdu/gsmalphabet.h"
#include "pdu/septetpacking.h"

#include <QStringDecoder>

namespace UssdText {

namespace {

bool isHex(const QByteArray &s)
{
    if (s.isEmpty() || s.size() % 2 != 0)
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(uchar(c)); });
}

QString fromUtf16Hex(const QByteArray &hex)
{
    const QByteArray octets = QByteArray::fromHex(hex);
    QString out;
    out.reserve(octets.size() / 2);
    for (qsizetype i = 0; i + 1 < octets.size(); i += 2)
        out.append(QChar(char16_t((quint8(octets[i]) << 8) | quint8(octets[i + 1]))));
    return out;
}

// Some modems give the characters in UTF-8, most in their own 8-bit set; Latin-1 shows
// the latter without losing a byte.
QString literal(const QByteArray &s)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(s);
    return utf8.hasError() ? QString::fromLatin1(s) : text;
}

bool readable(QChar c)
{
    return c.isPrint() || c == u'\r' || c == u'\n';
}

// A 7-bit answer given as UCS2 (character set "UCS2"): every unit is a character of the 7-bit
// alphabet, so its high octet is almost always zero.
std::optional<QString> asUcs2OfGsm(const QByteArray &s)
{
    if (s.size() % 4 != 0)
        return std::nullopt;
    const QString text = fromUtf16Hex(s);
    for (QChar c : text) {
        if (!readable(c) || !GsmAlphabet::canEncode(QStringView(&c, 1)))
            return std::nullopt;
    }
    return text;
}

// Packed septets in hexadecimal. Digits alone are hexadecimal too ("1234" may be a number), so
// the unpacked text must read as plain text: nearly all of it ASCII, none of it control codes.
std::optional<QString> asPacked(const QByteArray &s)
{
    const QByteArray octets = QByteArray::fromHex(s);
    const int count = int(octets.size() * 8 / 7);
    QByteArray septets = SeptetPacking::unpack(octets, count);
    // Seven spare bits at the end carry CR (or, from careless networks, zeros), no character.
    if (count % 8 == 0 && !septets.isEmpty() && (septets.back() == '\r' || septets.back() == 0))
        septets.chop(1);
    const QString text = GsmAlphabet::fromSeptets(septets);
    if (text.isEmpty())
        return std::nullopt;
    qsizetype ascii = 0;
    for (QChar c : text) {
        if (!readable(c))
            return std::nullopt;
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'@')
            ++ascii;
    }
    if (ascii * 10 < text.size() * 9)
        return std::nullopt;
    return text;
}

} // namespace

Alphabet alphabetOf(int dcs)
{
    if (dcs < 0 || dcs > 0xFF)
        return Alphabet::Gsm7;
    const int group = dcs >> 4;
    const int bits = (dcs >> 2) & 0x3;
    switch (group) {
    case 0x1:
        return (dcs & 0x0F) == 1 ? Alphabet::Ucs2 : Alphabet::Gsm7;
    case 0x4:
    case 0x5:
    case 0x6:
    case 0x7:
    case 0x9:
        return bits == 1 ? Alphabet::EightBit : bits == 2 ? Alphabet::Ucs2 : Alphabet::Gsm7;
    case 0xF:
        return (dcs & 0x04) ? Alphabet::EightBit : Alphabet::Gsm7;
    default:
        return Alphabet::Gsm7;
    }
}

QString decode(const QByteArray &raw, int dcs)
{
    const QByteArray s = raw.trimmed();
    switch (alphabetOf(dcs)) {
    case Alphabet::Ucs2: {
        if (!isHex(s) || s.size() % 4 != 0)
            return literal(s);
        QString text = fromUtf16Hex(s);
        // dcs 0x11: the language, two packed septets in the first two octets, comes first.
        if (dcs == 0x11)
            text.remove(0, 1);
        return text;
    }
    case Alphabet::EightBit:
        return isHex(s) ? QString::fromLatin1(QByteArray::fromHex(s)) : literal(s);
    case Alphabet::Gsm7:
        break;
    }
    if (!isHex(s))
        return literal(s);
    if (auto text = asUcs2OfGsm(s))
        return *text;
    if (auto text = asPacked(s))
        return *text;
    return literal(s);
}

QByteArray packedHex(const QString &text)
{
    QByteArray septets = GsmAlphabet::toSeptets(text);
    // A last septet that would leave seven spare bits is followed by CR, not read as '@'.
    if (septets.size() % 8 == 7)
        septets.append('\r');
    return SeptetPacking::pack(septets).toHex().toUpper();
}

QByteArray ucs2Hex(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        out.append(char(c.unicode() >> 8));
        out.append(char(c.unicode() & 0xFF));
    }
    return out.toHex().toUpper();
}

} // namespace UssdText
