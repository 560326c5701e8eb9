#include "simmodem.h"

#include "identitycommands.h"
#include "pdu/messagesplitter.h"
#include "pdu/pdudecoder.h"
#include "portopenwatcher.h"
#include "pseudoterminal.h"
#include "simnetwork.h"
#include "smscommands.h"
#include "statuscommands.h"
#include "storagecommands.h"
#include "textmode.h"
#include "ussdcommands.h"

#include <QDateTime>
#include <QTimer>

SimModem::SimModem(int port, const QString &number, SimNetwork *network, QObject *parent)
    : QObject(parent), m_port(port), m_number(number), m_network(network),
      m_line([this](const QByteArray &bytes) {
          if (m_tty)
              m_tty->write(bytes);
      }),
      m_call(m_settings, [this](const QByteArray &line) { writeUrc(line); })
{
    IdentityCommands::addTo(m_commands, *this);
    StatusCommands::addTo(m_commands, *this);
    SmsCommands::addTo(m_commands, *this);
    StorageCommands::addTo(m_commands, *this);
    UssdCommands::addTo(m_commands, *this);
}

SimModem::~SimModem()
{
    if (m_openWatcher)
        m_openWatcher->unwatch(m_openWatch);
}

bool SimModem::create(const QString &linkPath, QString *error)
{
    m_linkPath = linkPath;
    m_tty = new PseudoTerminal(this);
    connect(m_tty, &PseudoTerminal::received, this, &SimModem::onBytes);
    if (!m_tty->open(linkPath, error))
        return false;
    watchOpens();
    return true;
}

void SimModem::setFirstAnswerDelay(int ms, PortOpenWatcher *watcher)
{
    m_line.setFirstAnswerDelay(ms);
    m_openWatcher = watcher;
    watchOpens();
}

void SimModem::watchOpens()
{
    if (!m_openWatcher || isGone())
        return;
    // A replugged modem is a new device: the old watch went with the old one.
    m_openWatcher->unwatch(m_openWatch);
    m_openWatch = m_openWatcher->watch(m_tty->slavePath(), [this] { m_line.portOpened(); });
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
    m_call.drop();
    m_line.forget();
    resetSettings();
}

void SimModem::setRegistered(bool registered)
{
    const int stat = registered ? 1 : 2;
    if (stat == m_registration)
        return;
    m_registration = stat;
    if (m_settings.cregMode >= 1)
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
        if (isGone() || m_settings.cmgf != 0)
            return;
        const PduEncoder::Encoded report = PduEncoder::statusReport(
                recipient, reference, 0, QDateTime::currentDateTime(), serviceCentre());
        if (m_settings.cnmiDs == 1) {
            writeUrc("+CDS: " + QByteArray::number(report.tpduLength) + "\r\n" + report.hex());
        } else if (m_settings.cnmiDs == 2) {
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
    m_call.drop();
    if (m_tty)
        m_tty->close();
}

void SimModem::onBytes(const QByteArray &bytes)
{
    if (m_silent || m_booting)
        return;
    m_line.heard(bytes, m_inputState == Input::Command);
    m_input.append(bytes);
    process();
}

void SimModem::process()
{
    while (!m_busy && !m_input.isEmpty() && !m_silent) {
        const bool whole = m_inputState == Input::Command ? processCommandLine() : processText();
        if (!whole)
            return; // the rest of the line or text is still to come
    }
}

bool SimModem::processCommandLine()
{
    const qsizetype cr = m_input.indexOf('\r');
    if (cr < 0) {
        if (m_input.size() > 4096)
            m_input.clear();
        return false;
    }
    const QByteArray line = m_input.left(cr);
    m_input.remove(0, cr + 1);
    // As V.250 asks, whatever comes before the AT prefix (an ESC meant for a text
    // entry that was not open) is no part of the command.
    QByteArray command = line.trimmed();
    if (const qsizetype at = command.toUpper().indexOf("AT"); at > 0)
        command.remove(0, at);
    // Only a command can be the one a dozing modem misses: stray noise does not wake it.
    if (command.left(2).toUpper() == "AT" && m_line.losesCommand())
        return true;
    if (m_settings.echo)
        say(line + '\r');
    execute(command);
    return true;
}

bool SimModem::processText()
{
    const qsizetype end = [this] {
        for (qsizetype i = 0; i < m_input.size(); ++i) {
            if (m_input[i] == '\x1a' || m_input[i] == '\x1b')
                return i;
        }
        return qsizetype(-1);
    }();
    const QByteArray chunk = end < 0 ? m_input : m_input.left(end);
    if (m_settings.echo)
        say(chunk);
    m_text.append(chunk);
    if (end < 0) {
        m_input.clear();
        return false;
    }
    const bool submit = m_input[end] == '\x1a';
    m_input.remove(0, end + 1);
    finishText(submit);
    return true;
}

void SimModem::reply(const QByteArrayList &lines, const QByteArray &final)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += "\r\n" + l + "\r\n";
    if (!final.isEmpty())
        out += "\r\n" + final + "\r\n";
    say(out);
}

void SimModem::writeUrc(const QByteArray &line)
{
    if (!m_silent && m_tty)
        say("\r\n" + line + "\r\n");
}

void SimModem::unsolicited(const QByteArray &line)
{
    writeUrc(line);
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
        final = basic(&rest, &lines);
    }
    if (m_inputState != Input::Command)
        return; // the prompt has been written; the answer follows the text
    reply(lines, final);
}

QByteArray SimModem::basic(QByteArray *rest, QByteArrayList *lines)
{
    const char c = char(QChar::toUpper(uint(rest->at(0))));
    rest->remove(0, 1);
    int value = 0;
    qsizetype digits = 0;
    while (digits < rest->size() && QChar::isDigit(uint(rest->at(digits))))
        value = value * 10 + (rest->at(digits++) - '0');
    rest->remove(0, digits);
    switch (c) {
    case 'E':
        m_settings.echo = value != 0;
        break;
    case 'Z':
        resetSettings();
        break;
    case 'H':
        m_call.hangUp();
        break;
    case 'I':
        lines->append(m_model.toUtf8());
        break;
    case 'A':
        return "NO CARRIER";
    case 'D':
        rest->clear();
        return "NO CARRIER";
    case 'V':
    case 'Q':
    case 'X':
        break;
    case 'S':
        rest->clear();
        break;
    default:
        return "ERROR";
    }
    return "OK";
}

QByteArray SimModem::extended(const QByteArray &command, QByteArrayList *lines)
{
    const AtCommand parsed = AtCommand::parse(command);
    if (parsed.test)
        return "OK";
    return m_commands.run(parsed, lines);
}

void SimModem::promptForText(Input kind)
{
    m_inputState = kind;
    m_text.clear();
    say("\r\n> ");
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
        submitText(TextMode(m_settings.cscs).decode(m_text));
}

void SimModem::submitPdu(const QByteArray &hex)
{
    QString error;
    const auto pdu = PduDecoder::decodeHex(hex, &error);
    const int scaOctets = hex.size() >= 2 ? hex.left(2).toInt(nullptr, 16) + 1 : 0;
    if (!pdu || pdu->type != SmsPdu::Type::Submit
        || hex.size() / 2 - scaOctets != m_expectedLength) {
        replyAfterSend(Cms::error(Cms::InvalidPduParameter));
        return;
    }
    if (const int code = takeFailure(); code >= 0) {
        replyAfterSend(Cms::error(code));
        return;
    }
    if (m_registration != 1) {
        replyAfterSend(Cms::error(Cms::NoNetworkService));
        return;
    }
    const int reference = submitted(*pdu);
    if (pdu->statusReportRequested)
        reportLater(pdu->address, reference);
}

void SimModem::submitText(const QString &text)
{
    if (const int code = takeFailure(); code >= 0) {
        replyAfterSend(Cms::error(code));
        return;
    }
    const QList<UserData> parts = MessageSplitter::split(text);
    if (parts.size() != 1) {
        replyAfterSend(Cms::error(Cms::UnknownError));
        return;
    }
    SmsPdu pdu;
    pdu.type = SmsPdu::Type::Submit;
    pdu.address = m_textDestination;
    pdu.userData = parts[0];
    submitted(pdu);
}

int SimModem::submitted(const SmsPdu &pdu)
{
    m_network->submit(this, pdu);
    const int reference = m_nextReference;
    m_nextReference = (m_nextReference + 1) & 0xFF;
    replyAfterSend("+CMGS: " + QByteArray::number(reference));
    return reference;
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
    if ((m_settings.cnmiMt == 2 || m_direct) && m_settings.cmgf == 0) {
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
    if (m_settings.cnmiMt == 1 || m_settings.cnmiMt == 3)
        writeUrc("+CMTI: \"" + memory + "\"," + QByteArray::number(index));
}

void SimModem::setReportFullStore(bool on)
{
    m_fullAt = on ? int(m_storage.size()) + 1 : 0;
    storeHeldBack();
}

void SimModem::storeHeldBack()
{
    while (!m_heldBack.isEmpty() && m_storage.size() < room())
        store(m_heldBack.dequeue());
}

void SimModem::ring(const QString &caller)
{
    m_call.ring(caller);
}
