#include "userdatacodec.h"

#include "gsmalphabet.h"
#include "pdureader.h"
#include "septetpacking.h"

namespace UserDataCodec {
namespace {

QByteArray toUtf16Be(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        out.append(char(c.unicode() >> 8));
        out.append(char(c.unicode() & 0xFF));
    }
    return out;
}

QString fromUtf16Be(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        out.append(QChar(char16_t((quint8(bytes[i]) << 8) | quint8(bytes[i + 1]))));
    return out;
}

// Header octets (length octet included) and the fill bits that follow them in 7-bit text.
int fillBitsAfter(int headerOctets)
{
    return (7 - (headerOctets * 8) % 7) % 7;
}

} // namespace

SmsAlphabet alphabetOf(quint8 dcs)
{
    const int group = dcs >> 4;
    if (group <= 0x7) {
        switch ((dcs >> 2) & 0x3) {
        case 1:
            return SmsAlphabet::EightBit;
        case 2:
            return SmsAlphabet::Ucs2;
        default:
            return SmsAlphabet::Gsm7;
        }
    }
    if (group == 0xE)
        return SmsAlphabet::Ucs2;
    if (group == 0xF)
        return (dcs & 0x04) ? SmsAlphabet::EightBit : SmsAlphabet::Gsm7;
    return SmsAlphabet::Gsm7;
}

quint8 dcsFor(SmsAlphabet alphabet)
{
    switch (alphabet) {
    case SmsAlphabet::EightBit:
        return 0x04;
    case SmsAlphabet::Ucs2:
        return 0x08;
    case SmsAlphabet::Gsm7:
        break;
    }
    return 0x00;
}

quint8 messageClassOf(quint8 dcs)
{
    const int group = dcs >> 4;
    if ((group <= 0x7 && (dcs & 0x10)) || group == 0xF)
        return dcs & 0x03;
    return 0xFF;
}

int encodedLength(const UserData &ud)
{
    const int headerOctets = ud.header.isEmpty() ? 0 : int(ud.header.size()) + 1;
    switch (ud.alphabet) {
    case SmsAlphabet::Gsm7:
        return (headerOctets * 8 + fillBitsAfter(headerOctets)) / 7
                + GsmAlphabet::septetCount(ud.text);
    case SmsAlphabet::Ucs2:
        return headerOctets + int(ud.text.size()) * 2;
    case SmsAlphabet::EightBit:
        return headerOctets + int(ud.data.size());
    }
    return 0;
}

QByteArray encode(const UserData &ud)
{
    QByteArray header;
    if (!ud.header.isEmpty()) {
        header.append(char(ud.header.size()));
        header.append(ud.header);
    }
    QByteArray body;
    int length = 0;
    switch (ud.alphabet) {
    case SmsAlphabet::Gsm7: {
        const QByteArray septets = GsmAlphabet::toSeptets(ud.text);
        const int fill = fillBitsAfter(int(header.size()));
        body = SeptetPacking::pack(septets, fill);
        length = (int(header.size()) * 8 + fill) / 7 + int(septets.size());
        break;
    }
    case SmsAlphabet::Ucs2:
        body = toUtf16Be(ud.text);
        length = int(header.size() + body.size());
        break;
    case SmsAlphabet::EightBit:
        body = ud.data;
        length = int(header.size() + body.size());
        break;
    }
    QByteArray out;
    out.append(char(length & 0xFF));
    out.append(header);
    out.append(body);
    return out;
}

std::optional<UserData> decode(PduReader &reader, SmsAlphabet alphabet, bool hasHeader)
{
    UserData ud;
    ud.alphabet = alphabet;
    const int length = reader.octet("user data length");
    if (!reader.ok())
        return std::nullopt;
    const bool septets = alphabet == SmsAlphabet::Gsm7;
    if (length > (septets ? 160 : 140)) {
        reader.fail(QStringLiteral("user data length %1 is beyond the maximum").arg(length));
        return std::nullopt;
    }
    const int octets = septets ? SeptetPacking::packedLength(length) : length;
    const QByteArrayView body = reader.take(octets, "user data");
    if (!reader.ok())
        return std::nullopt;

    int headerOctets = 0;
    if (hasHeader) {
        if (body.isEmpty()) {
            reader.fail(QStringLiteral("user data header indicated but user data is empty"));
            return std::nullopt;
        }
        headerOctets = quint8(body[0]) + 1;
        if (headerOctets > body.size()) {
            reader.fail(QStringLiteral("user data header length %1 exceeds user data of %2")
                                .arg(headerOctets - 1)
                                .arg(body.size()));
            return std::nullopt;
        }
        ud.header = body.sliced(1, headerOctets - 1).toByteArray();
    }

    switch (alphabet) {
    case SmsAlphabet::Gsm7: {
        const int fill = fillBitsAfter(headerOctets);
        const int headerSeptets = (headerOctets * 8 + fill) / 7;
        if (headerSeptets > length) {
            reader.fail(QStringLiteral("user data header is longer than the user data length"));
            return std::nullopt;
        }
        ud.text = GsmAlphabet::fromSeptets(
                SeptetPacking::unpack(body.sliced(headerOctets), length - headerSeptets, fill));
        break;
    }
    case SmsAlphabet::Ucs2:
        ud.text = fromUtf16Be(body.sliced(headerOctets));
        break;
    case SmsAlphabet::EightBit:
        ud.data = body.sliced(headerOctets).toByteArray();
        ud.text = QString::fromLatin1(ud.data);
        break;
    }
    return ud;
}

ConcatInfo concatOf(QByteArrayView header)
{
    ConcatInfo found;
    qsizetype i = 0;
    while (i + 2 <= header.size()) {
        const quint8 iei = quint8(header[i]);
        const int len = quint8(header[i + 1]);
        if (i + 2 + len > header.size())
            break;
        const QByteArrayView v = header.sliced(i + 2, len);
        ConcatInfo c;
        if (iei == 0x00 && len == 3) {
            c.reference = quint8(v[0]);
            c.total = quint8(v[1]);
            c.sequence = quint8(v[2]);
        } else if (iei == 0x08 && len == 4) {
            c.reference = (quint8(v[0]) << 8) | quint8(v[1]);
            c.total = quint8(v[2]);
            c.sequence = quint8(v[3]);
            c.sixteenBit = true;
        }
        // TS 23.040 §9.2.3.24.1: an element with a total of 0 or a sequence beyond the total
        // is ignored; the last valid element of a repeated kind counts.
        if (c.isValid())
            found = c;
        i += 2 + len;
    }
    return found;
}

QByteArray concatHeader(int reference, int total, int sequence, bool sixteenBit)
{
    QByteArray h;
    if (sixteenBit) {
        h.append(char(0x08));
        h.append(char(0x04));
        h.append(char((reference >> 8) & 0xFF));
        h.append(char(reference & 0xFF));
    } else {
        h.append(char(0x00));
        h.append(char(0x03));
        h.append(char(reference & 0xFF));
    }
    h.append(char(total));
    h.append(char(sequence));
    return h;
}

} // namespace UserDataCodec
