#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The GSM 7-bit default alphabet and its extension table (TS 23.038 §6.2.1, §6.2.1.1).
// Septet strings hold one septet per byte; a character of the extension table takes two
// septets, the escape 0x1B followed by its code.
namespace GsmAlphabet {

inline constexpr char Escape = 0x1B;

// True when every character of the text has a code in the default alphabet or its extension.
bool canEncode(QStringView text);
// Septets one character needs: 1, 2 (extension table) or 0 (not encodable).
int septetsFor(char16_t c);
// Septets the whole text needs; characters without a code count as one (they become '?').
int septetCount(QStringView text);
// The text as septets; characters without a code become '?'.
QByteArray toSeptets(QStringView text);
// Septets back to text. An escape followed by a code the extension table does not define shows
// the default alphabet's character for that code, as TS 23.038 asks of receivers.
QString fromSeptets(const QByteArray &septets);

} // namespace GsmAlphabet
