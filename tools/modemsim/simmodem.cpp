#include "simmodem.h"

#include "pdu/gsmalphabet.h"
#include "pdu/messagesplitter.h"
#include "pdu/pdudecoder.h"
#include "pseudoterminal.h"
#include "simnetwork.h"

#include <QDateTime>

namespace {

constexpr int RingIntervalMs = 1000;
constexpr int RingsBeforeGivingUp = 15;

// TS 27.005 §3.2.5 codes.
constexpr int CmsInvalidPduParameter = 304;
constexpr int CmsOperationNotAllowed = 302;
constexpr int CmsInvalidIndex = 321;
constexpr int CmsUnknownError = 500;

QByteArray quoted(const QString &s)
{
    return '"' + s.toUtf8() + '"';
}

QString textTimestamp(const QString &ts)
{
    // "240315102030+32" -> "24/03/15,10:20:30+32"
    if (ts.size() < 15)
        return ts;
    return ts.mid(0, 2) + QLatin1Char('/') + ts.mid(2, 2) + QLatin1Char('/') + ts.mid(4, 2)
            + QLatin1Char(',') + ts.mid(6, 2) + QLatin1Char(':') + ts.mid(8, 2) + QLatin1Char(':')
            + ts.mid(10, 2) + ts.mid(12);
}

} // namespace

SimModem::SimModem(int port, const QString &number, SimNetwork *network, QObject *parent)
    : QObject(parent), m_port(port), m_number(number), m_network(network)
{
    m_ringTimer.setInterval(RingIntervalMs);
    connect(&m_ringTimer, &QTimer::timeout, this, &SimModem::ringOnce);
}

SimModem::~SimModem() = default;

bool SimModem::create(const QString &linkPath, QString *error)
{
    m_linkPath = linkPath;
    m_tty = new PseudoTerminal(this);
    connect(m_tty, &PseudoTerminal::received, this, &SimModem::onBytes);
    return m_tty->open(linkPath, error);
}

bool SimModem::plug(QString *error)
{
    if (!isGone())
        return true;
    if (m_tty)
        m_tty->deleteLater();
    m_input.clear();
    m_inputState = Input::Command;
    m_busy = false;
    resetSettings();
    return create(m_linkPath, error);
}

void SimModem::restart(int bootMs)
{
    forget();
    m_booting = true;
    const quint64 life = m_life;
    QTimer::singleShot(bootMs, this, [this, life] {
        if (life != m_life)
            return;
        m_booting = false;
        for (const char *line : {"RDY", "+CFUN: 1", "+CPIN: READY", "Call Ready", "SMS Ready"})
            writeUrc(line);
    });
}

void SimModem::reset()
{
    forget();
    writeUrc("RDY");
}

void SimModem::forget()
{
    ++m_life;
    m_booting = false;
    m_input.clear();
    m_inputState = Input::Command;
    m_busy = false;
    m_ringTimer.stop();
    m_ringsLeft = 0;
    resetSettings();
}

void SimModem::setRegistered(bool registered)
{
    const int stat = registered ? 1 : 2;
    if (stat == m_registration)
        return;
    m_registration = stat;
    if (m_cregMode >= 1)
        writeUrc("+CREG: " + QByteArray::number(stat));
}

int SimModem::takeFailure()
{
    if (m_failNext < 0)
        return -1;
    const int code = m_failNext;
    if (--m_failTimes <= 0)
        m_failNext = -1;
    return code;
}

void SimModem::reportLater(const QString &recipient, int reference)
{
    QTimer::singleShot(m_reportDelayMs, this, [this, recipient, reference] {
        if (isGone() || m_cmgf != 0)
            return;
        const PduEncoder::Encoded report = PduEncoder::statusReport(
                recipient, reference, 0, QDateTime::currentDateTime(), serviceCentre());
        if (m_cnmiDs == 1) {
            writeUrc("+CDS: " + QByteArray::number(report.tpduLength) + "\r\n" + report.hex());
        } else if (m_cnmiDs == 2) {
            int index = 1;
            while (m_storage.contains(index))
                ++index;
            m_storage.insert(index, Stored{0, report});
            writeUrc("+CDSI: \"SM\"," + QByteArray::number(index));
        }
    });
}

bool SimModem::isGone() const
{
    return !m_tty || !m_tty->isOpen();
}

void SimModem::vanish()
{
    m_ringTimer.stop();
    m_ringsLeft = 0;
    if (m_tty)
        m_tty->close();
}

void SimModem::resetSettings()
{
    m_echo = true;
    m_cmee = 0;
    m_cmgf = 0;
    m_cscs = "GSM";
    m_cnmiMode = 0;
    m_cnmiMt = 0;
    m_cnmiDs = 0;
    m_cregMode = 0;
    m_clip = false;
}

void SimModem::onBytes(const QByteArray &bytes)
{
    if (m_silent || m_booting)
        return;
    m_input.append(bytes);
    process();
}

void SimModem::process()
{
    while (!m_busy && !m_input.isEmpty() && !m_silent) {
        if (m_inputState == Input::Command) {
            const qsizetype cr = m_input.indexOf('\r');
            if (cr < 0) {
                if (m_input.size() > 4096)
                    m_input.clear();
                return;
            }
            const QByteArray line = m_input.left(cr);
            m_input.remove(0, cr + 1);
            if (m_echo)
                m_tty->write(line + '\r');
            // As V.250 asks, whatever comes before the AT prefix (an ESC meant for a text
            // entry that was not open) is no part of the command.
            QByteArray command = line.trimmed();
            if (const qsizetype at = command.toUpper().indexOf("AT"); at > 0)
                command.remove(0, at);
            execute(command);
            continue;
        }
        const qsizetype end = [this] {
            for (qsizetype i = 0; i < m_input.size(); ++i) {
                if (m_input[i] == '\x1a' || m_input[i] == '\x1b')
                    return i;
            }
            return qsizetype(-1);
        }();
        const QByteArray chunk = end < 0 ? m_input : m_input.left(end);
        if (m_echo)
            m_tty->write(chunk);
        m_text.append(chunk);
        if (end < 0) {
            m_input.clear();
            return;
        }
        const bool submit = m_input[end] == '\x1a';
        m_input.remove(0, end + 1);
        finishText(submit);
    }
}

void SimModem::reply(const QByteArrayList &lines, const QByteArray &final)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += "\r\n" + l + "\r\n";
    if (!final.isEmpty())
        out += "\r\n" + final + "\r\n";
    m_tty->write(out);
}

void SimModem::writeUrc(const QByteArray &line)
{
    if (!m_silent && m_tty)
        m_tty->write("\r\n" + line + "\r\n");
}

void SimModem::unsolicited(const QByteArray &line)
{
    writeUrc(line);
}

QByteArray SimModem::cmsError(int code) const
{
    return "+CMS ERROR: " + QByteArray::number(code);
}

QByteArray SimModem::cmeError(int code) const
{
    if (m_cmee == 0)
        return "ERROR";
    if (m_cmee == 2)
        return code == 10 ? "+CME ERROR: SIM not inserted" : "+CME ERROR: unknown";
    return "+CME ERROR: " + QByteArray::number(code);
}

void SimModem::execute(const QByteArray &line)
{
    if (line.isEmpty())
        return;
    if (line.size() < 2 || line.left(2).toUpper() != "AT")
        return; // not a command: a modem ignores line noise
    QByteArray rest = line.mid(2);
    QByteArrayList lines;
    QByteArray final = "OK";
    while (!rest.isEmpty() && final == "OK" && m_inputState == Input::Command) {
        const char c = char(QChar::toUpper(uint(rest[0])));
        if (c == '+' || c == '^') {
            const qsizetype semi = rest.indexOf(';');
            const QByteArray cmd = semi < 0 ? rest : rest.left(semi);
            rest = semi < 0 ? QByteArray() : rest.mid(semi + 1);
            final = extended(cmd, &lines);
            continue;
        }
        if (c == '&') {
            const char what = rest.size() > 1 ? char(QChar::toUpper(uint(rest[1]))) : ' ';
            if (what == 'F')
                resetSettings();
            rest = rest.mid(2);
            while (!rest.isEmpty() && QChar::isDigit(uint(rest[0])))
                rest.remove(0, 1);
            continue;
        }
        rest.remove(0, 1);
        int value = 0;
        qsizetype digits = 0;
        while (digits < rest.size() && QChar::isDigit(uint(rest[digits])))
            value = value * 10 + (rest[digits++] - '0');
        rest.remove(0, digits);
        switch (c) {
        case 'E':
            m_echo = value != 0;
            break;
        case 'Z':
            resetSettings();
            break;
        case 'H':
            if (m_ringsLeft > 0) {
                ++m_hangUps;
                m_ringsLeft = 0;
                m_ringTimer.stop();
            }
            break;
        case 'I':
            lines.append(m_model.toUtf8());
            break;
        case 'A':
            final = "NO CARRIER";
            break;
        case 'D':
            rest.clear();
            final = "NO CARRIER";
            break;
        case 'V':
        case 'Q':
        case 'X':
            break;
        case 'S':
            rest.clear();
            break;
        default:
            final = "ERROR";
            break;
        }
    }
    if (m_inputState != Input::Command)
        return; // the prompt has been written; the answer follows the text
    reply(lines, final);
}

QByteArray SimModem::extended(const QByteArray &command, QByteArrayList *lines)
{
    qsizetype split = 0;
    while (split < command.size() && command[split] != '=' && command[split] != '?')
        ++split;
    const QByteArray name = command.left(split).toUpper();
    const bool query = command.mid(split) == "?";
    const bool test = command.mid(split) == "=?";
    const QByteArray args =
            (!query && split < command.size()) ? command.mid(split + 1) : QByteArray();
    const QByteArrayList params = [&] {
        QByteArrayList p;
        for (QByteArray a : args.split(',')) {
            a = a.trimmed();
            if (a.startsWith('"') && a.endsWith('"') && a.size() >= 2)
                a = a.mid(1, a.size() - 2);
            p.append(a);
        }
        return p;
    }();
    const int first = params.isEmpty() ? -1 : params[0].toInt();
    if (test)
        return "OK";

    if (name == "+CMEE") {
        if (query)
            lines->append("+CMEE: " + QByteArray::number(m_cmee));
        else
            m_cmee = first;
    } else if (name == "+CMGF") {
        if (query)
            lines->append("+CMGF: " + QByteArray::number(m_cmgf));
        else if (first == 0 || first == 1)
            m_cmgf = first;
        else
            return cmsError(CmsOperationNotAllowed);
    } else if (name == "+CSCS") {
        if (query)
            lines->append("+CSCS: \"" + m_cscs + '"');
        else
            m_cscs = params.value(0).toUpper();
    } else if (name == "+CPIN") {
        if (m_simBusyAnswers > 0) {
            --m_simBusyAnswers;
            return cmeError(14);
        }
        if (m_simState == SimState::Missing)
            return cmeError(10);
        lines->append(m_simState == SimState::PinRequired ? "+CPIN: SIM PIN" : "+CPIN: READY");
    } else if (name == "+CGMI") {
        lines->append("Velmora");
    } else if (name == "+CGMM") {
        lines->append(m_model.toUtf8());
    } else if (name == "+CGMR") {
        lines->append("1.0.0");
    } else if (name == "+CGSN") {
        lines->append(QByteArray::number(860000000000000LL + m_port));
    } else if (name == "+CIMI") {
        lines->append(QByteArray::number(460000000000000LL + m_port));
    } else if (name == "+CSQ") {
        lines->append("+CSQ: 23,99");
    } else if (name == "+CREG") {
        if (query)
            lines->append("+CREG: " + QByteArray::number(m_cregMode) + ','
                          + QByteArray::number(m_registration));
        else
            m_cregMode = first;
    } else if (name == "+CGREG") {
        if (query)
            lines->append(name + ": 0," + QByteArray::number(m_registration));
    } else if (name == "+COPS") {
        if (query)
            lines->append("+COPS: 0,0,\"Velmora Mobile\"");
    } else if (name == "+CPMS") {
        if (!query && !params.isEmpty())
            m_readMe = params[0] == "ME";
        const QByteArray used = QByteArray::number(readStorage().size());
        const QByteArray cap = QByteArray::number(room());
        if (query) {
            lines->append("+CPMS: \"SM\"," + used + ',' + cap + ",\"SM\"," + used + ',' + cap
                          + ",\"SM\"," + used + ',' + cap);
        } else {
            for (const QByteArray &mem : params) {
                if (mem != "SM" && mem != "ME" && mem != "MT")
                    return cmsError(CmsOperationNotAllowed);
            }
            lines->append("+CPMS: " + used + ',' + cap + ',' + used + ',' + cap + ',' + used + ','
                          + cap);
        }
    } else if (name == "+CNMI") {
        if (query) {
            lines->append("+CNMI: " + QByteArray::number(m_cnmiMode) + ','
                          + QByteArray::number(m_cnmiMt) + ",0,0,0");
        } else {
            const int mt = params.value(1).toInt();
            if (first < 0 || first > 3 || mt < 0 || mt > 3)
                return cmsError(CmsOperationNotAllowed);
            if (m_reportsStoredOnly && params.value(3).toInt() == 1)
                return cmsError(303); // operation not supported
            m_cnmiMode = first;
            m_cnmiMt = mt;
            m_cnmiDs = params.value(3).toInt();
        }
    } else if (name == "+CLIP") {
        if (query)
            lines->append("+CLIP: " + QByteArray::number(m_clip ? 1 : 0) + ",1");
        else
            m_clip = first == 1;
    } else if (name == "+CSCA") {
        if (query)
            lines->append("+CSCA: " + quoted(serviceCentre()) + ",145");
    } else if (name == "+CSMP" || name == "+CFUN" || name == "+CSMS") {
        if (query && name == "+CFUN")
            lines->append("+CFUN: 1");
        if (query && name == "+CSMS")
            lines->append(m_direct ? "+CSMS: 1,1,1,1" : "+CSMS: 0,1,1,1");
    } else if (name == "+CNMA") {
        ++m_acks;
    } else if (name == "+CNUM") {
        lines->append("+CNUM: \"\"," + quoted(m_number) + ",145");
    } else if (name == "+CHUP") {
        if (m_ringsLeft > 0) {
            ++m_hangUps;
            m_ringsLeft = 0;
            m_ringTimer.stop();
        }
    } else if (name == "+CMGS") {
        if (query || params.isEmpty() || params[0].isEmpty())
            return cmsError(CmsOperationNotAllowed);
        if (m_cmgf == 0) {
            bool ok = false;
            m_expectedLength = params[0].toInt(&ok);
            if (!ok || m_expectedLength < 7 || m_expectedLength > 164)
                return cmsError(CmsInvalidPduParameter);
            m_inputState = Input::Pdu;
        } else {
            m_textDestination = decodeText(params[0]);
            m_inputState = Input::Text;
        }
        m_text.clear();
        m_tty->write("\r\n> ");
    } else if (name == "+CMGR") {
        const auto it = readStorage().find(first);
        if (it == readStorage().end())
            return cmsError(CmsInvalidIndex);
        if (m_cmgf == 0) {
            lines->append("+CMGR: " + QByteArray::number(it->status) + ",,"
                          + QByteArray::number(it->pdu.tpduLength));
            lines->append(it->pdu.hex());
        } else {
            lines->append(readText(first, *it, false));
        }
        it->status = 1;
    } else if (name == "+CMGL") {
        int wanted = 4;
        if (m_cmgf == 1) {
            const QByteArray s = params.value(0).toUpper();
            wanted = s == "REC UNREAD"          ? 0
                    : s == "REC READ"           ? 1
                    : s == "ALL" || s.isEmpty() ? 4
                                                : 2;
        } else if (!params.isEmpty() && !params[0].isEmpty()) {
            wanted = first;
        }
        for (auto it = readStorage().begin(); it != readStorage().end(); ++it) {
            if (wanted != 4 && it->status != wanted)
                continue;
            if (m_cmgf == 0) {
                lines->append("+CMGL: " + QByteArray::number(it.key()) + ','
                              + QByteArray::number(it->status) + ",,"
                              + QByteArray::number(it->pdu.tpduLength));
                lines->append(it->pdu.hex());
            } else {
                lines->append(readText(it.key(), *it, true));
            }
            it->status = 1;
        }
    } else if (name == "+CMGD") {
        if (first < 0 || first > m_capacity)
            return cmsError(CmsInvalidIndex);
        if (params.value(1).toInt() == 4)
            readStorage().clear();
        else
            readStorage().remove(first);
        while (!m_heldBack.isEmpty() && m_storage.size() < room())
            store(m_heldBack.dequeue());
    } else {
        return "ERROR";
    }
    return "OK";
}

QByteArray SimModem::readText(int index, const Stored &s, bool listing) const
{
    const auto pdu = PduDecoder::decode(s.pdu.octets, nullptr);
    const QByteArray status = s.status == 0 ? "\"REC UNREAD\"" : "\"REC READ\"";
    const QByteArray head =
            listing ? "+CMGL: " + QByteArray::number(index) + ',' + status : "+CMGR: " + status;
    if (!pdu)
        return head;
    return head + ',' + quoted(pdu->address) + ",," + quoted(textTimestamp(pdu->timestamp)) + "\r\n"
            + encodeText(pdu->userData.text);
}

QByteArray SimModem::encodeText(const QString &text) const
{
    if (m_cscs == "UCS2") {
        QByteArray out;
        for (QChar c : text)
            out += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
        return out;
    }
    return text.toUtf8();
}

QString SimModem::decodeText(const QByteArray &text) const
{
    if (m_cscs == "UCS2") {
        QString out;
        for (qsizetype i = 0; i + 4 <= text.size(); i += 4)
            out.append(QChar(char16_t(text.mid(i, 4).toUShort(nullptr, 16))));
        return out;
    }
    return QString::fromUtf8(text);
}

void SimModem::finishText(bool submit)
{
    const Input state = m_inputState;
    m_inputState = Input::Command;
    if (!submit) {
        reply({}, "OK"); // ESC: the message is dropped
        return;
    }
    if (state == Input::Pdu)
        submitPdu(m_text.trimmed());
    else
        submitText(decodeText(m_text));
}

void SimModem::submitPdu(const QByteArray &hex)
{
    QString error;
    const auto pdu = PduDecoder::decodeHex(hex, &error);
    const int scaOctets = hex.size() >= 2 ? hex.left(2).toInt(nullptr, 16) + 1 : 0;
    if (!pdu || pdu->type != SmsPdu::Type::Submit
        || hex.size() / 2 - scaOctets != m_expectedLength) {
        replyAfterSend(cmsError(CmsInvalidPduParameter));
        return;
    }
    if (const int code = takeFailure(); code >= 0) {
        replyAfterSend(cmsError(code));
        return;
    }
    if (m_registration != 1) {
        replyAfterSend(cmsError(331)); // no network service
        return;
    }
    m_network->submit(this, *pdu);
    const int reference = m_nextReference;
    m_nextReference = (m_nextReference + 1) & 0xFF;
    replyAfterSend("+CMGS: " + QByteArray::number(reference));
    if (pdu->statusReportRequested)
        reportLater(pdu->address, reference);
}

void SimModem::submitText(const QString &text)
{
    if (const int code = takeFailure(); code >= 0) {
        replyAfterSend(cmsError(code));
        return;
    }
    const QList<UserData> parts = MessageSplitter::split(text);
    if (parts.size() != 1) {
        replyAfterSend(cmsError(CmsUnknownError));
        return;
    }
    SmsPdu pdu;
    pdu.type = SmsPdu::Type::Submit;
    pdu.address = m_textDestination;
    pdu.userData = parts[0];
    m_network->submit(this, pdu);
    const int reference = m_nextReference;
    m_nextReference = (m_nextReference + 1) & 0xFF;
    replyAfterSend("+CMGS: " + QByteArray::number(reference));
}

void SimModem::replyAfterSend(const QByteArray &text)
{
    const bool error = text.startsWith("+CMS ERROR");
    const quint64 life = m_life;
    auto answer = [this, text, error, life] {
        if (m_silent || isGone() || life != m_life)
            return;
        if (error)
            reply({}, text);
        else
            reply({text}, "OK");
    };
    if (m_sendDelayMs <= 0) {
        answer();
        return;
    }
    m_busy = true;
    QTimer::singleShot(m_sendDelayMs, this, [this, answer, life] {
        if (life != m_life)
            return; // restarted meanwhile: it is not busy any more
        m_busy = false;
        answer();
        process();
    });
}

void SimModem::receive(const PduEncoder::Encoded &deliver, const QByteArray &memory)
{
    if (isGone())
        return;
    if ((m_cnmiMt == 2 || m_direct) && m_cmgf == 0) {
        writeUrc("+CMT: ," + QByteArray::number(deliver.tpduLength) + "\r\n" + deliver.hex());
        return;
    }
    if (memory == "ME") {
        store(deliver, memory);
        return;
    }
    if (m_storage.size() >= room()) {
        m_heldBack.enqueue(deliver);
        return;
    }
    store(deliver);
}

void SimModem::store(const PduEncoder::Encoded &deliver, const QByteArray &memory)
{
    QMap<int, Stored> &storage = memory == "ME" ? m_meStorage : m_storage;
    int index = 1;
    while (storage.contains(index))
        ++index;
    storage.insert(index, Stored{0, deliver});
    if (m_fullAt > 0 && memory != "ME" && m_storage.size() >= m_fullAt) {
        // After the answer of a command that made room (AT+CMGD), as a modem reports it.
        QTimer::singleShot(0, this, [this] { writeUrc("+CMS ERROR: 322"); });
        return;
    }
    if (m_cnmiMt == 1 || m_cnmiMt == 3)
        writeUrc("+CMTI: \"" + memory + "\"," + QByteArray::number(index));
}

void SimModem::setReportFullStore(bool on)
{
    m_fullAt = on ? int(m_storage.size()) + 1 : 0;
    while (!m_heldBack.isEmpty() && m_storage.size() < room())
        store(m_heldBack.dequeue());
}

void SimModem::ring(const QString &caller)
{
    m_caller = caller;
    m_ringsLeft = RingsBeforeGivingUp;
    ringOnce();
    m_ringTimer.start();
}

void SimModem::ringOnce()
{
    if (m_ringsLeft <= 0) {
        m_ringTimer.stop();
        return;
    }
    if (--m_ringsLeft == 0) {
        m_ringTimer.stop();
        writeUrc("NO CARRIER");
        return;
    }
    writeUrc("RING");
    if (m_clip) {
        if (m_caller == QLatin1String("-")) {
            writeUrc("+CLIP: \"\",128,,,,1"); // withheld by the caller
        } else {
            const bool international = m_caller.startsWith(QLatin1Char('+'));
            writeUrc("+CLIP: " + quoted(m_caller) + ',' + (international ? "145" : "129")
                     + ",,,,0");
        }
    }
}
