#include "smppbodies.h"

#include "smpppdu.h"

#include <algorithm>

namespace Smpp {

namespace {

constexpr int LongIdSize = 65;
constexpr int SystemTypeSize = 13;
constexpr int ServiceTypeSize = 6;
constexpr int AddressSize = 21;
constexpr int TimeSize = 17;
constexpr int MaxDestinations = 254;

Address address(PduReader &r)
{
    Address a;
    a.ton = r.u8();
    a.npi = r.u8();
    a.address = r.cstring(AddressSize);
    return a;
}

} // namespace

std::variant<BindRequest, quint32> decodeBind(const QByteArray &body)
{
    PduReader r(body);
    BindRequest b;
    b.systemId = r.cstring(LongIdSize);
    b.password = r.cstring(LongIdSize);
    b.systemType = r.cstring(SystemTypeSize);
    b.interfaceVersion = r.u8();
    // addr_ton, addr_npi and address_range: read for their bounds, not used.
    address(r);
    if (!r.ok())
        return Status::InvalidCommandLength;
    return b;
}

std::variant<SubmitSm, quint32> decodeSubmit(const QByteArray &body, bool multi)
{
    PduReader r(body);
    SubmitSm s;
    s.serviceType = r.cstring(ServiceTypeSize);
    s.source = address(r);
    if (multi) {
        const int count = r.u8();
        if (r.ok() && (count == 0 || count > MaxDestinations))
            return Status::InvalidDestinationCount;
        for (int i = 0; i < count && r.ok(); ++i) {
            const quint8 flag = r.u8();
            if (flag == 1) {
                s.destinations.append(address(r));
            } else if (flag == 2) {
                r.cstring(AddressSize);
                if (r.ok())
                    return Status::InvalidDestinationFlag;
            } else if (r.ok()) {
                return Status::InvalidDestinationFlag;
            }
        }
    } else {
        s.destinations.append(address(r));
    }
    s.esmClass = r.u8();
    s.protocolId = r.u8();
    s.priorityFlag = r.u8();
    s.scheduleDeliveryTime = r.cstring(TimeSize);
    s.validityPeriod = r.cstring(TimeSize);
    s.registeredDelivery = r.u8();
    r.u8(); // replace_if_present_flag
    s.dataCoding = r.u8();
    r.u8(); // sm_default_msg_id
    const int length = r.u8();
    s.shortMessage = r.bytes(length);
    if (!r.ok())
        return Status::InvalidCommandLength;
    if (!r.tlvs(&s.tlvs))
        return Status::InvalidTlvStream;
    return s;
}

std::variant<DeliverSm, quint32> decodeDeliver(const QByteArray &body)
{
    auto decoded = decodeSubmit(body, false);
    if (auto *status = std::get_if<quint32>(&decoded))
        return *status;
    const SubmitSm &s = std::get<SubmitSm>(decoded);
    return DeliverSm{s.source, s.destinations.value(0), s.esmClass, s.dataCoding, s.shortMessage,
                     s.tlvs};
}

QByteArray encodeDeliver(const DeliverSm &d)
{
    PduWriter w;
    w.cstring({}) // service_type
            .u8(d.source.ton)
            .u8(d.source.npi)
            .cstring(d.source.address.left(AddressSize - 1))
            .u8(d.destination.ton)
            .u8(d.destination.npi)
            .cstring(d.destination.address.left(AddressSize - 1))
            .u8(d.esmClass)
            .u8(0) // protocol_id
            .u8(0) // priority_flag
            .cstring({})
            .cstring({})
            .u8(0) // registered_delivery
            .u8(0) // replace_if_present_flag
            .u8(d.dataCoding)
            .u8(0) // sm_default_msg_id
            .u8(quint8(qMin<qsizetype>(d.shortMessage.size(), 254)))
            .bytes(d.shortMessage.left(254));
    // Written in tag order, so that the same deliver_sm is the same bytes every time.
    QList<quint16> tags = d.tlvs.keys();
    std::sort(tags.begin(), tags.end());
    for (quint16 tag : tags)
        w.tlv(tag, d.tlvs.value(tag));
    return w.data();
}

QByteArray encodeBindResponse(const QByteArray &systemId)
{
    return PduWriter().cstring(systemId).tlv(Tag::ScInterfaceVersion, QByteArray(1, 0x34)).data();
}

QByteArray encodeSubmitResponse(const QByteArray &messageId, bool multi)
{
    PduWriter w;
    w.cstring(messageId);
    if (multi)
        w.u8(0);
    return w.data();
}

} // namespace Smpp
