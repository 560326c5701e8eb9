#pragma once

#include "smspdu.h"

#include <QByteArrayView>
#include <optional>

class PduReader;

// TP-UDL and TP-UD (TS 23.040 §9.2.3.16, §9.2.3.24) in the alphabet the coding scheme names.
namespace UserDataCodec {

// The alphabet a data coding scheme names (TS 23.038 §4). Compressed text and reserved
// groups are taken as GSM 7-bit, as the standard tells receivers to.
SmsAlphabet alphabetOf(quint8 dcs);
quint8 dcsFor(SmsAlphabet alphabet);
// Message class (0..3) when the coding names one, else 0xFF.
quint8 messageClassOf(quint8 dcs);

// TP-UDL followed by TP-UD.
QByteArray encode(const UserData &ud);
// Septets (GSM 7-bit) or octets the user data occupies, header included.
int encodedLength(const UserData &ud);

// Reads TP-UDL and TP-UD; hasHeader is TP-UDHI.
std::optional<UserData> decode(PduReader &reader, SmsAlphabet alphabet, bool hasHeader);
// The concatenation element of a header, if it holds a valid one (8- or 16-bit reference).
ConcatInfo concatOf(QByteArrayView header);
// Header elements for part sequence of total with the given reference.
QByteArray concatHeader(int reference, int total, int sequence, bool sixteenBit);

} // namespace UserDataCodec
