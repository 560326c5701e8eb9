#pragma once

#include <QByteArray>
#include <QString>

// The text of a USSD string as a modem reports it in +CUSD: <m>,<str>,<dcs> (TS 27.007), read
// by its cell broadcast data coding scheme (TS 23.038 §5). Modems differ in how they give the
// text of a 7-bit answer: as characters, as the packed septets in hexadecimal (many Huawei
// sticks), or as UCS2 in hexadecimal when the character set is UCS2; a UCS2 answer is given in
// hexadecimal. Each is recognised; what is none of them is taken as it stands.
namespace UssdText {

enum class Alphabet { Gsm7, EightBit, Ucs2 };

// The alphabet a data coding scheme names; -1 (none given) and reserved values read as 7-bit.
Alphabet alphabetOf(int dcs);
QString decode(const QByteArray &str, int dcs);

// The forms a modem may give, for the simulator and tests.
QByteArray packedHex(const QString &text);
QByteArray ucs2Hex(const QString &text);

} // namespace UssdText
