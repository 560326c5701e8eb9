#include "phonenumber.h"

namespace PhoneNumber {

std::optional<QString> normalize(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('-')
            || c == QLatin1Char('.'))
            continue;
        if (c == QLatin1Char('+') && out.isEmpty()) {
            out.append(c);
            continue;
        }
        // Only ASCII digits: other scripts' digits would reach the modem as they are.
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        out.append(c);
    }
    const qsizetype digits = out.size() - (out.startsWith(QLatin1Char('+')) ? 1 : 0);
    if (digits < MinDigits || digits > MaxDigits)
        return std::nullopt;
    return out;
}

} // namespace PhoneNumber
