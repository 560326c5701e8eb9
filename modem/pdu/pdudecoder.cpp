#include "pdudecoder.h"

#include "pduaddress.h"
#include "pdureader.h"
#include "pdutimestamp.h"
#include "userdatacodec.h"

namespace PduDecoder {
namespace {

void readUserData(PduReader &r, SmsPdu &pdu, bool hasHeader)
{
    pdu.protocolId = r.octet("protocol identifier");
    pdu.dataCoding = r.octet("data coding scheme");
    if (!r.ok())
        return;
    pdu.messageClass = UserDataCodec::messageClassOf(pdu.dataCoding);
    if (pdu.type == SmsPdu::Type::Deliver) {
        const QByteArrayView scts = r.take(7, "service-centre time stamp");
        if (!r.ok())
            return;
        pdu.timestamp = PduTimestamp::toText(scts);
    }
    const auto ud = UserDataCodec::decode(r, UserDataCodec::alphabetOf(pdu.dataCoding), hasHeader);
    if (!ud)
        return;
    pdu.userData = *ud;
    pdu.concat = UserDataCodec::concatOf(pdu.userData.header);
}

void decodeDeliver(PduReader &r, SmsPdu &pdu, quint8 first)
{
    pdu.type = SmsPdu::Type::Deliver;
    pdu.statusReportRequested = first & 0x20;
    pdu.address = PduAddress::decode(r, "originating address");
    readUserData(r, pdu, first & 0x40);
}

void decodeSubmit(PduReader &r, SmsPdu &pdu, quint8 first)
{
    pdu.type = SmsPdu::Type::Submit;
    pdu.statusReportRequested = first & 0x20;
    pdu.messageReference = r.octet("message reference");
    pdu.address = PduAddress::decode(r, "destination address");
    pdu.protocolId = r.octet("protocol identifier");
    pdu.dataCoding = r.octet("data coding scheme");
    if (!r.ok())
        return;
    pdu.messageClass = UserDataCodec::messageClassOf(pdu.dataCoding);
    switch ((first >> 3) & 0x3) {
    case 2:
        r.take(1, "validity period");
        break;
    case 1:
    case 3:
        r.take(7, "validity period");
        break;
    default:
        break;
    }
    if (!r.ok())
        return;
    const auto ud =
            UserDataCodec::decode(r, UserDataCodec::alphabetOf(pdu.dataCoding), first & 0x40);
    if (!ud)
        return;
    pdu.userData = *ud;
    pdu.concat = UserDataCodec::concatOf(pdu.userData.header);
}

void decodeStatusReport(PduReader &r, SmsPdu &pdu)
{
    pdu.type = SmsPdu::Type::StatusReport;
    pdu.messageReference = r.octet("message reference");
    pdu.address = PduAddress::decode(r, "recipient address");
    const QByteArrayView scts = r.take(7, "service-centre time stamp");
    const QByteArrayView dt = r.take(7, "discharge time");
    pdu.status = r.octet("status");
    if (!r.ok())
        return;
    pdu.timestamp = PduTimestamp::toText(scts);
    pdu.dischargeTime = PduTimestamp::toText(dt);
    // The optional parameters that may follow (TS 23.040 §9.2.2.3) are not needed here.
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<SmsPdu> decode(QByteArrayView octets, QString *error, bool withServiceCentre)
{
    PduReader r(octets);
    SmsPdu pdu;
    if (withServiceCentre)
        pdu.serviceCentre = PduAddress::decodeServiceCentre(r);
    const quint8 first = r.octet("first octet");
    if (r.ok()) {
        switch (first & 0x3) {
        case 0:
            decodeDeliver(r, pdu, first);
            break;
        case 1:
            decodeSubmit(r, pdu, first);
            break;
        case 2:
            decodeStatusReport(r, pdu);
            break;
        default:
            r.fail(QStringLiteral("message type indicator 3 is reserved"));
            break;
        }
    }
    if (!r.ok()) {
        if (error)
            *error = r.error();
        return std::nullopt;
    }
    return pdu;
}

std::optional<SmsPdu> decodeHex(QByteArrayView hex, QString *error, bool withServiceCentre)
{
    const QByteArrayView trimmed = hex.trimmed();
    if (trimmed.size() % 2 != 0) {
        if (error)
            *error = QStringLiteral("PDU has an odd number of hexadecimal digits");
        return std::nullopt;
    }
    QByteArray octets(trimmed.size() / 2, '\0');
    for (qsizetype i = 0; i < octets.size(); ++i) {
        const int hi = hexValue(trimmed[2 * i]);
        const int lo = hexValue(trimmed[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            if (error)
                *error = QStringLiteral("PDU holds a character that is not hexadecimal");
            return std::nullopt;
        }
        octets[i] = char((hi << 4) | lo);
    }
    return decode(octets, error, withServiceCentre);
}

} // namespace PduDecoder
