#pragma once

#include <QList>
#include <QString>

// Finds out whether a modem answers on a port and at which rate: "AT" must be answered "OK".
// Blocks for at most attemptMs per rate on a silent port; a missing or busy port fails at once.
namespace ModemProbe {

inline const QList<int> CommonRates = {115200, 9600, 19200, 38400, 57600};

// The first rate at which a modem answers, or 0.
int findRate(const QString &portName, const QList<int> &rates = CommonRates, int attemptMs = 300);

} // namespace ModemProbe
