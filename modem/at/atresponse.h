#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <optional>

// Pure reading of modem response lines (V.250, TS 27.007, TS 27.005): what kind of line it is
// and the fields of the answers the driver uses.
namespace AtResponse {

enum class Kind {
    Ok,
    Error,
    CmeError, // +CME ERROR: n (TS 27.007 §9.2)
    CmsError, // +CMS ERROR: n (TS 27.005 §3.2.5)
    CallEnd,  // NO CARRIER, BUSY, NO ANSWER, NO DIALTONE: final only for dialling
    Connect,
    Unsolicited,
    Information,
};

enum class Urc {
    None,
    NewMessageStored, // +CMTI: "SM",3
    NewMessage,       // +CMT: ... followed by a PDU line
    StatusStored,     // +CDSI: "SM",4
    Status,           // +CDS: ... followed by a PDU line
    Ring,             // RING, +CRING: VOICE
    CallerId,         // +CLIP: "number",type
    Vendor,           // ^RSSI, ^BOOT, +PSBEARER, +CIEV and the like: status chatter to ignore
};

struct Line
{
    Kind kind = Kind::Information;
    Urc urc = Urc::None;
    int errorCode = -1; // +CME / +CMS ERROR code; -1 when the modem gave text instead
    QByteArray text;
};

// +CMS ERROR code of a full message store (TS 27.005 §3.2.5).
constexpr int CmsMemoryFull = 322;

Line classify(QByteArrayView line);
// A line a modem says unasked when it has just started (SIMCom and Quectel RDY, +CFUN: 1,
// +CPIN: READY, SMS Ready, Call Ready, Quectel's +QIND: SMS DONE): what was set up before is gone.
bool isBootLine(QByteArrayView line);
// True for a URC whose PDU follows on the next line.
bool takesPduLine(Urc urc);

// The fields after "+XXX: ", split at commas outside quotes, quotes removed.
QByteArrayList parameters(QByteArrayView line);

struct StorageIndex
{
    QByteArray memory;
    int index = -1;
};
// +CMTI / +CDSI.
std::optional<StorageIndex> parseStorageIndex(QByteArrayView line);
// +CLIP: "number",type,... The number, "+" prefixed for international numbers without one.
std::optional<QString> parseCallerId(QByteArrayView line);
// +CMGS: mr
std::optional<int> parseMessageReference(QByteArrayView line);

struct ListedMessage
{
    int index = -1;
    int status = -1; // 0 unread, 1 read, 2 unsent, 3 sent
    int length = 0;
};
// +CMGL: index,stat,[alpha],length (PDU mode)
std::optional<ListedMessage> parseListed(QByteArrayView line);
// +CMGR: stat,[alpha],length (PDU mode)
std::optional<ListedMessage> parseRead(QByteArrayView line);

// Text of a +CME / +CMS ERROR or ERROR final line, for logs and error strings.
QString errorText(const Line &final);

} // namespace AtResponse
