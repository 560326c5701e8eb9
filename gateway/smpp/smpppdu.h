#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QtGlobal>
#include <optional>

// SMPP 3.4 PDUs on the wire: the 16-byte header, a cursor that reads a body without ever
// going past its end, and a writer. Nothing here trusts a length or an offset from the peer.
namespace Smpp {

namespace Command {
inline constexpr quint32 GenericNack = 0x80000000;
inline constexpr quint32 BindReceiver = 0x00000001;
inline constexpr quint32 BindTransmitter = 0x00000002;
inline constexpr quint32 QuerySm = 0x00000003;
inline constexpr quint32 SubmitSm = 0x00000004;
inline constexpr quint32 DeliverSm = 0x00000005;
inline constexpr quint32 Unbind = 0x00000006;
inline constexpr quint32 ReplaceSm = 0x00000007;
inline constexpr quint32 CancelSm = 0x00000008;
inline constexpr quint32 BindTransceiver = 0x00000009;
inline constexpr quint32 Outbind = 0x0000000B;
inline constexpr quint32 EnquireLink = 0x00000015;
inline constexpr quint32 SubmitMulti = 0x00000021;
inline constexpr quint32 DataSm = 0x00000103;
inline constexpr quint32 Response = 0x80000000;
} // namespace Command

namespace Status {
inline constexpr quint32 Ok = 0x00;
inline constexpr quint32 InvalidMessageLength = 0x01;
inline constexpr quint32 InvalidCommandLength = 0x02;
inline constexpr quint32 InvalidCommandId = 0x03;
inline constexpr quint32 InvalidBindStatus = 0x04;
inline constexpr quint32 AlreadyBound = 0x05;
inline constexpr quint32 InvalidPriority = 0x06;
inline constexpr quint32 InvalidRegisteredDelivery = 0x07;
inline constexpr quint32 SystemError = 0x08;
inline constexpr quint32 InvalidDestination = 0x0B;
inline constexpr quint32 BindFailed = 0x0D;
inline constexpr quint32 InvalidPassword = 0x0E;
inline constexpr quint32 QueueFull = 0x14;
inline constexpr quint32 InvalidDestinationCount = 0x33;
inline constexpr quint32 InvalidDestinationFlag = 0x40;
inline constexpr quint32 InvalidEsmClass = 0x43;
inline constexpr quint32 SubmitFailed = 0x45;
inline constexpr quint32 Throttled = 0x58;
inline constexpr quint32 InvalidScheduleTime = 0x61;
inline constexpr quint32 InvalidExpiryTime = 0x62;
inline constexpr quint32 TemporaryAppError = 0x64;
inline constexpr quint32 InvalidTlvStream = 0xC0;
inline constexpr quint32 InvalidTlvLength = 0xC2;
inline constexpr quint32 InvalidTlvValue = 0xC4;
} // namespace Status

namespace Tag {
inline constexpr quint16 ScInterfaceVersion = 0x0210;
inline constexpr quint16 ReceiptedMessageId = 0x001E;
inline constexpr quint16 MessageState = 0x0427;
inline constexpr quint16 MessagePayload = 0x0424;
inline constexpr quint16 SarMsgRefNum = 0x020C;
inline constexpr quint16 SarTotalSegments = 0x020E;
inline constexpr quint16 SarSegmentSeqnum = 0x020F;
} // namespace Tag

inline constexpr int HeaderLength = 16;
// A full message_payload (64 KiB) and the mandatory fields around it.
inline constexpr quint32 MaxPduLength = 70000;

struct Pdu
{
    quint32 command = 0;
    quint32 status = 0;
    quint32 sequence = 0;
    QByteArray body;

    bool isResponse() const { return command & Command::Response; }
};

enum class Frame { Incomplete, Complete, Invalid };

// Takes the first PDU off the front of buffer. Invalid when the stated length is below the
// header's or above maxLength: the stream cannot be followed past it.
Frame takeFrame(QByteArray &buffer, Pdu *pdu, quint32 maxLength = MaxPduLength);
QByteArray encode(const Pdu &pdu);

// Reads a body front to back. A read past the end, or a C-octet string without its NUL within
// its size, makes the reader fail; every later read then fails too and returns zero or empty.
class PduReader
{
public:
    explicit PduReader(const QByteArray &data) : m_data(data) { }

    quint8 u8();
    quint16 u16();
    quint32 u32();
    // A NUL-terminated string of at most maxSize bytes with its NUL.
    QByteArray cstring(int maxSize);
    QByteArray bytes(int count);
    // The optional parameters that end a body; false when one overruns the body. The first
    // of a repeated tag is kept.
    bool tlvs(QHash<quint16, QByteArray> *out);

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos >= m_data.size(); }
    qsizetype remaining() const { return m_ok ? m_data.size() - m_pos : 0; }

private:
    bool need(qsizetype n);

    const QByteArray &m_data;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

class PduWriter
{
public:
    PduWriter &u8(quint8 v);
    PduWriter &u16(quint16 v);
    PduWriter &u32(quint32 v);
    PduWriter &cstring(const QByteArray &s);
    PduWriter &bytes(const QByteArray &b);
    PduWriter &tlv(quint16 tag, const QByteArray &value);
    const QByteArray &data() const { return m_data; }

private:
    QByteArray m_data;
};

} // namespace Smpp
