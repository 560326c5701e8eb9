#pragma once

#include <QString>

// One form for a phone number, so a reply from "+86 138-0013-8000" and a row to "13800138000"
// name the same subscriber: blanks, dashes, dots and brackets dropped, "00" read as "+", and,
// with a country code configured, a national number (a trunk "0" dropped) or the country code
// written without its "+" made international. Without a country code only the punctuation goes.
namespace CanonicalNumber {

QString of(const QString &number, const QString &countryCode);

} // namespace CanonicalNumber
