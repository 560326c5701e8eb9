#pragma once

#include "at/atcommand.h"

#include <QString>

// Reading a modem's answers for people and for the driver's own records.
namespace ModemText {

// The first answer line without its prefix and surrounding quotes; empty when none.
QString firstAnswer(const AtResult &result, const QByteArray &prefix);
// The number of a +CNUM answer ("+CNUM: "","+8613900000000",145" gives "+8613900000000");
// empty when the SIM does not know its own number.
QString ownNumber(const AtResult &result);
// Why a command did not succeed, in the operator's language: the final line as the modem gave
// it and, for +CMS ERROR, what its code means ("+CMS ERROR: 42（网络拥塞）").
QString describe(const AtResult &result);

} // namespace ModemText
