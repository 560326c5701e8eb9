#include "modemussd.h"

#include "at/atchannel.h"
#include "ussdtext.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcUssd, "velmora.modem.ussd", QtWarningMsg)

namespace {

// USSD strings hold at most 182 septets; codes and replies are far shorter.
constexpr int MaxCodeLength = 160;
// +CME ERROR: 4, operation not supported (TS 27.007 §9.2.1).
constexpr int CmeNotSupported = 4;

ModemUssd::Outcome outcomeOfState(int state, bool hasText)
{
    using O = ModemUssd::Outcome;
    switch (state) {
    case 0:
    case 1:
        return O::Answered;
    case 2:
        return hasText ? O::Answered : O::Refused;
    case 4:
        return O::NotSupported;
    case 5:
        return O::TimedOut;
    default:
        return O::Refused;
    }
}

} // namespace

ModemUssd::ModemUssd(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!m_pending)
            return;
        qCWarning(lcUssd) << "no USSD answer in time";
        closeSession();
        Answer a;
        a.outcome = Outcome::TimedOut;
        finish(a);
    });
}

void ModemUssd::attach(AtChannel *channel)
{
    m_channel = channel;
    m_session = false;
    m_cancelling = 0;
}

void ModemUssd::detach()
{
    m_channel = nullptr;
    m_session = false;
    m_cancelling = 0;
    if (m_pending) {
        Answer a;
        a.outcome = Outcome::Closed;
        finish(a);
    }
}

bool ModemUssd::validCode(const QString &code)
{
    if (code.isEmpty() || code.size() > MaxCodeLength)
        return false;
    return std::all_of(code.begin(), code.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'"';
    });
}

bool ModemUssd::request(const QString &code, bool inSession, int timeoutMs)
{
    if (!m_channel || m_channel->isLost() || m_pending || !validCode(code))
        return false;
    if (m_session && !inSession)
        closeSession();
    m_pending = true;
    m_commandDone = false;
    m_early.reset();
    const quint64 serial = ++m_serial;
    AtCommand c;
    c.text = "AT+CUSD=1,\"" + code.toLatin1() + "\",15";
    // Some modems hold the final result until the network answered.
    c.timeoutMs = qMax(1000, timeoutMs);
    m_timer.setInterval(c.timeoutMs);
    m_requesting = true;
    m_endedWhileRequesting = false;
    m_channel->send(c, [self = QPointer<ModemUssd>(this), serial](const AtResult &r) {
        if (self)
            self->onCommandDone(serial, r.ok(), r.status == AtResult::Status::Timeout,
                                r.status == AtResult::Status::Closed,
                                r.finalKind == AtResponse::Kind::CmeError ? r.errorCode : -1,
                                r.finalLine);
    });
    m_requesting = false;
    if (m_endedWhileRequesting) {
        // The channel ended it at once (it was closing): as if it had never been asked.
        m_endedWhileRequesting = false;
        return false;
    }
    return true;
}

void ModemUssd::onCommandDone(quint64 serial, bool ok, bool timedOut, bool closed, int cmeError,
                              const QByteArray &finalLine)
{
    if (serial != m_serial || !m_pending)
        return;
    m_commandDone = true;
    if (m_early) {
        finish(*m_early);
        return;
    }
    if (ok) {
        m_timer.start();
        return;
    }
    Answer a;
    a.error = QString::fromLatin1(finalLine);
    if (closed)
        a.outcome = Outcome::Closed;
    else if (timedOut)
        a.outcome = Outcome::TimedOut;
    else if (cmeError < 0 || cmeError == CmeNotSupported)
        a.outcome = Outcome::NotSupported;
    else
        a.outcome = Outcome::Refused;
    finish(a);
}

ModemUssd::Answer ModemUssd::parse(const QByteArray &line)
{
    const QByteArrayList p = AtResponse::parameters(line);
    Answer a;
    bool ok = false;
    a.state = p.value(0).toInt(&ok);
    if (!ok)
        a.state = -1;
    if (p.size() > 2) {
        a.dcs = p[2].toInt(&ok);
        if (!ok)
            a.dcs = -1;
    }
    if (p.size() > 1) {
        a.text = UssdText::decode(p[1], a.dcs);
        a.text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        a.text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    a.outcome = outcomeOfState(a.state, !a.text.isEmpty());
    return a;
}

void ModemUssd::onAnswer(const QByteArray &line)
{
    const Answer a = parse(line);
    if (m_cancelling > 0) {
        // Said before the modem took the close of the session: the answer of the request
        // that was given up, not of the next one.
        qCWarning(lcUssd).noquote() << "USSD after its request was given up:" << a.text;
        return;
    }
    m_session = a.state == 1;
    if (!m_pending) {
        // A late answer to a request that timed out, or one the network started itself.
        qCWarning(lcUssd).noquote() << "USSD nobody waits for:" << a.text;
        return;
    }
    if (!m_commandDone) {
        m_early = a; // some modems answer before their OK
        return;
    }
    finish(a);
}

void ModemUssd::finish(Answer answer)
{
    m_timer.stop();
    m_pending = false;
    m_early.reset();
    ++m_serial;
    if (m_requesting) {
        m_endedWhileRequesting = true;
        return;
    }
    Q_EMIT finished(answer);
}

void ModemUssd::closeSession()
{
    m_session = false;
    if (!m_channel || m_channel->isLost())
        return;
    AtCommand cancel;
    cancel.text = "AT+CUSD=2";
    cancel.timeoutMs = 3000;
    ++m_cancelling;
    m_channel->send(cancel, [self = QPointer<ModemUssd>(this)](const AtResult &) {
        if (self && self->m_cancelling > 0)
            --self->m_cancelling;
    });
}
