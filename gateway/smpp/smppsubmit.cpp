#include "smppsubmit.h"

#include "smppaccess.h"
#include "smppbodies.h"
#include "smppparts.h"
#include "smpppdu.h"
#include "smpptext.h"

#include <variant>

using namespace Smpp;

namespace {

constexpr quint8 MaxPriorityFlag = 3;
constexpr quint8 ReceiptBits = 0x03;

SmppSubmission refused(quint32 status)
{
    SmppSubmission s;
    s.status = status;
    return s;
}

QString partsKey(const QString &token, const SubmitSm &s, const SmppText::Part &part)
{
    QStringList key{token, QString::fromLatin1(s.source.address)};
    for (const Address &d : s.destinations)
        key << QString::fromLatin1(d.address);
    key << QString::number(part.reference) << QString::number(part.total);
    return key.join(QChar(0x1F));
}

// What a submit asks for besides its text, checked as the HTTP API checks its request.
struct CheckedFields
{
    QList<QString> numbers;
    QDateTime sendAfter;
    QDateTime validUntil;
};

std::variant<CheckedFields, quint32> checkFields(const SubmitSm &s, const QDateTime &now)
{
    CheckedFields out;
    for (const Address &d : s.destinations) {
        const auto number = SmppAccess::number(QString::fromLatin1(d.address));
        if (!number)
            return Status::InvalidDestination;
        out.numbers << *number;
    }
    if (s.priorityFlag > MaxPriorityFlag)
        return Status::InvalidPriority;
    if ((s.registeredDelivery & ReceiptBits) == ReceiptBits)
        return Status::InvalidRegisteredDelivery;
    const auto sendAfter = SmppText::parseTime(s.scheduleDeliveryTime, now);
    if (!sendAfter)
        return Status::InvalidScheduleTime;
    const auto validUntil = SmppText::parseTime(s.validityPeriod, now);
    if (!validUntil || (validUntil->isValid() && validUntil <= std::max(*sendAfter, now)))
        return Status::InvalidExpiryTime;
    if (!s.shortMessage.isEmpty() && s.tlvs.contains(Tag::MessagePayload))
        return Status::InvalidTlvValue;
    out.sendAfter = *sendAfter;
    out.validUntil = *validUntil;
    return out;
}

} // namespace

namespace SmppSubmit {

SmppSubmission prepare(const Pdu &pdu, const QString &token, SmppParts &parts,
                       const QDateTime &now)
{
    const bool multi = pdu.command == Command::SubmitMulti;
    auto decoded = decodeSubmit(pdu.body, multi);
    if (auto *status = std::get_if<quint32>(&decoded))
        return refused(*status);
    const SubmitSm &s = std::get<SubmitSm>(decoded);

    const auto checked = checkFields(s, now);
    if (auto *status = std::get_if<quint32>(&checked))
        return refused(*status);
    const auto &[numbers, sendAfter, validUntil] = std::get<CheckedFields>(checked);

    std::optional<SmppText::Part> part;
    QByteArray data;
    if (!SmppText::split(s, &part, &data))
        return refused(s.esmClass & 0x40 ? Status::InvalidEsmClass : Status::InvalidTlvValue);
    SmppSubmission out;
    out.multi = multi;
    quint8 dataCoding = s.dataCoding;
    if (part) {
        // A part's text is read only with the others: a UCS2 or GSM part may end inside a
        // character. A coding the gateway cannot read at all is refused at the first part.
        if (!SmppText::known(s.dataCoding))
            return refused(Status::SubmitFailed);
        out.partsKey = partsKey(token, s, *part);
        QByteArray joined;
        switch (parts.add(out.partsKey, part->total, part->number, s.dataCoding, data, now,
                          &joined, &dataCoding)) {
        case SmppParts::Result::Held:
            return out;
        case SmppParts::Result::Failed:
            return refused(Status::SystemError);
        case SmppParts::Result::Complete:
            data = joined;
            break;
        }
    }
    const auto text = SmppText::decode(dataCoding, data);
    if (!text)
        return refused(Status::SubmitFailed);
    if (text->isEmpty() || !SmppAccess::sendable(*text))
        return refused(Status::InvalidMessageLength);

    for (const QString &number : std::as_const(numbers)) {
        OutgoingMessage m{number, *text};
        if (s.priorityFlag > 0)
            m.priority = s.priorityFlag;
        m.sendAfter = sendAfter;
        m.validUntil = validUntil;
        out.messages << m;
    }
    for (const Address &d : s.destinations)
        out.destinations << d;
    out.wantsReceipt = (s.registeredDelivery & ReceiptBits) != 0;
    out.watch = SmppWatch{token,         s.registeredDelivery, now, s.source, {}, text->left(ReceiptTextLength)};
    return out;
}

} // namespace SmppSubmit
