#pragma once

#include "smppbodies.h"
#include "smppsubmitted.h"

#include <QDateTime>
#include <QString>

// The deliver_sm the server sends: receipts in the form SMS platforms parse
// ("id:… sub:… dlvrd:… submit date:… done date:… stat:… err:… text:…") and received messages.
namespace SmppReceipt {

// message_state values.
enum class State : quint8 {
    Enroute = 1,
    Delivered = 2,
    Expired = 3,
    Undeliverable = 5,
    Accepted = 6,
    Rejected = 8,
};

QByteArray statName(State state);
bool final(State state);
// The short_message of a receipt: ASCII only, the text's other characters as '?'.
QByteArray body(qint64 id, const SmppWatch &watch, const QDateTime &done, State state, int error);
Smpp::DeliverSm receipt(qint64 id, const SmppWatch &watch, const QDateTime &done, State state,
                        int error);
// A received message: in short_message when it fits one SMS, else whole in message_payload.
Smpp::DeliverSm received(const QString &number, const QString &text, const QString &simNumber);

} // namespace SmppReceipt
