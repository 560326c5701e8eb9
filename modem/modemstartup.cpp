#include "modemstartup.h"

#include "modemerrors.h"
#include "modemtext.h"

#include <QLoggingCategory>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcModem)

namespace {

constexpr int ProbeAttemptMs = 400;
constexpr int EscapeSettleMs = 100;
// A port closed in the middle of a send may still carry what the modem said to it; the line is
// read until it has been quiet this long, and no longer than DrainMaxMs.
constexpr int QuietMs = 100;
constexpr int DrainMaxMs = 1000;
// A SIM still starting after power-on answers +CME ERROR: 14 for a few seconds.
constexpr int SimBusyRetryMs = 1000;

} // namespace

ModemStartup::ModemStartup(QIODevice *device, const ModemSettings &settings,
                           ChannelFactory openChannel, QObject *parent)
    : QObject(parent), m_device(device), m_openChannel(std::move(openChannel)), m_settings(settings)
{ }

void ModemStartup::start()
{
    if (!m_device)
        return fail(ModemOpenError::NoAnswer, QStringLiteral("closed while opening"),
                    QStringLiteral("打开过程中被关闭"));
    // The last program on this port (or this gateway before a reload) may have been closed in
    // the middle of AT+CMGS: ESC leaves a text entry it left open (TS 27.005 §3.5.1), and what
    // the modem still says to the old command is read away here, before the first command,
    // so that no answer of the open is one behind.
    m_device->write("\x1b");
    m_drainLimit = QDeadlineTimer(qMin(m_settings.probeMs, DrainMaxMs));
    after(QuietMs, [this] { drainStep(); });
}

void ModemStartup::drainStep()
{
    if (!m_device)
        return fail(ModemOpenError::NoAnswer, QStringLiteral("closed while opening"),
                    QStringLiteral("打开过程中被关闭"));
    if (!m_device->readAll().isEmpty() && !m_drainLimit.hasExpired())
        return after(QuietMs, [this] { drainStep(); });
    probe();
}

void ModemStartup::probe()
{
    m_channel = m_openChannel();
    if (!m_channel)
        return fail(ModemOpenError::NoAnswer, QStringLiteral("closed while opening"),
                    QStringLiteral("打开过程中被关闭"));
    // Every probe attempt on a silent port times out; that is no reason to resynchronise. The
    // owner turns it back on once the modem is in use.
    m_channel->setRecovery(false);
    m_probeDeadline = QDeadlineTimer(m_settings.probeMs);
    m_attempts = 0;
    m_escaped = false;
    probeAttempt();
}

void ModemStartup::probeAttempt()
{
    const qint64 left = m_probeDeadline.remainingTime();
    if (left == 0)
        return fail(ModemOpenError::NoAnswer,
                    QStringLiteral("no modem answers on %1").arg(m_settings.portName),
                    QStringLiteral("%1上没有短信猫应答").arg(m_settings.portName));
    ++m_attempts;
    // Repeated: a modem may drop the first characters after a quiet spell or while it still
    // echoes the line noise of a previous program. The last attempt ends with the deadline.
    AtCommand at;
    at.text = "AT";
    at.timeoutMs = int(qBound(qint64(1), left, qint64(ProbeAttemptMs)));
    send(at, [this](const AtResult &r) {
        if (r.ok()) {
            // A modem that was busy answers every attempt at once when it is free again: the
            // answers to the earlier ones are let go before the first real command.
            if (m_attempts > 1)
                return after(QuietMs, [this] { initialise(); });
            return initialise();
        }
        if (r.status == AtResult::Status::Closed)
            return fail(ModemOpenError::NoAnswer, QStringLiteral("closed while opening"),
                        QStringLiteral("打开过程中被关闭"));
        if (r.status == AtResult::Status::Timeout && !m_escaped) {
            m_escaped = true;
            return leaveTextEntry([this] { probeAttempt(); });
        }
        // Answered ERROR, or timed out again: the next attempt follows on this answer, so
        // an attempt is always one round trip, never a spin.
        probeAttempt();
    });
}

void ModemStartup::leaveTextEntry(Next next)
{
    // A program that ended in the middle of AT+CMGS leaves the modem collecting message text,
    // where "AT" is just more text. ESC cancels the message; whatever the modem says to that
    // is dropped, so it cannot pass for the answer to the next command.
    if (m_device)
        m_device->write("\x1b");
    after(EscapeSettleMs, [this, next = std::move(next)] {
        if (m_device)
            m_device->readAll();
        if (m_channel)
            m_channel->abortAll();
        next();
    });
}

void ModemStartup::initialise()
{
    required("ATE0", [this] {
        run("AT+CMEE=1", {}, [this](const AtResult &) {
            m_simBusyUntil = QDeadlineTimer(m_settings.simBusyMs);
            askSim();
        });
    });
}

void ModemStartup::askSim()
{
    run("AT+CPIN?", {"+CPIN:"}, [this](const AtResult &pin) {
        const QString state = ModemText::firstAnswer(pin, "+CPIN:");
        const QString why = pin.ok() ? state : pin.errorString();
        switch (ModemErrors::simProblem(pin.ok() ? -1 : pin.errorCode, why)) {
        case ModemErrors::SimProblem::None:
            if (!pin.ok() || state != QLatin1String("READY"))
                return fail(ModemOpenError::Refused, QStringLiteral("SIM not usable: %1").arg(why),
                            QStringLiteral("SIM卡不可用：%1").arg(why));
            break;
        case ModemErrors::SimProblem::PinRequired:
            return fail(ModemOpenError::Refused, QStringLiteral("SIM asks for a PIN"),
                        QStringLiteral("SIM卡需要输入PIN码"));
        case ModemErrors::SimProblem::PukRequired:
            return fail(ModemOpenError::Refused, QStringLiteral("SIM asks for its PUK"),
                        QStringLiteral("SIM卡需要输入PUK码"));
        case ModemErrors::SimProblem::Missing:
            return fail(ModemOpenError::Refused, QStringLiteral("SIM missing"),
                        QStringLiteral("未插入SIM卡"));
        case ModemErrors::SimProblem::Failure:
            return fail(ModemOpenError::Refused, QStringLiteral("SIM failure: %1").arg(why),
                        QStringLiteral("SIM卡故障：%1").arg(why));
        case ModemErrors::SimProblem::Busy:
            if (m_simBusyUntil.hasExpired())
                return fail(ModemOpenError::Refused, QStringLiteral("SIM busy after power-on"),
                            QStringLiteral("SIM卡开机后一直忙"));
            return after(SimBusyRetryMs, [this] { askSim(); });
        }
        required("AT+CMGF=0", [this] {
            setUpStorage([this] {
                setUpIndications([this] {
                    run("AT+CLIP=1", {}, [this](const AtResult &) {
                        // Registration changes come as +CREG: <stat> (TS 27.007 §7.2).
                        run("AT+CREG=1", {},
                            [this](const AtResult &) { readIdentity([this] { succeed(); }); });
                    });
                });
            });
        });
    });
}

void ModemStartup::setUpStorage(Next next)
{
    // Modems that store in their own memory whatever the setting (+CMTI: "ME") leave messages
    // there across a restart; they are listed too when that memory can be selected.
    m_storage = {};
    run("AT+CPMS=\"ME\"", {"+CPMS:"}, [this, next = std::move(next)](const AtResult &me) {
        m_storage.meUsable = me.ok();
        // Received messages go to the SIM, where they survive a restart of the gateway.
        run("AT+CPMS=\"SM\",\"SM\",\"SM\"", {"+CPMS:"}, [this, next](const AtResult &sm) {
            if (sm.ok())
                m_storage.readMemory = m_storage.storageMemory = "SM";
            else if (m_storage.meUsable)
                m_storage.readMemory = "ME";
            // Phase 2+ (service 1) asks for every +CMT to be acknowledged (TS 27.005 §3.2.1).
            run("AT+CSMS?", {"+CSMS:"}, [this, next](const AtResult &csms) {
                m_storage.ackDirect =
                        ModemText::firstAnswer(csms, "+CSMS:").startsWith(QLatin1Char('1'));
                next();
            });
        });
    });
}

void ModemStartup::setUpIndications(Next next)
{
    const int mode = m_settings.indicationMode;
    if (mode < 1 || mode > 3)
        return next();
    // <mt> 1: store, then +CMTI (TS 27.005 §3.4.1); +CMT would need a timely +CNMA, and a
    // late one makes the network deliver the message again.
    // <ds> 1: delivery reports come as +CDS when they are asked for; modems that only
    // store them (<ds> 2) announce them with +CDSI.
    const QByteArray cnmi = "AT+CNMI=" + QByteArray::number(mode) + ",1";
    QByteArrayList tries;
    if (m_settings.statusReports)
        tries = {cnmi + ",0,1,0", cnmi + ",0,2,0"};
    else
        tries = {cnmi + ",0,0,0"};
    // The bare form last: a modem that knows none of the others may still announce messages.
    tries.append(cnmi);
    tryIndications(tries, std::move(next));
}

void ModemStartup::tryIndications(QByteArrayList tries, Next next)
{
    if (tries.isEmpty()) {
        qCDebug(lcModem) << "no +CNMI; polling storage";
        m_settings.indicationMode = 0;
        return next();
    }
    const QByteArray text = tries.takeFirst();
    run(text, {}, [this, tries, next = std::move(next)](const AtResult &r) {
        if (r.ok())
            return next();
        tryIndications(tries, next);
    });
}

void ModemStartup::readIdentity(Next next)
{
    m_identity = {};
    m_identityDeadline = QDeadlineTimer(qint64(m_settings.commandMs) * 6);
    askIdentity("AT+CGMI", "+CGMI:", &m_identity.manufacturer, [this, next = std::move(next)] {
        askIdentity("AT+CGMM", "+CGMM:", &m_identity.model, [this, next] {
            askIdentity("AT+CGMR", "+CGMR:", &m_identity.revision, [this, next] {
                askIdentity("AT+CGSN", "+CGSN:", &m_identity.imei, [this, next] {
                    askIdentity("AT+CIMI", "+CIMI:", &m_identity.imsi, [this, next] {
                        if (m_identityDeadline.hasExpired())
                            return next();
                        AtCommand cnum;
                        cnum.text = "AT+CNUM";
                        cnum.timeoutMs = int(qBound(qint64(1), m_identityDeadline.remainingTime(),
                                                    qint64(m_settings.commandMs)));
                        cnum.prefixes = {"+CNUM:"};
                        send(cnum, [this, next](const AtResult &r) {
                            m_identity.ownNumber = r.ok() ? ModemText::ownNumber(r) : QString();
                            next();
                        });
                    });
                });
            });
        });
    });
}

void ModemStartup::askIdentity(const QByteArray &text, const QByteArray &prefix, QString *into,
                               Next next)
{
    // All of them together get a bounded time: a modem slow to say who it is still opens.
    if (m_identityDeadline.hasExpired())
        return next();
    AtCommand c;
    c.text = text;
    c.timeoutMs = int(
            qBound(qint64(1), m_identityDeadline.remainingTime(), qint64(m_settings.commandMs)));
    c.prefixes = {prefix};
    c.plainLines = true;
    send(c, [into, prefix, next = std::move(next)](const AtResult &r) {
        *into = r.ok() ? ModemText::firstAnswer(r, prefix) : QString();
        next();
    });
}

void ModemStartup::send(AtCommand command, Answer answer)
{
    if (!m_channel)
        return fail(ModemOpenError::NoAnswer, QStringLiteral("closed while opening"),
                    QStringLiteral("打开过程中被关闭"));
    // The channel outlives this object when the open is given up, and ends what is queued on
    // it as closed: such an answer no longer belongs to anyone.
    QPointer<ModemStartup> self(this);
    m_channel->send(command, [self, answer = std::move(answer)](const AtResult &r) {
        if (self && !self->m_over)
            answer(r);
    });
}

void ModemStartup::run(const QByteArray &text, QByteArrayList prefixes, Answer answer)
{
    AtCommand c;
    c.text = text;
    c.timeoutMs = m_settings.commandMs;
    c.prefixes = std::move(prefixes);
    send(c, std::move(answer));
}

void ModemStartup::required(const QByteArray &text, Next next)
{
    run(text, {}, [this, text, next = std::move(next)](const AtResult &r) {
        if (r.ok())
            return next();
        fail(ModemOpenError::Refused,
             QStringLiteral("%1 failed: %2").arg(QString::fromLatin1(text), r.errorString()),
             QStringLiteral("短信猫拒绝%1：%2")
                     .arg(QString::fromLatin1(text), ModemText::describe(r)));
    });
}

void ModemStartup::after(int ms, Next next)
{
    QTimer::singleShot(ms, this, [this, next = std::move(next)] {
        if (!m_over)
            next();
    });
}

void ModemStartup::fail(ModemOpenError kind, const QString &error, const QString &reason)
{
    if (m_over)
        return;
    qCDebug(lcModem) << "open failed:" << error;
    m_over = true;
    m_openError = kind;
    m_error = error;
    m_reason = reason;
    Q_EMIT finished(false);
}

void ModemStartup::succeed()
{
    if (m_over)
        return;
    m_over = true;
    Q_EMIT finished(true);
}
