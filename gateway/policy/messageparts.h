#pragma once

#include <QString>

// The parts a text takes on the air when the modem chooses its coding (GSM 7-bit where it
// can, else UCS2), as the carriers count them; at least 1.
int messageParts(const QString &text);
