#pragma once

#include "smppbodies.h"
#include "smppsubmitted.h"

#include "model/outgoingmessage.h"

#include <QDateTime>
#include <QList>
#include <QString>

class SmppParts;
namespace Smpp {
struct Pdu;
}

// A submit_sm or submit_multi made into the rows it asks for, or the status that refuses it.
struct SmppSubmission
{
    quint32 status = 0;
    // Empty for a part held until the rest of its message comes (answered at once).
    QList<OutgoingMessage> messages;
    // A receipt is owed for each row (registered_delivery set).
    bool wantsReceipt = false;
    SmppWatch watch; // destination filled per row
    QList<Smpp::Address> destinations;
    // The held parts that made this message, to forget once its row is committed.
    QString partsKey;
    bool multi = false;
};

namespace SmppSubmit {

inline constexpr int ReceiptTextLength = 20;

// Checks every field as the HTTP API checks its request and joins a client's own parts
// through parts.
SmppSubmission prepare(const Smpp::Pdu &pdu, const QString &token, SmppParts &parts,
                       const QDateTime &now);

} // namespace SmppSubmit
