#include "atchannel.h"

#include <QLoggingCategory>

#include <utility>

Q_LOGGING_CATEGORY(lcAt, "velmora.modem.at", QtWarningMsg)

namespace {

// Time-outs in a row after which the modem counts as gone.
constexpr int TimeoutsUntilLost = 3;
// Long enough for the second of two final results sent back to back to arrive.
constexpr int SettleMs = 150;
// Modems that doze do so after a second or more without input. Half of that leaves room for the
// time a write spends in buffers and on the wire, while the commands of one exchange (the parts
// of a send, a health read, a read and its delete) follow each other within tens of
// milliseconds and so never pay for a wake-up.
constexpr int WakeAfterQuietMs = 500;
// An awake modem answers a bare AT within tens of milliseconds; a dozing one never does. Too
// short a wait costs nothing but safety margin: a late answer is caught by the resynchronising
// AT that follows.
constexpr int WakeAnswerMs = 300;

} // namespace

QString AtResult::errorString() const
{
    switch (status) {
    case Status::Ok:
        return {};
    case Status::Timeout:
        return QStringLiteral("no answer in time");
    case Status::Closed:
        return QStringLiteral("port closed");
    case Status::Error:
        break;
    }
    return QString::fromLatin1(finalLine);
}

AtChannel::AtChannel(QIODevice *device, QObject *parent)
    : QObject(parent), m_device(device), m_wakeAfterQuietMs(WakeAfterQuietMs)
{
    // Whoever handed over the port has just talked to the modem.
    m_sinceWrite.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &AtChannel::onTimeout);
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, &AtChannel::endSettle);
    connect(device, &QIODevice::readyRead, this, &AtChannel::readAvailable);
}

AtChannel::~AtChannel() = default;

void AtChannel::send(const AtCommand &command, Callback done)
{
    if (m_lost) {
        if (done) {
            AtResult closed;
            done(closed);
        }
        return;
    }
    m_queue.enqueue(Pending{command, std::move(done), {}, false});
    if (!m_current && !m_inCallback)
        startNext();
}

void AtChannel::abortAll()
{
    m_timer.stop();
    QList<Pending> ended;
    if (m_current)
        ended.append(std::move(*m_current));
    m_current.reset();
    while (!m_queue.isEmpty())
        ended.append(m_queue.dequeue());
    m_splitter.clear();
    m_awaitingPdu.reset();
    m_responseAwaitsPdu = false;
    m_resyncNeeded = false;
    m_strayFinalDue = false;
    m_settle.stop();
    for (Pending &p : ended) {
        if (p.done) {
            p.result.status = AtResult::Status::Closed;
            p.done(p.result);
        }
    }
}

void AtChannel::startNext()
{
    if (m_current || m_settle.isActive() || m_lost)
        return;
    const bool resync = m_resyncNeeded && m_recovery;
    if (!resync && m_queue.isEmpty())
        return;
    if (wakeDue() && m_consecutiveTimeouts < TimeoutsUntilLost) {
        startWake();
        return;
    }
    if (resync) {
        startResync();
        return;
    }
    if (!m_device || !m_device->isOpen()) {
        abortAll();
        return;
    }
    ++m_commandSerial;
    m_current = m_queue.dequeue();
    m_splitter.setExpectPrompt(!m_current->command.payload.isEmpty());
    qCDebug(lcAt) << "->" << m_current->command.text;
    write(m_current->command.text + '\r');
    m_timer.start(m_current->command.timeoutMs);
}

void AtChannel::startResync()
{
    if (m_consecutiveTimeouts >= TimeoutsUntilLost) {
        giveUp();
        return;
    }
    if (!m_device || !m_device->isOpen()) {
        abortAll();
        return;
    }
    Pending resync;
    resync.command.text = "AT";
    // Answer lines of the command that timed out are kept: they may still tell its outcome.
    resync.command.prefixes = m_lateLinePrefixes;
    resync.command.timeoutMs = m_resyncMs;
    resync.resync = true;
    ++m_commandSerial;
    m_current = std::move(resync);
    m_splitter.setExpectPrompt(false);
    qCDebug(lcAt) << "-> AT (resynchronising)";
    write("AT\r");
    m_timer.start(m_resyncMs);
}

bool AtChannel::wakeDue() const
{
    // Only in use: while a modem is probed every command is retried anyway.
    if (!m_recovery || m_wakeAfterQuietMs <= 0)
        return false;
    return m_escapeWritten || m_sinceWrite.elapsed() > m_wakeAfterQuietMs;
}

void AtChannel::startWake()
{
    if (!m_device || !m_device->isOpen()) {
        abortAll();
        return;
    }
    Pending wake;
    wake.command.text = "AT";
    // Standing in for the AT after a time-out, it keeps what the command that timed out says.
    wake.command.prefixes = m_lateLinePrefixes;
    wake.command.timeoutMs = WakeAnswerMs;
    wake.resync = m_resyncNeeded;
    wake.wake = true;
    ++m_commandSerial;
    m_current = std::move(wake);
    m_splitter.setExpectPrompt(false);
    qCDebug(lcAt) << "-> AT (waking the modem after a quiet line)";
    write("AT\r");
    m_timer.start(WakeAnswerMs);
}

void AtChannel::onWakeTimeout()
{
    // Lost to a doze, or answered late. The command itself waits until the modem answers a bare
    // AT, and the settling after that answer drops a late one of the wake-up, so that it cannot
    // pass for the command's own result (an OK before an AT+CMGS prompt would leave the modem
    // taking the next command as message text). Nothing is counted: a dozing modem is healthy.
    m_timer.stop();
    m_lateLines += m_current->result.lines;
    m_current.reset();
    m_responseAwaitsPdu = false;
    if (!m_recovery) {
        startNext();
        return;
    }
    m_resyncNeeded = true;
    startResync();
}

void AtChannel::write(const QByteArray &bytes)
{
    m_device->write(bytes);
    m_sinceWrite.start();
    m_escapeWritten = bytes.endsWith('\x1b');
}

void AtChannel::endSettle()
{
    m_settle.stop();
    const QByteArrayList late = std::exchange(m_lateLines, {});
    m_lateLinePrefixes.clear();
    QPointer<AtChannel> self(this);
    Q_EMIT resynchronised(late);
    if (self)
        startNext();
}

void AtChannel::giveUp()
{
    qCDebug(lcAt) << "no answer" << m_consecutiveTimeouts << "times in a row: modem lost";
    m_lost = true;
    QPointer<AtChannel> self(this);
    abortAll();
    if (self)
        Q_EMIT unresponsive();
}

void AtChannel::readAvailable()
{
    if (!m_device)
        return;
    const QByteArray bytes = m_device->readAll();
    if (bytes.isEmpty())
        return;
    m_splitter.feed(bytes);
    QByteArray line;
    QPointer<AtChannel> self(this);
    while (self && m_splitter.next(&line))
        handleLine(line);
}

void AtChannel::readPending()
{
    QPointer<AtChannel> self(this);
    if (m_device && m_device->isOpen() && m_device->bytesAvailable() == 0)
        m_device->waitForReadyRead(0);
    if (self)
        readAvailable();
}

bool AtChannel::isStrayReference(const QByteArray &line) const
{
    if (!line.startsWith("+CMGS:"))
        return false;
    return !m_current || !m_current->command.prefixes.contains(QByteArray("+CMGS:"));
}

bool AtChannel::isEcho(const QByteArray &line) const
{
    if (!m_current)
        return false;
    const QByteArray &text = m_current->command.text;
    if (line.size() == text.size() && line.compare(text, Qt::CaseInsensitive) == 0)
        return true;
    const QByteArray &payload = m_current->command.payload;
    if (!payload.isEmpty() && m_current->promptSeen) {
        // The PDU comes back when echo is on, with the Ctrl-Z or after a further prompt.
        QByteArray stripped = line;
        while (stripped.startsWith("> "))
            stripped.remove(0, 2);
        if (stripped.endsWith('\x1a'))
            stripped.chop(1);
        return stripped == payload;
    }
    return false;
}

bool AtChannel::belongsToCurrent(const QByteArray &line, const AtResponse::Line &kind) const
{
    if (!m_current)
        return false;
    for (const QByteArray &p : m_current->command.prefixes) {
        if (line.startsWith(p))
            return true;
    }
    if (!m_current->command.plainLines || kind.kind != AtResponse::Kind::Information)
        return false;
    return !line.startsWith('+') && !line.startsWith('^') && !line.startsWith('*');
}

void AtChannel::handleLine(const QByteArray &line)
{
    qCDebug(lcAt) << "<-" << line;
    if (takesAwaitedPdu(line) || takesPrompt(line) || isEcho(line))
        return;
    const AtResponse::Line kind = AtResponse::classify(line);
    if (setsAsideLateLine(line, kind) || answersCurrent(line, kind))
        return;
    handleUnasked(line, kind);
}

bool AtChannel::takesAwaitedPdu(const QByteArray &line)
{
    if (m_awaitingPdu) {
        const AtResponse::Line urc = *m_awaitingPdu;
        m_awaitingPdu.reset();
        Q_EMIT unsolicited(urc, line.trimmed());
        return true;
    }
    if (m_responseAwaitsPdu && m_current) {
        const AtResponse::Line kind = AtResponse::classify(line);
        if (kind.kind == AtResponse::Kind::Information) {
            m_responseAwaitsPdu = false;
            m_current->result.lines.append(line.trimmed());
            return true;
        }
        // An unsolicited code between a header and its PDU keeps the wait for the PDU; anything
        // else means the modem gave none, and the line is handled as what it is.
        if (kind.kind != AtResponse::Kind::Unsolicited)
            m_responseAwaitsPdu = false;
    }
    return false;
}

bool AtChannel::takesPrompt(const QByteArray &line)
{
    if (!m_current || line != ">" || m_current->command.payload.isEmpty())
        return false;
    m_current->promptSeen = true;
    m_current->result.payloadWritten = true;
    // Straight after the prompt, never preceded by a wake-up: the modem is taking text.
    write(m_current->command.payload + '\x1a');
    return true;
}

bool AtChannel::setsAsideLateLine(const QByteArray &line, const AtResponse::Line &kind)
{
    if (!m_current && m_settle.isActive()) {
        for (const QByteArray &p : m_lateLinePrefixes) {
            if (line.startsWith(p)) {
                m_lateLines.append(line.trimmed());
                return true;
            }
        }
    }
    if (isStrayReference(line)) {
        // The reference of a message sent before this channel took the port (or given up on):
        // the OK after it is that message's, not the answer to what is in flight now.
        m_strayFinalDue = true;
        return true;
    }
    if (kind.kind == AtResponse::Kind::Ok && std::exchange(m_strayFinalDue, false)) {
        qCDebug(lcAt) << "late final result dropped";
        return true;
    }
    return false;
}

bool AtChannel::answersCurrent(const QByteArray &line, const AtResponse::Line &kind)
{
    if (!m_current)
        return false;
    using AtResponse::Kind;
    switch (kind.kind) {
    case Kind::Ok:
        finishCurrent(AtResult::Status::Ok, &kind);
        return true;
    case Kind::Error:
    case Kind::CmeError:
        finishCurrent(AtResult::Status::Error, &kind);
        return true;
    case Kind::CmsError: {
        // AT+CMGS stores nothing: a full store said meanwhile is not the message's result,
        // which still comes.
        if (kind.errorCode == AtResponse::CmsMemoryFull && !m_current->command.payload.isEmpty())
            return false;
        QPointer<AtChannel> self(this);
        finishCurrent(AtResult::Status::Error, &kind);
        if (self)
            Q_EMIT cmsError(kind.errorCode);
        return true;
    }
    case Kind::CallEnd:
    case Kind::Connect:
        if (!m_current->command.text.startsWith("ATD")
            && !m_current->command.text.startsWith("ATA"))
            return false;
        finishCurrent(kind.kind == Kind::Connect ? AtResult::Status::Ok : AtResult::Status::Error,
                      &kind);
        return true;
    case Kind::Unsolicited:
    case Kind::Information:
        if (!belongsToCurrent(line, kind))
            return false;
        m_current->result.lines.append(line.trimmed());
        m_responseAwaitsPdu = m_current->command.pduAfterLine;
        return true;
    }
    return false;
}

void AtChannel::handleUnasked(const QByteArray &line, const AtResponse::Line &kind)
{
    using AtResponse::Kind;
    if (kind.kind == Kind::Unsolicited && AtResponse::takesPduLine(kind.urc)) {
        m_awaitingPdu = kind;
        return;
    }
    if (kind.kind == Kind::Unsolicited || kind.kind == Kind::CallEnd) {
        Q_EMIT unsolicited(kind, {});
        return;
    }
    if (kind.kind == Kind::CmsError) {
        Q_EMIT cmsError(kind.errorCode);
        return;
    }
    qCDebug(lcAt) << "ignored" << line;
}

void AtChannel::finishCurrent(AtResult::Status status, const AtResponse::Line *final)
{
    m_timer.stop();
    Pending done = std::move(*m_current);
    m_current.reset();
    m_responseAwaitsPdu = false;
    m_splitter.setExpectPrompt(false);
    if (status == AtResult::Status::Ok || status == AtResult::Status::Error)
        m_consecutiveTimeouts = 0;
    if (done.resync) {
        // The modem answered: whatever else the command that timed out says comes within the
        // settling time and is dropped there.
        m_resyncNeeded = false;
        m_lateLines += done.result.lines;
        m_settle.start(SettleMs);
        return;
    }
    if (done.wake) {
        startNext();
        return;
    }
    done.result.status = status;
    if (final) {
        done.result.finalKind = final->kind;
        done.result.finalLine = final->text;
        done.result.errorCode = final->errorCode;
    }
    QPointer<AtChannel> self(this);
    if (done.done) {
        m_inCallback = true;
        done.done(done.result);
        if (!self)
            return;
        m_inCallback = false;
    }
    startNext();
}

void AtChannel::onTimeout()
{
    if (!m_current)
        return;
    QPointer<AtChannel> self(this);
    if (m_device && m_device->isOpen()) {
        // The event loop may have been held up past the deadline while the answer was already
        // waiting: the outcome comes from what the modem said, not from how long we slept.
        const quint64 serial = m_commandSerial;
        if (m_device->bytesAvailable() == 0)
            m_device->waitForReadyRead(0);
        if (!self)
            return;
        readAvailable();
        if (!self || !m_current || m_commandSerial != serial)
            return;
    }
    if (m_current->wake) {
        onWakeTimeout();
        return;
    }
    const QByteArray text = m_current->command.text;
    const bool resync = m_current->resync;
    qCDebug(lcAt) << "time-out" << text;
    if (!resync && !m_current->command.payload.isEmpty() && m_device && m_device->isOpen()) {
        // Leave the text-entry state of AT+CMGS (TS 27.005 §3.5.1): ESC cancels the message.
        write("\x1b");
    }
    ++m_consecutiveTimeouts;
    if (m_recovery) {
        m_resyncNeeded = true;
        if (!resync) {
            m_lateLinePrefixes = m_current->command.prefixes;
            m_lateLines.clear();
        }
    }
    if (resync) {
        m_timer.stop();
        m_lateLines += m_current->result.lines;
        m_current.reset();
        m_responseAwaitsPdu = false;
        startNext();
    } else {
        finishCurrent(AtResult::Status::Timeout, nullptr);
    }
    if (self)
        Q_EMIT timedOut(text);
}

bool AtChannel::runUntilIdle(QDeadlineTimer deadline)
{
    QPointer<AtChannel> self(this);
    while (self && !isIdle()) {
        if (!m_device || !m_device->isOpen()) {
            abortAll();
            return false;
        }
        // A command's own timer cannot fire here, so its time-out is applied by hand.
        qint64 left = deadline.remainingTime();
        if (m_timer.isActive())
            left = qMin<qint64>(left, m_timer.remainingTime());
        if (m_settle.isActive()) {
            if (m_settle.remainingTime() <= 0) {
                endSettle();
                continue;
            }
            left = qMin<qint64>(left, m_settle.remainingTime());
        }
        if (left <= 0) {
            if (deadline.hasExpired()) {
                if (m_current)
                    onTimeout();
                abortAll();
                return false;
            }
            onTimeout();
            continue;
        }
        if (m_device->bytesAvailable() > 0 || m_device->waitForReadyRead(int(left)))
            readAvailable();
    }
    return self && isIdle();
}
