#include "modemsender.h"

#include "modemerrors.h"
#include "modemtext.h"
#include "pdu/messagesplitter.h"

namespace {

QString noAnswer()
{
    return QStringLiteral("短信猫未及时应答");
}

} // namespace

ModemSender::ModemSender(const ModemSettings &settings, QObject *parent)
    : QObject(parent), m_settings(settings)
{
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &ModemSender::onWatchdog);
}

void ModemSender::detach(Ending how, bool cutOff)
{
    m_channel = nullptr;
    m_ending = how;
    m_cutOff = cutOff;
    m_partAwaitingResync = false;
}

void ModemSender::ended()
{
    m_partInFlight = false;
    m_partAwaitingResync = false;
    if (!m_sending)
        return;
    if (m_acceptedWhole) {
        // Every part has its reference: the final OK that did not come adds nothing.
        finish(true, {});
    } else if (!m_reachedModem && m_ending == Ending::Gone) {
        finish(false, QStringLiteral("port closed"), QStringLiteral("串口已关闭"));
    } else if (!m_reachedModem) {
        // Nothing of it was ever written to the modem, so it cannot have gone out: it can be
        // handed on again as it is, also when the modem stopped answering before the prompt.
        finish(false, QStringLiteral("the message never reached the modem"),
               QStringLiteral("短信未送到短信猫"), true);
    } else {
        // A part went to the modem and its answer never came: it may have gone, so the message
        // gets no result at all and stays with the caller. A failure here would have it sent
        // again.
        m_sending = false;
        m_parts.clear();
        m_watchdog.stop();
    }
}

bool ModemSender::send(const QString &number, const QString &text)
{
    if (!m_channel || m_sending || m_partAwaitingResync)
        return false;
    MessageSplitter::Options options;
    options.coding = m_settings.alwaysUcs2 ? MessageSplitter::Coding::Ucs2
                                           : MessageSplitter::Coding::Automatic;
    options.reference = m_nextConcatReference;
    m_nextConcatReference = (m_nextConcatReference + 1) & 0xFF;
    const QList<UserData> parts = MessageSplitter::split(text, options);
    m_sending = true;
    m_reachedModem = false;
    m_acceptedWhole = false;
    ++m_generation;
    m_lastReference = -1;
    m_parts.clear();
    if (parts.isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            finish(false, QStringLiteral("text needs more than 255 parts"),
                   QStringLiteral("短信过长，超过255条"));
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
    m_watchdog.start(m_settings.sendPartMs * int(parts.size()) + m_settings.commandMs);
    sendNextPart();
    return true;
}

void ModemSender::sendNextPart()
{
    if (m_paused || m_partInFlight || m_parts.isEmpty() || !m_channel)
        return;
    const PduEncoder::Encoded part = m_parts.takeFirst();
    AtCommand c;
    c.text = "AT+CMGS=" + QByteArray::number(part.tpduLength);
    c.timeoutMs = m_settings.sendPartMs;
    c.prefixes = {"+CMGS:"};
    c.payload = part.hex();
    m_partInFlight = true;
    m_partInFlightPdu = part;
    const quint64 generation = m_generation;
    m_channel->send(c, [this, generation](const AtResult &r) { onPartAnswer(r, generation); });
}

void ModemSender::onPartAnswer(const AtResult &r, quint64 generation)
{
    if (r.payloadWritten && !(m_channel.isNull() && m_cutOff) && generation == m_generation)
        m_reachedModem = true;
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
    if (!m_sending || generation != m_generation) {
        // The answer for a message already given up on; the next one may go now.
        sendNextPart();
        return;
    }
    if (!m_channel) {
        // The port is going and ended() gives the result: the modem may have accepted this
        // part already, its OK still on the way.
        const auto reference =
                r.lines.isEmpty() ? std::nullopt : AtResponse::parseMessageReference(r.lines[0]);
        if (reference && r.payloadWritten && m_parts.isEmpty()) {
            m_lastReference = *reference & 0xFF;
            m_acceptedWhole = true;
        }
        return;
    }
    onPartResult(r);
}

bool ModemSender::retryRefusal(const AtResult &r)
{
    if (r.finalKind != AtResponse::Kind::CmsError || m_partRetried
        || !ModemErrors::isTransient(r.errorCode))
        return false;
    m_partRetried = true;
    m_parts.prepend(m_partInFlightPdu);
    const quint64 generation = m_generation;
    m_watchdog.start(m_watchdog.remainingTime() + m_settings.refusalRetryMs);
    QTimer::singleShot(m_settings.refusalRetryMs, this, [this, generation] {
        if (m_sending && generation == m_generation)
            sendNextPart();
    });
    return true;
}

void ModemSender::onPartResult(const AtResult &r)
{
    if (!r.ok()) {
        if (!retryRefusal(r))
            finish(false, r.errorString(), ModemText::describe(r));
        return;
    }
    m_partRetried = false;
    const auto reference =
            r.lines.isEmpty() ? std::nullopt : AtResponse::parseMessageReference(r.lines[0]);
    m_lastReference = reference.value_or(0) & 0xFF;
    if (m_parts.isEmpty())
        finish(true, {});
    else
        sendNextPart();
}

void ModemSender::onResynchronised(const QByteArrayList &lateLines)
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
    finish(false, QStringLiteral("no answer in time"), noAnswer());
}

void ModemSender::onWatchdog()
{
    if (!m_sending)
        return;
    // The loop may have been held up: what the modem already said decides first.
    if (m_channel) {
        m_channel->readPending();
        if (m_channel && m_channel->isResynchronising()) {
            // The modem answers the AT in a moment, or is lost; a failure now could be neither.
            m_watchdog.start(m_settings.commandMs);
            return;
        }
    }
    // A part on its way is ended by the channel's own time-out and resynchronisation.
    if (m_sending && !m_partInFlight)
        finish(false, QStringLiteral("no answer in time"), noAnswer());
}

void ModemSender::finish(bool ok, const QString &error, const QString &failure, bool notWritten)
{
    if (!m_sending)
        return;
    m_sending = false;
    m_parts.clear();
    m_watchdog.stop();
    m_lastFailure = ok ? QString() : failure;
    m_lastNotWritten = notWritten;
    Q_EMIT sendFinished(ok, ok ? m_lastReference : -1, error);
}

void ModemSender::setPaused(bool paused)
{
    m_paused = paused;
    if (!paused)
        sendNextPart();
}
