#pragma once

#include "smspdu.h"

#include <QByteArrayView>
#include <QString>
#include <optional>

// Decodes SMS-DELIVER, SMS-SUBMIT and SMS-STATUS-REPORT TPDUs (TS 23.040 §9.2.2) as modems give
// them in PDU mode: the service-centre address first (TS 27.005 §3.1), unless told otherwise.
namespace PduDecoder {

std::optional<SmsPdu> decode(QByteArrayView octets, QString *error, bool withServiceCentre = true);
// The same from the hexadecimal text of an AT response line.
std::optional<SmsPdu> decodeHex(QByteArrayView hex, QString *error, bool withServiceCentre = true);

} // namespace PduDecoder
