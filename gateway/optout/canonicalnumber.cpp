#include "canonicalnumber.h"

namespace CanonicalNumber {

namespace {

// National significant numbers are at most 15 digits with the country code (E.164) and at
// least 7 without: a number shorter than the code plus that is national, whatever it starts
// with.
constexpr int MinNationalDigits = 7;

} // namespace

QString of(const QString &number, const QString &countryCode)
{
    QString digits;
    bool plus = false;
    for (QChar c : number.trimmed()) {
        if (c.isDigit() && c.unicode() < 0x80)
            digits.append(c);
        else if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19) // full-width digits
            digits.append(QChar(u'0' + (c.unicode() - 0xFF10)));
        else if ((c == u'+' || c == u'＋') && digits.isEmpty())
            plus = true;
    }
    if (digits.isEmpty())
        return number.trimmed();
    if (!plus && digits.startsWith(QLatin1String("00"))) {
        digits.remove(0, 2);
        plus = true;
    }
    if (plus)
        return QLatin1Char('+') + digits;
    QString code;
    for (QChar c : countryCode) {
        if (c.isDigit())
            code.append(c);
    }
    if (code.isEmpty())
        return digits;
    if (digits.startsWith(code) && digits.size() >= code.size() + MinNationalDigits
        && digits.size() > 11)
        return QLatin1Char('+') + digits;
    if (digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    return QLatin1Char('+') + code + digits;
}

} // namespace CanonicalNumber
