#include "smppreceipt.h"

#include "smpppdu.h"
#include "smpptext.h"

namespace SmppReceipt {

namespace {

constexpr quint8 ReceiptEsmClass = 0x04;
constexpr int SingleGsm = 160;
constexpr int SingleUcs2Octets = 140;

// Characters that read the same in ASCII and the GSM default alphabet.
bool plain(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')
            || QByteArrayView(" !\"#%&'()*+,-./:;<=>?").contains(char(u));
}

QByteArray three(int n)
{
    return QByteArray::number(qBound(0, n, 999)).rightJustified(3, '0');
}

// An international number goes as type 1 without its "+".
Smpp::Address address(const QString &number)
{
    if (number.startsWith(QLatin1Char('+')))
        return {1, 1, number.mid(1).toLatin1().left(20)};
    return {0, 1, number.toLatin1().left(20)};
}

} // namespace

QByteArray statName(State state)
{
    switch (state) {
    case State::Enroute:
        return "ENROUTE";
    case State::Delivered:
        return "DELIVRD";
    case State::Expired:
        return "EXPIRED";
    case State::Undeliverable:
        return "UNDELIV";
    case State::Accepted:
        return "ACCEPTD";
    case State::Rejected:
        return "REJECTD";
    }
    return "UNKNOWN";
}

bool final(State state)
{
    return state != State::Enroute && state != State::Accepted;
}

QByteArray body(qint64 id, const SmppWatch &watch, const QDateTime &done, State state, int error)
{
    QByteArray text;
    for (QChar c : watch.text)
        text += plain(c) ? char(c.unicode()) : '?';
    return "id:" + QByteArray::number(id) + " sub:001 dlvrd:"
            + (state == State::Delivered ? "001" : "000")
            + " submit date:" + SmppText::receiptDate(watch.submitted)
            + " done date:" + SmppText::receiptDate(done) + " stat:" + statName(state)
            + " err:" + three(error) + " text:" + text;
}

Smpp::DeliverSm receipt(qint64 id, const SmppWatch &watch, const QDateTime &done, State state,
                        int error)
{
    Smpp::DeliverSm d;
    d.source = watch.destination;
    d.destination = watch.source;
    d.esmClass = ReceiptEsmClass;
    d.dataCoding = SmppText::GsmDefault;
    d.shortMessage = body(id, watch, done, state, error);
    d.tlvs.insert(Smpp::Tag::ReceiptedMessageId, QByteArray::number(id) + '\0');
    d.tlvs.insert(Smpp::Tag::MessageState, QByteArray(1, char(state)));
    return d;
}

Smpp::DeliverSm received(const QString &number, const QString &text, const QString &simNumber)
{
    Smpp::DeliverSm d;
    d.source = address(number);
    d.destination = address(simNumber);
    auto [coding, octets] = SmppText::encode(text);
    d.dataCoding = coding;
    const bool fits = coding == SmppText::GsmDefault ? octets.size() <= SingleGsm
                                                     : octets.size() <= SingleUcs2Octets;
    if (fits)
        d.shortMessage = octets;
    else
        d.tlvs.insert(Smpp::Tag::MessagePayload, octets.left(0xFFFF));
    return d;
}

} // namespace SmppReceipt
