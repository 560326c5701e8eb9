#pragma once

#include "smspdu.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Builds SMS-SUBMIT (sent by the driver) and SMS-DELIVER (made by the network simulator)
// TPDUs with a service-centre address in front, as AT+CMGS and +CMGR carry them.
namespace PduEncoder {

struct Encoded
{
    QByteArray octets;
    // TPDU octets without the service-centre address: the length AT+CMGS asks for.
    int tpduLength = 0;

    QByteArray hex() const { return octets.toHex().toUpper(); }
};

struct SubmitOptions
{
    QString serviceCentre;       // empty: the one stored in the SIM (AT+CSCA)
    int validityRelative = 0xAA; // TS 23.040 §9.2.3.12.1: 0xAA = 4 days; -1 = none
    bool statusReport = false;
    int messageReference = 0; // the modem puts its own reference there
};

Encoded submit(const QString &destination, const UserData &ud, const SubmitOptions &options = {});
Encoded deliver(const QString &originator, const UserData &ud, const QDateTime &timestamp,
                const QString &serviceCentre, bool moreMessagesToSend = false);
Encoded statusReport(const QString &recipient, int messageReference, int status,
                     const QDateTime &timestamp, const QString &serviceCentre);

} // namespace PduEncoder
