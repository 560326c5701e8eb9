#pragma once

#include "at/atcommand.h"

#include <QString>

// Reading a modem's answers for people and for the driver's own records.
namespace ModemText {

// The first answer line without its prefix and surrounding quotes; empty when none.
QString firstAnswer(const AtResult &result, const QByteArray &prefix);
// Why a command did not succeed, in the operator's language: the final line as the modem gave
// it and, for +CMS ERROR, what its code means ("+CMS ERROR: 42（网络拥塞）").
QString describe(const AtResult &result);

} // namespace ModemText
