#include "modem.h"

#include "common/clock.h"

#include <QEventLoop>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

#include <utility>

Q_LOGGING_CATEGORY(lcModem, "velmora.modem", QtWarningMsg)

namespace {

// A restart prints several boot lines over some seconds (RDY, then +CPIN: READY, Call Ready,
// SMS Ready...); those after the first belong to the same restart.
constexpr qint64 RestartLinesMs = 30000;

} // namespace

Modem::Modem(QObject *parent, const Clock *clock)
    : QObject(parent), m_clock(clock ? *clock : SystemClock::instance()),
      m_sender(m_session.settings()), m_inbox(m_session.settings(), m_clock),
      m_reports(m_session.settings(), m_inbox), m_calls(m_session.settings()),
      m_health(m_session.settings())
{
    connect(&m_session, &ModemSession::opened, this, &Modem::onOpened);
    connect(&m_session, &ModemSession::unsolicited, this, &Modem::onUnsolicited);
    connect(&m_session, &ModemSession::resynchronised, &m_sender, &ModemSender::onResynchronised);
    connect(&m_session, &ModemSession::unresponsive, this, [this] {
        loseDevice(ModemSender::Ending::Loss, QStringLiteral("the modem stopped answering"),
                   QStringLiteral("短信猫停止应答"));
    });
    connect(&m_session, &ModemSession::portLost, this, &Modem::onPortLost);
    connect(&m_session, &ModemSession::storageFull, &m_inbox, &ModemInbox::onStorageFull);
    connect(&m_sender, &ModemSender::sendFinished, this, &Modem::sendFinished);
    connect(&m_inbox, &ModemInbox::messageAvailable, this, &Modem::messageAvailable);
    connect(&m_inbox, &ModemInbox::notice, this, &Modem::notice);
    connect(&m_calls, &ModemCalls::ringing, this, &Modem::ringing);
    connect(&m_health, &ModemHealth::healthChanged, this, &Modem::healthChanged);
    connect(&m_health, &ModemHealth::registrationChanged, this, &Modem::registrationChanged);
    connect(&m_reports, &ModemReports::statusReportAvailable, this, &Modem::statusReportAvailable);
}

Modem::~Modem()
{
    close();
}

void Modem::beginOpen(const Settings &settings)
{
    close();
    m_requested = settings;
    m_session.beginOpen(settings);
}

bool Modem::open(const Settings &settings)
{
    if (isOpening() && !m_reopening) {
        // Reached from an event served while the caller's own open waits.
        m_session.refuseSecondOpen();
        return false;
    }
    beginOpen(settings);
    bool ok = false;
    QPointer<Modem> self(this);
    QEventLoop loop;
    connect(this, &Modem::openFinished, &loop, [&ok, &loop](bool opened) {
        ok = opened;
        loop.quit();
    });
    connect(&m_session, &ModemSession::openCancelled, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return self && ok;
}

void Modem::onOpened(bool ok)
{
    const bool reopening = std::exchange(m_reopening, false);
    if (ok)
        attachParts();
    if (!reopening) {
        Q_EMIT openFinished(ok);
        return;
    }
    // A failed reopen leaves the device lost, as it was said to be at the restart.
    if (!ok)
        return;
    QPointer<Modem> self(this);
    Q_EMIT notice(QStringLiteral("短信猫重启后已重新初始化"));
    if (self && isOpen())
        Q_EMIT reopened();
}

void Modem::attachParts()
{
    AtChannel *channel = m_session.channel();
    m_sender.attach(channel);
    m_calls.attach(channel);
    m_health.attach(channel);
    m_reports.attach(channel);
    m_inbox.attach(channel, m_session.storage());
    m_ussd.attach(channel);
    refreshNetworkStatus();
}

void Modem::close()
{
    m_reopening = false;
    endParts(ModemSender::Ending::Close);
}

void Modem::endParts(ModemSender::Ending how)
{
    // Whether a part whose prompt came ever left the port is known only before it closes.
    m_sender.detach(how, m_session.unwrittenBytes() > 0);
    m_reports.attach(nullptr);
    m_session.close();
    m_inbox.detach();
    m_calls.detach();
    m_sender.ended();
    m_health.detach();
    m_ussd.detach();
}

void Modem::refreshNetworkStatus()
{
    if (isOpen())
        m_health.refreshAll();
}

bool Modem::checkup(ModemCheckup::Done done)
{
    AtChannel *c = channel();
    if (!isOpen() || !c)
        return false;
    ModemCheckup::run(*c, m_session.settings().commandMs, std::move(done));
    return true;
}

void Modem::refreshHealth()
{
    if (isOpen())
        m_health.refresh();
}

bool Modem::send(const QString &number, const QString &text)
{
    return isOpen() && m_sender.send(number, text);
}

void Modem::onPortLost(const QString &error)
{
    endParts(ModemSender::Ending::Gone);
    m_session.setError(error, QStringLiteral("串口已断开：%1").arg(error));
    QPointer<Modem> self(this);
    Q_EMIT portLost(error);
    if (self)
        Q_EMIT deviceLost(error);
}

void Modem::loseDevice(ModemSender::Ending how, const QString &error, const QString &reason)
{
    qCDebug(lcModem) << error;
    endParts(how);
    m_session.setError(error, reason);
    Q_EMIT deviceLost(error);
}

void Modem::onUnsolicited(const AtResponse::Line &line, const QByteArray &pdu)
{
    using AtResponse::Urc;
    switch (line.urc) {
    case Urc::NewMessageStored:
        if (const auto at = AtResponse::parseStorageIndex(line.text); at && !isOpening())
            m_inbox.onStored(at->memory, at->index);
        break;
    case Urc::StatusStored:
        if (const auto at = AtResponse::parseStorageIndex(line.text))
            m_reports.onStored(at->memory, at->index);
        break;
    case Urc::NewMessage:
        m_inbox.onDelivered(pdu);
        break;
    case Urc::Ring:
        m_calls.onRing();
        break;
    case Urc::CallerId:
        m_calls.onCallerId(line.text);
        break;
    case Urc::None:
        if (line.kind == AtResponse::Kind::CallEnd)
            m_calls.onCallEnded();
        break;
    case Urc::Vendor:
        onVendorLine(line.text);
        break;
    case Urc::Status:
        m_reports.onRouted(line.text, pdu);
        break;
    }
}

void Modem::onVendorLine(const QByteArray &text)
{
    // Huawei modems end a call with ^CEND instead of NO CARRIER, and say ^SMMEMFULL when
    // the SIM has no room left: then whatever it holds is read (and so emptied).
    if (text.startsWith("^CEND"))
        m_calls.onCallEnded();
    else if (AtResponse::isBootLine(text) && !isOpening())
        onRestarted(text);
    else if (text.startsWith("+CREG:") && !isOpening())
        m_health.onRegistrationReport(text);
    else if (text.startsWith("^SMMEMFULL"))
        m_inbox.onStorageFull(text);
    else if (text.startsWith("+CUSD:"))
        m_ussd.onAnswer(text);
}

void Modem::onRestarted(const QByteArray &bootLine)
{
    if (!isOpen())
        return;
    // Settings of the open are gone with the restart, and a message the modem was given
    // meanwhile was never sent: it is opened again from the start at once.
    const QDateTime now = m_clock.now();
    if (m_restartSeen.isValid() && m_restartSeen.msecsTo(now) < RestartLinesMs) {
        qCDebug(lcModem) << "after the restart:" << bootLine;
        return;
    }
    m_restartSeen = now;
    qCWarning(lcModem).noquote() << m_session.settings().portName << "restarted:" << bootLine;
    QPointer<Modem> self(this);
    loseDevice(ModemSender::Ending::Restart, QStringLiteral("the modem restarted"),
               QStringLiteral("短信猫已重启（%1）").arg(QString::fromLatin1(bootLine)));
    if (!self)
        return;
    const quint64 generation = m_inbox.generation();
    QTimer::singleShot(0, this, [this, generation] { reopenAfterRestart(generation); });
}

void Modem::reopenAfterRestart(quint64 generation)
{
    // Closed or opened by the caller meanwhile: that decides.
    if (generation != m_inbox.generation() || isOpen() || isOpening())
        return;
    m_session.beginOpen(m_requested);
    m_reopening = true;
}
