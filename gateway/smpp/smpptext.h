#pragma once

#include "smppbodies.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// What a submit_sm says beyond its fields: its text in the data codings the gateway takes,
// the part of a longer message it may be, and its times.
namespace SmppText {

inline constexpr quint8 GsmDefault = 0;
inline constexpr quint8 Ascii = 1;
inline constexpr quint8 Latin1 = 3;
inline constexpr quint8 Ucs2 = 8;

// The text of the octets in data_coding 0 (GSM default alphabet, one septet an octet), 1
// (ASCII), 3 (Latin-1) or 8 (UCS2, big-endian); nullopt for another coding, octets the coding
// cannot hold, a NUL character or half a surrogate pair (the databases refuse them).
std::optional<QString> decode(quint8 dataCoding, const QByteArray &octets);
bool known(quint8 dataCoding);
// The coding a text goes to a client in: GSM when every character has a code there, else UCS2.
std::pair<quint8, QByteArray> encode(const QString &text);

// One part of a message the client split itself.
struct Part
{
    quint16 reference = 0;
    quint8 total = 1;
    quint8 number = 1;
};

// The part a submit_sm carries (a concatenation header with esm_class 0x40, or the sar_ TLVs)
// and its user data without the header; nullopt part for a whole message. false when the
// header or the TLVs are malformed.
bool split(const Smpp::SubmitSm &submit, std::optional<Part> *part, QByteArray *userData);

// An SMPP time: absolute "YYMMDDhhmmsstnnp" with p '+' or '-' and nn quarter hours from UTC,
// or relative ("...R") from now. An empty field is a null time; nullopt when malformed.
std::optional<QDateTime> parseTime(const QByteArray &field, const QDateTime &now);
// "YYMMDDhhmm", the form receipts give their dates in.
QByteArray receiptDate(const QDateTime &at);

} // namespace SmppText
