#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <variant>

// The bodies of the PDUs the server reads and writes, decoded field by field with the sizes
// SMPP 3.4 gives them. system_id and password are read up to 65 bytes: the gateway's tokens
// are longer than the 9 bytes the protocol reserves for a password, and clients send them whole.
namespace Smpp {

struct BindRequest
{
    QByteArray systemId;
    QByteArray password;
    QByteArray systemType;
    quint8 interfaceVersion = 0;
};

struct Address
{
    quint8 ton = 0;
    quint8 npi = 0;
    QByteArray address;
};

struct SubmitSm
{
    QByteArray serviceType;
    Address source;
    // One for submit_sm; submit_multi's SME addresses (distribution lists are refused).
    QList<Address> destinations;
    quint8 esmClass = 0;
    quint8 protocolId = 0;
    quint8 priorityFlag = 0;
    QByteArray scheduleDeliveryTime;
    QByteArray validityPeriod;
    quint8 registeredDelivery = 0;
    quint8 dataCoding = 0;
    QByteArray shortMessage;
    QHash<quint16, QByteArray> tlvs;
};

struct DeliverSm
{
    Address source;
    Address destination;
    quint8 esmClass = 0;
    quint8 dataCoding = 0;
    QByteArray shortMessage;
    QHash<quint16, QByteArray> tlvs;
};

// The decoded body, or the command_status to answer with.
std::variant<BindRequest, quint32> decodeBind(const QByteArray &body);
std::variant<SubmitSm, quint32> decodeSubmit(const QByteArray &body, bool multi);
std::variant<DeliverSm, quint32> decodeDeliver(const QByteArray &body);

QByteArray encodeDeliver(const DeliverSm &deliver);
QByteArray encodeBindResponse(const QByteArray &systemId);
// message_id alone; one unsuccessful destination list (empty) for submit_multi.
QByteArray encodeSubmitResponse(const QByteArray &messageId, bool multi);

} // namespace Smpp
