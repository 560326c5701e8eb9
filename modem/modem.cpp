#include "modem.h"

#include "modemerrors.h"
#include "pdu/messagesplitter.h"
#include "pdu/pdudecoder.h"
#include "portguard.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QSerialPort>

#include <memory>

Q_LOGGING_CATEGORY(lcModem, "velmora.modem", QtWarningMsg)

namespace {

// Voice calls repeat RING every few seconds; a call without one for this long has ended.
constexpr int RingExpiryMs = 8000;
// +CLIP follows RING at once on every modem seen; the call is announced without a number if
// it does not.
constexpr int ClipWaitMs = 300;
constexpr int ProbeAttemptMs = 400;
constexpr int EscapeSettleMs = 100;
constexpr int ReadMs = 10000;
constexpr int ListMs = 15000;
// A SIM still starting after power-on answers +CME ERROR: 14 for a few seconds.
constexpr int SimBusyRetryMs = 1000;

AtCommand command(const QByteArray &text, int timeoutMs, QByteArrayList prefixes = {})
{
    AtCommand c;
    c.text = text;
    c.timeoutMs = timeoutMs;
    c.prefixes = std::move(prefixes);
    return c;
}

QString firstAnswer(const AtResult &r, const QByteArray &prefix)
{
    for (QByteArray line : r.lines) {
        if (line.startsWith(prefix))
            line = line.mid(prefix.size());
        line = line.trimmed();
        if (line.startsWith('"') && line.endsWith('"') && line.size() >= 2)
            line = line.mid(1, line.size() - 2);
        if (!line.isEmpty())
            return QString::fromLatin1(line);
    }
    return {};
}

} // namespace

Modem::Modem(QObject *parent) : QObject(parent)
{
    m_clipWait.setSingleShot(true);
    m_ringExpiry.setSingleShot(true);
    connect(&m_clipWait, &QTimer::timeout, this, &Modem::announceRing);
    connect(&m_ringExpiry, &QTimer::timeout, this, [this] { m_ringing = false; });
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        if (m_channel && m_channel->isIdle())
            listStored();
    });
    connect(&m_staleTimer, &QTimer::timeout, this, &Modem::checkStaleParts);
    m_sendWatchdog.setSingleShot(true);
    connect(&m_sendWatchdog, &QTimer::timeout, this, &Modem::onSendWatchdog);
}

Modem::~Modem()
{
    close();
}

bool Modem::isOpen() const
{
    return !m_opening && m_port && m_port->isOpen() && m_channel;
}

bool Modem::fail(OpenError kind, const QString &error)
{
    qCDebug(lcModem) << "open failed:" << error;
    close();
    m_error = error;
    m_openError = kind;
    return false;
}

bool Modem::open(const Settings &settings)
{
    if (m_opening) {
        // Reached from an event served while this modem's own open waits.
        m_error = QStringLiteral("an open of this port is already in progress");
        m_openError = OpenError::Busy;
        return false;
    }
    close();
    m_settings = settings;
    m_error.clear();
    m_openError = OpenError::None;
    if (!openPort(settings))
        return false;
    m_opening = true;
    QPointer<Modem> self(this);
    if (!probe() || !self)
        return false;
    if (!initialise() || !self)
        return false;
    m_opening = false;
    m_channel->setRecovery(true);
    m_partStore.setFolder(settings.partsFolder);
    m_keptRetryMs = 0;

    if (m_settings.indicationMode < 1 || m_settings.indicationMode > 3)
        m_pollTimer.start(m_settings.pollMs);
    m_staleTimer.start(int(qMin<qint64>(m_settings.partsMaxAgeMs, 60000)));
    // Messages that wait from before (or from a run that ended before it could store them)
    // are announced once the caller has the port as open.
    loadParts();
    listStored();
    refreshNetworkStatus();
    return true;
}

bool Modem::openPort(const Settings &settings)
{
    if (settings.portName.isEmpty())
        return fail(OpenError::NoSuchPort, QStringLiteral("no serial port given"));
    const QFileInfo info(settings.portName);
    if (!info.exists())
        return fail(OpenError::NoSuchPort,
                    QStringLiteral("%1 does not exist").arg(settings.portName));
    // The device itself, not a link to it, so that Qt's lock file names the device.
    const QString device = info.canonicalFilePath();
    if (const QString held = PortGuard::heldElsewhere(device); !held.isEmpty())
        return fail(OpenError::Busy, held);

    m_port = new QSerialPort(this);
    m_port->setPortName(device);
    if (!m_port->open(QIODevice::ReadWrite))
        return fail(OpenError::Busy,
                    QStringLiteral("%1: %2").arg(settings.portName, m_port->errorString()));
    if (!PortGuard::lock(int(m_port->handle())))
        return fail(OpenError::Busy,
                    QStringLiteral("%1 is locked by another program").arg(settings.portName));
    // A rate the port cannot take would leave it at its old rate, where the modem answers
    // nothing or garbage; say so instead.
    if (!m_port->setBaudRate(settings.baudRate))
        return fail(OpenError::Refused, QStringLiteral("baud rate %1 refused by %2")
                                                .arg(settings.baudRate)
                                                .arg(settings.portName));
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->clear();
    connect(m_port, &QSerialPort::errorOccurred, this, &Modem::onPortError);

    m_channel = new AtChannel(m_port, this);
    // Every probe attempt on a silent port times out; that is no reason to resynchronise.
    m_channel->setRecovery(false);
    m_channel->setResyncTimeout(m_settings.commandMs);
    connect(m_channel, &AtChannel::unsolicited, this, &Modem::onUnsolicited);
    connect(m_channel, &AtChannel::unresponsive, this, &Modem::onUnresponsive);
    connect(m_channel, &AtChannel::resynchronised, this, &Modem::onResynchronised);
    connect(m_channel, &AtChannel::cmsError, this, [this](int code) {
        if (code == AtResponse::CmsMemoryFull)
            onStorageFull("+CMS ERROR: 322");
    });
    return true;
}

bool Modem::probe()
{
    const QDeadlineTimer probeDeadline(m_settings.probeMs);
    bool answered = false;
    bool escaped = false;
    while (!answered && !probeDeadline.hasExpired() && m_opening) {
        // Repeated: a modem may drop the first characters after a quiet spell or while it
        // still echoes the line noise of a previous program.
        const AtResult r = runBlocking(command("AT", ProbeAttemptMs), probeDeadline);
        answered = r.ok();
        if (!answered && !escaped && r.status == AtResult::Status::Timeout && m_opening) {
            leaveTextEntry();
            escaped = true;
        }
    }
    if (!m_opening)
        return fail(OpenError::NoAnswer, QStringLiteral("closed while opening"));
    if (!answered)
        return fail(OpenError::NoAnswer,
                    QStringLiteral("no modem answers on %1").arg(m_settings.portName));
    return true;
}

void Modem::leaveTextEntry()
{
    // A program that ended in the middle of AT+CMGS leaves the modem collecting message text,
    // where "AT" is just more text. ESC cancels the message (TS 27.005 §3.5.1); whatever the
    // modem says to that is dropped, so it cannot pass for the answer to the next command.
    m_port->write("\x1b");
    waitFor(EscapeSettleMs);
    if (m_port)
        m_port->readAll();
    if (m_channel)
        m_channel->abortAll();
}

void Modem::waitFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

AtResult Modem::runBlocking(const AtCommand &cmd, QDeadlineTimer deadline)
{
    AtResult result;
    bool done = false;
    if (!m_channel)
        return result;
    // A local loop instead of waiting on this port alone: the other modems' serial events,
    // timers and a close() of this one are served while this command waits.
    QEventLoop loop;
    m_channel->send(cmd, [&result, &done, &loop](const AtResult &r) {
        result = r;
        done = true;
        loop.quit();
    });
    if (!done) {
        QTimer limit;
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(int(qBound(qint64(0), deadline.remainingTime(), qint64(cmd.timeoutMs) + 1000)));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!done) {
        if (m_channel)
            m_channel->abortAll();
        result.status = AtResult::Status::Timeout;
    }
    return result;
}

bool Modem::initialise()
{
    const int ms = m_settings.commandMs;
    auto run = [&](const QByteArray &text, QByteArrayList prefixes = {}) {
        return runBlocking(command(text, ms, std::move(prefixes)), QDeadlineTimer(ms));
    };
    auto required = [&](const QByteArray &text) {
        const AtResult r = run(text);
        if (!r.ok() && !m_opening)
            fail(OpenError::NoAnswer, QStringLiteral("closed while opening"));
        else if (!r.ok())
            fail(OpenError::Refused,
                 QStringLiteral("%1 failed: %2").arg(QString::fromLatin1(text), r.errorString()));
        return r.ok();
    };

    if (!required("ATE0"))
        return false;
    run("AT+CMEE=1");
    if (!waitForSim())
        return false;
    if (!required("AT+CMGF=0"))
        return false;
    // Modems that store in their own memory whatever the setting (+CMTI: "ME") leave messages
    // there across a restart; they are listed too when that memory can be selected.
    m_meUsable = run("AT+CPMS=\"ME\"", {"+CPMS:"}).ok();
    // Received messages go to the SIM, where they survive a restart of the gateway.
    m_readMemory.clear();
    m_storageMemory.clear();
    if (run("AT+CPMS=\"SM\",\"SM\",\"SM\"", {"+CPMS:"}).ok())
        m_readMemory = m_storageMemory = "SM";
    else if (m_meUsable)
        m_readMemory = "ME";
    // Phase 2+ (service 1) asks for every +CMT to be acknowledged (TS 27.005 §3.2.1).
    m_ackDirect = firstAnswer(run("AT+CSMS?", {"+CSMS:"}), "+CSMS:").startsWith(QLatin1Char('1'));
    const int mode = m_settings.indicationMode;
    if (mode >= 1 && mode <= 3) {
        // <mt> 1: store, then +CMTI (TS 27.005 §3.4.1); +CMT would need a timely +CNMA, and a
        // late one makes the network deliver the message again.
        // <ds> 1: delivery reports come as +CDS when they are asked for; modems that only
        // store them (<ds> 2) announce them with +CDSI.
        const QByteArray cnmi = "AT+CNMI=" + QByteArray::number(mode) + ",1";
        const bool set = m_settings.statusReports
                ? run(cnmi + ",0,1,0").ok() || run(cnmi + ",0,2,0").ok()
                : run(cnmi + ",0,0,0").ok();
        if (!set && !run(cnmi).ok()) {
            qCDebug(lcModem) << "no +CNMI; polling storage";
            m_settings.indicationMode = 0;
        }
    }
    run("AT+CLIP=1");
    // Registration changes come as +CREG: <stat> (TS 27.007 §7.2).
    run("AT+CREG=1");
    readIdentity(QDeadlineTimer(ms * 5));
    if (!m_opening)
        return fail(OpenError::NoAnswer, QStringLiteral("closed while opening"));
    return m_port && m_channel;
}

bool Modem::waitForSim()
{
    const QDeadlineTimer busyUntil(m_settings.simBusyMs);
    for (;;) {
        const AtResult pin = runBlocking(command("AT+CPIN?", m_settings.commandMs, {"+CPIN:"}),
                                         QDeadlineTimer(m_settings.commandMs));
        if (!m_opening)
            return fail(OpenError::NoAnswer, QStringLiteral("closed while opening"));
        const QString state = firstAnswer(pin, "+CPIN:");
        const QString why = pin.ok() ? state : pin.errorString();
        switch (ModemErrors::simProblem(pin.ok() ? -1 : pin.errorCode, why)) {
        case ModemErrors::SimProblem::None:
            if (pin.ok() && state == QLatin1String("READY"))
                return true;
            return fail(OpenError::Refused, QStringLiteral("SIM not usable: %1").arg(why));
        case ModemErrors::SimProblem::PinRequired:
            return fail(OpenError::Refused, QStringLiteral("SIM asks for a PIN"));
        case ModemErrors::SimProblem::PukRequired:
            return fail(OpenError::Refused, QStringLiteral("SIM asks for its PUK"));
        case ModemErrors::SimProblem::Missing:
            return fail(OpenError::Refused, QStringLiteral("SIM missing"));
        case ModemErrors::SimProblem::Failure:
            return fail(OpenError::Refused, QStringLiteral("SIM failure: %1").arg(why));
        case ModemErrors::SimProblem::Busy:
            if (busyUntil.hasExpired())
                return fail(OpenError::Refused, QStringLiteral("SIM busy after power-on"));
            waitFor(SimBusyRetryMs);
            if (!m_opening)
                return fail(OpenError::NoAnswer, QStringLiteral("closed while opening"));
            break;
        }
    }
}

void Modem::readIdentity(QDeadlineTimer deadline)
{
    auto ask = [&](const QByteArray &text, const QByteArray &prefix) -> QString {
        if (deadline.hasExpired())
            return {};
        AtCommand c = command(text, m_settings.commandMs, {prefix});
        c.plainLines = true;
        const AtResult r = runBlocking(c, deadline);
        return r.ok() ? firstAnswer(r, prefix) : QString();
    };
    m_identity.manufacturer = ask("AT+CGMI", "+CGMI:");
    m_identity.model = ask("AT+CGMM", "+CGMM:");
    m_identity.revision = ask("AT+CGMR", "+CGMR:");
    m_identity.imei = ask("AT+CGSN", "+CGSN:");
    m_identity.imsi = ask("AT+CIMI", "+CIMI:");
}

void Modem::refreshNetworkStatus()
{
    if (!isOpen() || m_channel->queued() > 4)
        return;
    queueHealthQueries();
    m_channel->send(
            command("AT+COPS?", m_settings.commandMs, {"+COPS:"}), [this](const AtResult &r) {
                const QByteArrayList p =
                        r.lines.isEmpty() ? QByteArrayList() : AtResponse::parameters(r.lines[0]);
                if (r.ok() && p.size() >= 3 && m_network.operatorName != p[2]) {
                    m_network.operatorName = QString::fromLatin1(p[2]);
                    Q_EMIT healthChanged();
                }
            });
}

void Modem::close()
{
    m_pollTimer.stop();
    m_staleTimer.stop();
    m_clipWait.stop();
    m_ringExpiry.stop();
    m_ringing = false;
    m_ringAnnouncePending = false;
    m_opening = false;
    m_partAwaitingResync = false;
    ++m_openGeneration; // messages held back for a while are read again after the next open
    if (m_port) {
        m_port->disconnect(this);
        m_port->close();
        m_port->deleteLater();
        m_port = nullptr;
    }
    if (m_channel) {
        AtChannel *channel = m_channel;
        m_channel = nullptr;
        channel->disconnect(this);
        channel->abortAll();
        channel->deleteLater();
    }
    // Parts held back by a pause, or a message that never reached the modem.
    finishSend(false, QStringLiteral("port closed"));
    m_partInFlight = false;
    // Anything not yet taken is still in storage and is read again at the next open.
    m_inbox.clear();
    m_reassembler.clear();
    m_knownIndexes.clear();
    m_deleting.clear();
    m_announcedWhileDeleting.clear();
    m_listingsQueued = 0;
}

void Modem::onPortError()
{
    if (!m_port)
        return;
    const QSerialPort::SerialPortError e = m_port->error();
    if (e == QSerialPort::NoError || e == QSerialPort::TimeoutError)
        return;
    if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError
        && e != QSerialPort::WriteError)
        return;
    const QString error = m_port->errorString();
    qCDebug(lcModem) << "port lost:" << error;
    const bool wasOpen = isOpen();
    close();
    m_error = error;
    if (!wasOpen)
        return; // an open in progress fails on its own
    QPointer<Modem> self(this);
    Q_EMIT portLost(error);
    if (self)
        Q_EMIT deviceLost(error);
}

void Modem::onUnresponsive()
{
    if (!m_opening)
        loseDevice(QStringLiteral("the modem stopped answering"));
}

void Modem::loseDevice(const QString &error)
{
    qCDebug(lcModem) << error;
    if (m_sending) {
        // The part in flight may have gone out: neither success nor failure is known, so the
        // message gets no result at all and stays with the caller.
        m_sending = false;
        m_parts.clear();
        m_sendWatchdog.stop();
    }
    m_partAwaitingResync = false;
    close();
    m_error = error;
    Q_EMIT deviceLost(error);
}

bool Modem::send(const QString &number, const QString &text)
{
    if (!isOpen() || m_sending || m_partAwaitingResync)
        return false;
    MessageSplitter::Options options;
    options.coding = m_settings.alwaysUcs2 ? MessageSplitter::Coding::Ucs2
                                           : MessageSplitter::Coding::Automatic;
    options.reference = m_nextConcatReference;
    m_nextConcatReference = (m_nextConcatReference + 1) & 0xFF;
    const QList<UserData> parts = MessageSplitter::split(text, options);
    m_sending = true;
    ++m_sendGeneration;
    m_lastReference = -1;
    m_parts.clear();
    if (parts.isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            finishSend(false, QStringLiteral("text needs more than 255 parts"));
        });
        return true;
    }
    PduEncoder::SubmitOptions submitOptions;
    submitOptions.statusReport = m_settings.statusReports;
    for (const UserData &ud : parts)
        m_parts.append(PduEncoder::submit(number, ud, submitOptions));
    m_partRetried = false;
    // Commands queued before the message (a storage listing, a status query) have time-outs
    // of their own; this bounds the whole message however long they take.
    m_sendWatchdog.start(m_settings.sendPartMs * int(parts.size()) + m_settings.commandMs);
    sendNextPart();
    return true;
}

void Modem::sendNextPart()
{
    if (m_paused || m_partInFlight || m_parts.isEmpty() || !m_channel)
        return;
    const PduEncoder::Encoded part = m_parts.takeFirst();
    AtCommand c = command("AT+CMGS=" + QByteArray::number(part.tpduLength), m_settings.sendPartMs,
                          {"+CMGS:"});
    c.payload = part.hex();
    m_partInFlight = true;
    m_partInFlightPdu = part;
    const quint64 generation = m_sendGeneration;
    m_channel->send(c, [this, generation](const AtResult &r) {
        if (m_channel && m_channel->isLost()) {
            // The modem stopped answering before this part had its answer: the loss that
            // follows ends the message without a result, as whether it went is not known.
            return;
        }
        if (r.status == AtResult::Status::Timeout && m_channel) {
            // Decided by what the modem says while the channel gets back in step with it.
            m_partAwaitingResync = true;
            return;
        }
        m_partInFlight = false;
        if (!m_sending || generation != m_sendGeneration) {
            // The answer for a message already given up on; the next one may go now.
            sendNextPart();
            return;
        }
        onPartResult(r);
    });
}

void Modem::onPartResult(const AtResult &r)
{
    if (!r.ok()) {
        if (r.finalKind == AtResponse::Kind::CmsError && !m_partRetried
            && ModemErrors::isTransient(r.errorCode)) {
            m_partRetried = true;
            m_parts.prepend(m_partInFlightPdu);
            const quint64 generation = m_sendGeneration;
            m_sendWatchdog.start(m_sendWatchdog.remainingTime() + m_settings.refusalRetryMs);
            QTimer::singleShot(m_settings.refusalRetryMs, this, [this, generation] {
                if (m_sending && generation == m_sendGeneration)
                    sendNextPart();
            });
            return;
        }
        finishSend(false, r.errorString());
        return;
    }
    m_partRetried = false;
    const auto reference =
            r.lines.isEmpty() ? std::nullopt : AtResponse::parseMessageReference(r.lines[0]);
    m_lastReference = reference.value_or(0) & 0xFF;
    if (m_parts.isEmpty())
        finishSend(true, {});
    else
        sendNextPart();
}

void Modem::onResynchronised(const QByteArrayList &lateLines)
{
    if (!m_partAwaitingResync)
        return;
    m_partAwaitingResync = false;
    m_partInFlight = false;
    if (!m_sending) {
        sendNextPart();
        return;
    }
    // A late +CMGS reference means the part went out after all.
    for (const QByteArray &line : lateLines) {
        if (AtResponse::parseMessageReference(line)) {
            AtResult late;
            late.status = AtResult::Status::Ok;
            late.lines = {line};
            onPartResult(late);
            return;
        }
    }
    finishSend(false, QStringLiteral("no answer in time"));
}

void Modem::onSendWatchdog()
{
    if (!m_sending)
        return;
    // The loop may have been held up: what the modem already said decides first.
    if (m_port && m_port->bytesAvailable() == 0)
        m_port->waitForReadyRead(0);
    if (m_channel)
        m_channel->readAvailable();
    if (m_channel && m_channel->isResynchronising()) {
        // The modem answers the AT in a moment, or is lost; a failure now could be neither.
        m_sendWatchdog.start(m_settings.commandMs);
        return;
    }
    // A part on its way is ended by the channel's own time-out and resynchronisation.
    if (m_sending && !m_partInFlight)
        finishSend(false, QStringLiteral("no answer in time"));
}

void Modem::finishSend(bool ok, const QString &error)
{
    if (!m_sending)
        return;
    m_sending = false;
    m_parts.clear();
    m_sendWatchdog.stop();
    Q_EMIT sendFinished(ok, ok ? m_lastReference : -1, error);
}

void Modem::setSendingPaused(bool paused)
{
    m_paused = paused;
    if (!paused)
        sendNextPart();
}

ReceivedMessage Modem::takeMessage()
{
    return m_inbox.isEmpty() ? ReceivedMessage() : m_inbox.takeFirst();
}

void Modem::deleteStored(const QList<int> &indexes)
{
    release(ReceivedMessage{{}, {}, {}, {}, indexes, {}, {}, false, false});
}

QByteArray Modem::memoryOf(int slot) const
{
    return (slot & MemoryMe) ? QByteArray("ME") : m_storageMemory;
}

void Modem::selectMemory(const QByteArray &memory)
{
    // Tracks the memory as of the last command queued, so reads and deletions queued behind
    // a switch go to the memory they name.
    if (memory.isEmpty() || memory == m_readMemory || !m_channel)
        return;
    m_readMemory = memory;
    m_channel->send(command("AT+CPMS=\"" + memory + "\"", m_settings.commandMs, {"+CPMS:"}),
                    [this](const AtResult &r) {
                        if (!r.ok())
                            m_readMemory.clear();
                    });
}

void Modem::release(const ReceivedMessage &message, std::function<void()> done)
{
    m_keptRetryMs = 0;
    if (!message.partIds.isEmpty())
        m_partStore.markDone(message.pdus);
    for (qint64 id : message.partIds)
        m_partStore.remove(id);
    if (message.direct)
        acknowledgeDirect();
    if (!m_channel || message.storageIndexes.isEmpty()) {
        if (done && message.storageIndexes.isEmpty())
            done();
        return;
    }
    auto left = std::make_shared<qsizetype>(message.storageIndexes.size());
    auto failed = std::make_shared<bool>(false);
    for (int slot : message.storageIndexes) {
        selectMemory(memoryOf(slot));
        m_deleting.insert(slot);
        const QByteArray index = QByteArray::number(slot & (MemoryMe - 1));
        m_channel->send(command("AT+CMGD=" + index, m_settings.commandMs),
                        [this, slot, left, failed, done](const AtResult &r) {
                            m_knownIndexes.remove(slot);
                            m_deleting.remove(slot);
                            // A full storage takes the next message into the slot at once.
                            if (m_announcedWhileDeleting.remove(slot))
                                readStored(memoryOf(slot), slot & (MemoryMe - 1));
                            *failed = *failed || !r.ok();
                            if (--*left == 0 && !*failed && done)
                                done();
                        });
    }
}

void Modem::keep(const ReceivedMessage &message)
{
    m_keptRetryMs = m_keptRetryMs == 0 ? m_settings.keptRetryMs
                                       : qMin(m_keptRetryMs * 2, m_settings.keptRetryMaxMs);
    const quint64 generation = m_openGeneration;
    QTimer::singleShot(m_keptRetryMs, this, [this, message, generation] {
        // After a reopen the message has been read from where it waits again.
        if (generation != m_openGeneration || !isOpen())
            return;
        m_inbox.append(message);
        Q_EMIT messageAvailable();
    });
}

void Modem::acknowledgeDirect()
{
    if (m_ackDirect && m_channel)
        m_channel->send(command("AT+CNMA", m_settings.commandMs));
}

void Modem::onUnsolicited(const AtResponse::Line &line, const QByteArray &pdu)
{
    using AtResponse::Urc;
    switch (line.urc) {
    case Urc::NewMessageStored:
        if (const auto at = AtResponse::parseStorageIndex(line.text); at && !m_opening)
            readStored(at->memory, at->index);
        break;
    case Urc::StatusStored:
        if (const auto at = AtResponse::parseStorageIndex(line.text); at && m_channel)
            readStatusReport(at->memory, at->index);
        break;
    case Urc::NewMessage:
        takePdu(pdu, -1);
        break;
    case Urc::Ring:
        if (!m_ringing)
            m_callerNumber.clear(); // a new call: the last caller's number is not this one's
        m_ringing = true;
        m_ringExpiry.start(RingExpiryMs);
        m_ringAnnouncePending = true;
        m_clipWait.start(ClipWaitMs);
        break;
    case Urc::CallerId:
        // A withheld number comes as +CLIP: "",128.
        m_callerNumber = AtResponse::parseCallerId(line.text).value_or(QString());
        m_ringing = true;
        m_ringExpiry.start(RingExpiryMs);
        if (m_ringAnnouncePending)
            announceRing();
        break;
    case Urc::None:
        if (line.kind == AtResponse::Kind::CallEnd)
            m_ringing = false;
        break;
    case Urc::Vendor:
        // Huawei modems end a call with ^CEND instead of NO CARRIER, and say ^SMMEMFULL when
        // the SIM has no room left: then whatever it holds is read (and so emptied).
        if (line.text.startsWith("^CEND"))
            m_ringing = false;
        else if (line.text == "RDY" && !m_opening)
            // Said at power-on (Quectel, SIMCom): the settings of the open are gone with the
            // restart, so the device is opened again from the start.
            loseDevice(QStringLiteral("the modem restarted"));
        else if (line.text.startsWith("+CREG:") && !m_opening)
            setRegistration(AtResponse::parameters(line.text).value(0));
        else if (line.text.startsWith("^SMMEMFULL"))
            onStorageFull(line.text);
        break;
    case Urc::Status:
        storeStatusReport(line.text, pdu, -1);
        break;
    }
}

void Modem::announceRing()
{
    m_clipWait.stop();
    if (!m_ringAnnouncePending)
        return;
    m_ringAnnouncePending = false;
    if (m_ringing)
        Q_EMIT ringing();
}

void Modem::hangUp()
{
    m_ringing = false;
    m_ringAnnouncePending = false;
    m_clipWait.stop();
    m_ringExpiry.stop();
    if (!m_channel)
        return;
    // ATH is V.250's hang-up; some 3G modems (Huawei E1xx) only end an incoming call with
    // AT+CHUP (TS 27.007 §6.5).
    m_channel->send(command("ATH", m_settings.commandMs), [this](const AtResult &r) {
        if (r.status == AtResult::Status::Error && m_channel)
            m_channel->send(command("AT+CHUP", m_settings.commandMs));
    });
}

void Modem::readStored(const QByteArray &memory, int index)
{
    const int slot = memory == "ME" && m_storageMemory != "ME" ? index | MemoryMe : index;
    if (m_deleting.contains(slot))
        m_announcedWhileDeleting.insert(slot);
    if (!m_channel || m_knownIndexes.contains(slot))
        return;
    m_knownIndexes.insert(slot);
    selectMemory(memoryOf(slot));
    AtCommand c = command("AT+CMGR=" + QByteArray::number(index), ReadMs, {"+CMGR:"});
    c.pduAfterLine = true;
    m_channel->send(c, [this, slot](const AtResult &r) {
        if (r.ok() && r.lines.size() >= 2)
            takePdu(r.lines[1], slot);
        else
            m_knownIndexes.remove(slot); // empty slot, or read again at the next listing
    });
}

void Modem::listStored()
{
    listMemory(m_storageMemory);
    if (m_meUsable && m_storageMemory != "ME")
        listMemory("ME");
}

void Modem::onStorageFull(const QByteArray &sign)
{
    // The open lists the store anyway, and a listing already on its way reads what it holds;
    // reacting again would list without end on a modem that says so for every command.
    if (m_opening || !m_channel || m_listingsQueued > 0)
        return;
    qCWarning(lcModem).noquote() << m_settings.portName << "says" << sign
                                 << "(message store full): reading what it holds";
    listStored();
}

void Modem::listMemory(const QByteArray &memory)
{
    if (!m_channel)
        return;
    const int base = memory == "ME" && m_storageMemory != "ME" ? MemoryMe : 0;
    selectMemory(memory);
    AtCommand c = command("AT+CMGL=4", ListMs, {"+CMGL:"});
    c.pduAfterLine = true;
    ++m_listingsQueued;
    m_channel->send(c, [this, base](const AtResult &r) {
        --m_listingsQueued;
        if (!r.ok())
            return;
        for (qsizetype i = 0; i + 1 < r.lines.size(); ++i) {
            const auto listed = AtResponse::parseListed(r.lines[i]);
            if (!listed || r.lines[i + 1].startsWith("+CMGL:"))
                continue;
            const QByteArray pdu = r.lines[++i];
            const int slot = listed->index | base;
            // Status 2 and 3 are stored outgoing messages.
            if (listed->status > 1 || m_knownIndexes.contains(slot))
                continue;
            m_knownIndexes.insert(slot);
            takePdu(pdu, slot);
        }
    });
}

void Modem::loadParts()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const PartStore::Part &p : m_partStore.load())
        takePdu(p.pduHex, -1, p.id, qMax<qint64>(0, now - p.receivedMs));
}

// storageIndex -1 and partId 0: a direct delivery (+CMT).
void Modem::takePdu(const QByteArray &pduHex, int storageIndex, qint64 partId, qint64 partAgeMs)
{
    QString error;
    const auto pdu = PduDecoder::decodeHex(pduHex, &error);
    if (!pdu) {
        takeUndecodable(pduHex, storageIndex, error);
        return;
    }
    if (pdu->type == SmsPdu::Type::StatusReport) {
        if (storageIndex >= 0)
            deleteStored({storageIndex});
        return;
    }
    if (pdu->type != SmsPdu::Type::Deliver) {
        takeUndecodable(pduHex, storageIndex, QStringLiteral("no SMS-DELIVER"));
        return;
    }
    // 8-bit data is no text; as hexadecimal octets it survives any database.
    const QString text = pdu->userData.alphabet == SmsAlphabet::EightBit
            ? QString::fromLatin1(pdu->userData.data.toHex().toUpper())
            : pdu->userData.text;
    if (pdu->concat.isValid()) {
        ConcatReassembler::Part part;
        part.serviceCentre = pdu->serviceCentre;
        part.sender = pdu->address;
        part.timestamp = pdu->timestamp;
        part.text = text;
        part.concat = pdu->concat;
        part.partId = partId;
        takePart(part, pduHex, storageIndex, partAgeMs);
        return;
    }
    ReceivedMessage m;
    m.serviceCentre = pdu->serviceCentre;
    m.sender = pdu->address;
    m.text = text;
    m.timestamp = pdu->timestamp;
    m.pdus.append(pduHex);
    if (storageIndex >= 0)
        m.storageIndexes.append(storageIndex);
    m.direct = storageIndex < 0;
    m_inbox.append(m);
    Q_EMIT messageAvailable();
}

void Modem::takePart(ConcatReassembler::Part part, const QByteArray &pduHex, int storageIndex,
                     qint64 partAgeMs)
{
    part.pdu = pduHex;
    part.carriedMs = partAgeMs;
    // A copy of a part already on disk (its deletion from storage was cut short), or of one
    // whose message has been handed on already.
    const bool copy = part.partId == 0 && m_partStore.isEnabled()
            && (m_partStore.isDone(pduHex) || m_reassembler.holds(part));
    if (copy || m_reassembler.isLateDuplicate(part)) {
        release(ReceivedMessage{{},
                                {},
                                {},
                                {},
                                storageIndex >= 0 ? QList<int>{storageIndex} : QList<int>{},
                                part.partId > 0 ? QList<qint64>{part.partId} : QList<qint64>{},
                                {},
                                part.partId == 0 && storageIndex < 0,
                                false});
        return;
    }
    if (part.partId == 0 && m_partStore.isEnabled()) {
        // Off the SIM at once: parts whose set never completes must not fill it.
        QString error;
        if (const qint64 id =
                    m_partStore.add(pduHex, QDateTime::currentMSecsSinceEpoch(), &error)) {
            part.partId = id;
            if (storageIndex >= 0)
                deleteStored({storageIndex});
            else
                acknowledgeDirect();
            storageIndex = -1;
        } else {
            qCWarning(lcModem) << "part kept in storage:" << error;
        }
    }
    part.storageIndex = storageIndex;
    part.direct = part.partId == 0 && storageIndex < 0;
    if (auto done = m_reassembler.add(part)) {
        m_inbox.append(*done);
        Q_EMIT messageAvailable();
    }
}

void Modem::takeUndecodable(const QByteArray &pduHex, int storageIndex, const QString &why)
{
    qCWarning(lcModem) << "undecodable message at" << storageIndex << ":" << why;
    ReceivedMessage m;
    m.undecodable = true;
    m.text = why;
    m.pdus.append(pduHex);
    if (storageIndex >= 0)
        m.storageIndexes.append(storageIndex);
    m.direct = storageIndex < 0;
    m_inbox.append(m);
    Q_EMIT messageAvailable();
}

void Modem::checkStaleParts()
{
    // Also the moment to look for what no indication announced (a SIM that was full, a modem
    // that stores without saying so).
    if (m_channel && m_channel->isIdle())
        listStored();
    const QList<ReceivedMessage> stale = m_reassembler.takeStale(m_settings.partsMaxAgeMs);
    if (stale.isEmpty())
        return;
    m_inbox.append(stale);
    Q_EMIT messageAvailable();
}
