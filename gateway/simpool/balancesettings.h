#pragma once

#include <QRegularExpression>
#include <QString>
#include <functional>
#include <optional>

class IniFile;

// [Balance] in Config.ini, for every device, and [Balance.Com3] for one (its keys override):
//   Code=*100#          the USSD code that asks the SIM's balance (none: no balance is read)
//   Pattern=([0-9.]+)   a regular expression on the answer whose first group is the amount
//   Every=24            hours between two readings
//   Low=10              below this the operator hears of it, once
//   StopBelowLow=1      with the sending policy on, a SIM below Low takes no rows
//   NumberCode=, NumberPattern=   the same for the SIM's own number, asked when AT+CNUM has none
// [Ussd] Timeout=30 is how long any USSD waits for the network's answer, in seconds.
struct BalanceSettings
{
    QString code;
    QRegularExpression pattern;
    double everyHours = 24;
    std::optional<double> low;
    bool stopBelowLow = false;
    QString numberCode;
    QRegularExpression numberPattern;

    bool readsBalance() const { return !code.isEmpty() && pattern.isValid(); }
    bool readsNumber() const { return !numberCode.isEmpty() && numberPattern.isValid(); }

    using Log = std::function<void(const QString &)>;
    // label: the device as the log names it, "Com3".
    static BalanceSettings read(const IniFile &ini, const QString &label, const Log &log);
    static int ussdTimeoutSeconds(const IniFile &ini);

    // The amount the first group of pattern found in text: "1,234.50" and "35.20元" read as
    // 1234.5 and 35.2; nullopt when the pattern does not match or its group holds no number.
    static std::optional<double> amountIn(const QRegularExpression &pattern, const QString &text);
    // The first group as it stands, its blanks and dashes dropped; empty when nothing matched.
    static QString numberIn(const QRegularExpression &pattern, const QString &text);
};
