#include "pduencoder.h"

#include "pduaddress.h"
#include "pdutimestamp.h"
#include "userdatacodec.h"

namespace PduEncoder {
namespace {

Encoded finish(const QByteArray &sca, const QByteArray &tpdu)
{
    return {sca + tpdu, int(tpdu.size())};
}

} // namespace

Encoded submit(const QString &destination, const UserData &ud, const SubmitOptions &options)
{
    QByteArray tpdu;
    quint8 first = 0x01; // TP-MTI SMS-SUBMIT
    if (options.validityRelative >= 0)
        first |= 0x10; // TP-VPF relative
    if (options.statusReport)
        first |= 0x20;
    if (!ud.header.isEmpty())
        first |= 0x40;
    tpdu.append(char(first));
    tpdu.append(char(options.messageReference & 0xFF));
    tpdu.append(PduAddress::encode(destination));
    tpdu.append(char(0x00)); // TP-PID: plain short message
    tpdu.append(char(UserDataCodec::dcsFor(ud.alphabet)));
    if (options.validityRelative >= 0)
        tpdu.append(char(options.validityRelative & 0xFF));
    tpdu.append(UserDataCodec::encode(ud));
    return finish(PduAddress::encodeServiceCentre(options.serviceCentre), tpdu);
}

Encoded deliver(const QString &originator, const UserData &ud, const QDateTime &timestamp,
                const QString &serviceCentre, bool moreMessagesToSend)
{
    QByteArray tpdu;
    quint8 first = 0x00; // TP-MTI SMS-DELIVER
    if (!moreMessagesToSend)
        first |= 0x04; // TP-MMS set means no more messages are waiting
    if (!ud.header.isEmpty())
        first |= 0x40;
    tpdu.append(char(first));
    tpdu.append(PduAddress::encode(originator));
    tpdu.append(char(0x00));
    tpdu.append(char(UserDataCodec::dcsFor(ud.alphabet)));
    tpdu.append(PduTimestamp::encode(timestamp));
    tpdu.append(UserDataCodec::encode(ud));
    return finish(PduAddress::encodeServiceCentre(serviceCentre), tpdu);
}

Encoded statusReport(const QString &recipient, int messageReference, int status,
                     const QDateTime &timestamp, const QString &serviceCentre)
{
    QByteArray tpdu;
    tpdu.append(char(0x06)); // TP-MTI SMS-STATUS-REPORT, no more messages
    tpdu.append(char(messageReference & 0xFF));
    tpdu.append(PduAddress::encode(recipient));
    tpdu.append(PduTimestamp::encode(timestamp));
    tpdu.append(PduTimestamp::encode(timestamp));
    tpdu.append(char(status & 0xFF));
    return finish(PduAddress::encodeServiceCentre(serviceCentre), tpdu);
}

} // namespace PduEncoder
