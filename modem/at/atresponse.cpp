#include "atresponse.h"

#include <array>

namespace AtResponse {
namespace {

struct Prefix
{
    const char *text;
    Urc urc;
};

// Order matters where one prefix starts another ("+CMT:" before "+CMTI:" would not match it,
// since the colon differs, but "RING" must not swallow "RINGING").
constexpr std::array<Prefix, 7> UrcPrefixes = {{
        {"+CMTI:", Urc::NewMessageStored},
        {"+CMT:", Urc::NewMessage},
        {"+CDSI:", Urc::StatusStored},
        {"+CDS:", Urc::Status},
        {"+CLIP:", Urc::CallerId},
        {"+CRING:", Urc::Ring},
        {"+CUSD:", Urc::Vendor},
}};

// Status chatter of common modems: Huawei ^RSSI/^BOOT/^MODE..., ZTE +ZDONR, Quectel +QIND,
// SIMCom "Call Ready"/"SMS Ready"/*PSUTTZ, network time and registration reports, SIM toolkit.
constexpr std::array<const char *, 20> VendorPrefixes = {{
        "+PSBEARER:", "+CIEV:",   "+QIND:",  "+STIN:",   "+CTZV:",    "+CTZE:",  "+NITZ:",
        "*PSUTTZ:",   "*PSNWID:", "DST:",    "+CUSATP:", "+CREG:",    "+CGREG:", "+CEREG:",
        "+CPIN:",     "+CFUN:",   "+ZDONR:", "+ZPASR:",  "+SIMCARD:", "+CGEV:",
}};

constexpr std::array<const char *, 5> VendorLines = {{
        "Call Ready",
        "SMS Ready",
        "RDY",
        "PB DONE",
        "NORMAL POWER DOWN",
}};

bool startsWith(QByteArrayView line, const char *prefix)
{
    return line.startsWith(QByteArrayView(prefix));
}

int codeAfterColon(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon < 0)
        return -1;
    bool ok = false;
    const int code = line.sliced(colon + 1).trimmed().toInt(&ok);
    return ok ? code : -1;
}

std::optional<int> toInt(const QByteArray &field)
{
    bool ok = false;
    const int v = field.trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

} // namespace

bool isBootLine(QByteArrayView raw)
{
    constexpr std::array<const char *, 7> BootLines = {{
            "RDY",
            "+CFUN: 1",
            "+CPIN: READY",
            "SMS Ready",
            "Call Ready",
            "+QIND: SMS DONE",
            "+QIND: PB DONE",
    }};
    const QByteArrayView line = raw.trimmed();
    for (const char *boot : BootLines) {
        if (line == QByteArrayView(boot))
            return true;
    }
    return false;
}

Line classify(QByteArrayView raw)
{
    const QByteArrayView line = raw.trimmed();
    Line out;
    out.text = line.toByteArray();
    if (line == "OK") {
        out.kind = Kind::Ok;
    } else if (line == "ERROR" || line == "COMMAND NOT SUPPORT" || line == "TOO MANY PARAMETERS") {
        // The last two are how some ZTE firmware says ERROR.
        out.kind = Kind::Error;
    } else if (startsWith(line, "+CME ERROR:")) {
        out.kind = Kind::CmeError;
        out.errorCode = codeAfterColon(line);
    } else if (startsWith(line, "+CMS ERROR:")) {
        out.kind = Kind::CmsError;
        out.errorCode = codeAfterColon(line);
    } else if (line == "NO CARRIER" || line == "BUSY" || line == "NO ANSWER"
               || line == "NO DIALTONE") {
        out.kind = Kind::CallEnd;
    } else if (startsWith(line, "CONNECT")) {
        out.kind = Kind::Connect;
    } else if (line == "RING") {
        out.kind = Kind::Unsolicited;
        out.urc = Urc::Ring;
    } else if (line.startsWith('^')) {
        out.kind = Kind::Unsolicited;
        out.urc = Urc::Vendor;
    } else {
        for (const Prefix &p : UrcPrefixes) {
            if (startsWith(line, p.text)) {
                out.kind = Kind::Unsolicited;
                out.urc = p.urc;
                return out;
            }
        }
        for (const char *p : VendorPrefixes) {
            if (startsWith(line, p)) {
                out.kind = Kind::Unsolicited;
                out.urc = Urc::Vendor;
                return out;
            }
        }
        for (const char *p : VendorLines) {
            if (line == QByteArrayView(p)) {
                out.kind = Kind::Unsolicited;
                out.urc = Urc::Vendor;
                return out;
            }
        }
    }
    return out;
}

bool takesPduLine(Urc urc)
{
    return urc == Urc::NewMessage || urc == Urc::Status;
}

QByteArrayList parameters(QByteArrayView line)
{
    QByteArrayList out;
    const qsizetype colon = line.indexOf(':');
    QByteArrayView rest = colon < 0 ? line : line.sliced(colon + 1);
    if (rest.isEmpty())
        return out;
    QByteArray field;
    field.reserve(rest.size());
    bool quoted = false;
    for (char c : rest) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            out.append(field.trimmed());
            field.resize(0);
        } else {
            field.append(c);
        }
    }
    out.append(field.trimmed());
    return out;
}

std::optional<StorageIndex> parseStorageIndex(QByteArrayView line)
{
    const QByteArrayList p = parameters(line);
    if (p.size() < 2)
        return std::nullopt;
    const auto index = toInt(p[1]);
    if (!index || *index < 0)
        return std::nullopt;
    return StorageIndex{p[0], *index};
}

std::optional<QString> parseCallerId(QByteArrayView line)
{
    const QByteArrayList p = parameters(line);
    if (p.isEmpty() || p[0].isEmpty())
        return std::nullopt;
    QString number = QString::fromLatin1(p[0]);
    const auto type = p.size() > 1 ? toInt(p[1]) : std::nullopt;
    if (type && *type == 145 && !number.startsWith(QLatin1Char('+')))
        number.prepend(QLatin1Char('+'));
    return number;
}

std::optional<int> parseMessageReference(QByteArrayView line)
{
    const QByteArrayList p = parameters(line);
    if (p.isEmpty())
        return std::nullopt;
    return toInt(p[0]);
}

std::optional<ListedMessage> parseListed(QByteArrayView line)
{
    const QByteArrayList p = parameters(line);
    if (p.size() < 3)
        return std::nullopt;
    const auto index = toInt(p[0]);
    const auto status = toInt(p[1]);
    const auto length = toInt(p.last());
    if (!index || !status || !length)
        return std::nullopt;
    return ListedMessage{*index, *status, *length};
}

std::optional<ListedMessage> parseRead(QByteArrayView line)
{
    const QByteArrayList p = parameters(line);
    if (p.size() < 2)
        return std::nullopt;
    const auto status = toInt(p[0]);
    const auto length = toInt(p.last());
    if (!status || !length)
        return std::nullopt;
    return ListedMessage{-1, *status, *length};
}

QString errorText(const Line &final)
{
    return QString::fromLatin1(final.text);
}

} // namespace AtResponse
