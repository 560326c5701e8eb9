#include "modemsession.h"

#include "modemerrors.h"
#include "modemtext.h"
#include "portguard.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QSerialPort>
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

ModemSession::ModemSession(QObject *parent) : QObject(parent) { }

ModemSession::~ModemSession()
{
    close();
}

bool ModemSession::isOpen() const
{
    return !m_opening && m_port && m_port->isOpen() && m_channel;
}

qint64 ModemSession::unwrittenBytes() const
{
    return m_port && m_port->isOpen() ? m_port->bytesToWrite() : 0;
}

void ModemSession::setError(const QString &error, const QString &reason)
{
    m_error = error;
    m_reason = reason;
}

bool ModemSession::fail(OpenError kind, const QString &error, const QString &reason)
{
    qCDebug(lcModem) << "open failed:" << error;
    close();
    setError(error, reason);
    m_openError = kind;
    return false;
}

bool ModemSession::failClosed()
{
    return fail(OpenError::NoAnswer, QStringLiteral("closed while opening"),
                QStringLiteral("打开过程中被关闭"));
}

bool ModemSession::open(const ModemSettings &settings)
{
    if (m_opening) {
        // Reached from an event served while this modem's own open waits.
        setError(QStringLiteral("an open of this port is already in progress"),
                 QStringLiteral("该串口正在打开中"));
        m_openError = OpenError::Busy;
        return false;
    }
    close();
    m_settings = settings;
    setError({}, {});
    m_openError = OpenError::None;
    m_identity = {};
    m_opening = true;
    QPointer<ModemSession> self(this);
    if (!openPort(settings) || !self)
        return false;
    drain();
    if (!self || !m_opening)
        return self && failClosed();
    connectChannel();
    if (!probe() || !self)
        return false;
    if (!initialise() || !self)
        return false;
    m_opening = false;
    m_channel->setRecovery(true);
    return true;
}

bool ModemSession::openPort(const ModemSettings &settings)
{
    const QString &name = settings.portName;
    if (name.isEmpty())
        return fail(OpenError::NoSuchPort, QStringLiteral("no serial port given"),
                    QStringLiteral("未指定串口"));
    const QFileInfo info(name);
    if (!info.exists())
        return fail(OpenError::NoSuchPort, QStringLiteral("%1 does not exist").arg(name),
                    QStringLiteral("%1不存在").arg(name));
    // The device itself, not a link to it, so that Qt's lock file names the device.
    const QString device = info.canonicalFilePath();
    if (const QString held = PortGuard::heldElsewhere(device); !held.isEmpty())
        return fail(OpenError::Busy, held, QStringLiteral("%1已被其他程序占用").arg(name));

    m_port = new QSerialPort(this);
    m_port->setPortName(device);
    if (!m_port->open(QIODevice::ReadWrite))
        return fail(OpenError::Busy, QStringLiteral("%1: %2").arg(name, m_port->errorString()),
                    QStringLiteral("%1无法打开：%2").arg(name, m_port->errorString()));
    if (!PortGuard::lock(int(m_port->handle())))
        return fail(OpenError::Busy, QStringLiteral("%1 is locked by another program").arg(name),
                    QStringLiteral("%1已被其他程序锁定").arg(name));
    // A rate the port cannot take would leave it at its old rate, where the modem answers
    // nothing or garbage; say so instead.
    if (!m_port->setBaudRate(settings.baudRate))
        return fail(OpenError::Refused,
                    QStringLiteral("baud rate %1 refused by %2").arg(settings.baudRate).arg(name),
                    QStringLiteral("%1不支持波特率%2").arg(name).arg(settings.baudRate));
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->clear();
    connect(m_port, &QSerialPort::errorOccurred, this, &ModemSession::onPortError);
    return true;
}

void ModemSession::drain()
{
    // The last program on this port (or this gateway before a reload) may have been closed in
    // the middle of AT+CMGS: ESC leaves a text entry it left open (TS 27.005 §3.5.1), and what
    // the modem still says to the old command is read away here, before the first command,
    // so that no answer of the open is one behind.
    m_port->write("\x1b");
    const QDeadlineTimer limit(qMin(m_settings.probeMs, DrainMaxMs));
    do
        waitFor(QuietMs);
    while (m_port && m_opening && !m_port->readAll().isEmpty() && !limit.hasExpired());
}

void ModemSession::connectChannel()
{
    m_channel = new AtChannel(m_port, this);
    // Every probe attempt on a silent port times out; that is no reason to resynchronise.
    m_channel->setRecovery(false);
    m_channel->setResyncTimeout(m_settings.commandMs);
    connect(m_channel, &AtChannel::unsolicited, this, &ModemSession::unsolicited);
    connect(m_channel, &AtChannel::unresponsive, this, [this] {
        if (!m_opening)
            Q_EMIT unresponsive();
    });
    connect(m_channel, &AtChannel::resynchronised, this, &ModemSession::resynchronised);
    connect(m_channel, &AtChannel::cmsError, this, [this](int code) {
        if (code == AtResponse::CmsMemoryFull && !m_opening)
            Q_EMIT storageFull("+CMS ERROR: 322");
    });
}

bool ModemSession::probe()
{
    const QDeadlineTimer probeDeadline(m_settings.probeMs);
    bool answered = false;
    bool escaped = false;
    int attempts = 0;
    while (!answered && !probeDeadline.hasExpired() && m_opening) {
        ++attempts;
        // Repeated: a modem may drop the first characters after a quiet spell or while it
        // still echoes the line noise of a previous program.
        AtCommand at;
        at.text = "AT";
        at.timeoutMs = ProbeAttemptMs;
        const AtResult r = runBlocking(at, probeDeadline);
        answered = r.ok();
        if (!answered && !escaped && r.status == AtResult::Status::Timeout && m_opening) {
            leaveTextEntry();
            escaped = true;
        }
    }
    // A modem that was busy answers every attempt at once when it is free again: the answers
    // to the earlier ones are let go before the first real command.
    if (answered && attempts > 1)
        waitFor(QuietMs);
    if (!m_opening)
        return failClosed();
    if (!answered)
        return fail(OpenError::NoAnswer,
                    QStringLiteral("no modem answers on %1").arg(m_settings.portName),
                    QStringLiteral("%1上没有短信猫应答").arg(m_settings.portName));
    return true;
}

void ModemSession::leaveTextEntry()
{
    // A program that ended in the middle of AT+CMGS leaves the modem collecting message text,
    // where "AT" is just more text. ESC cancels the message; whatever the modem says to that
    // is dropped, so it cannot pass for the answer to the next command.
    m_port->write("\x1b");
    waitFor(EscapeSettleMs);
    if (m_port)
        m_port->readAll();
    if (m_channel)
        m_channel->abortAll();
}

void ModemSession::waitFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

AtResult ModemSession::runBlocking(const AtCommand &cmd, QDeadlineTimer deadline)
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

AtResult ModemSession::run(const QByteArray &text, QByteArrayList prefixes)
{
    AtCommand c;
    c.text = text;
    c.timeoutMs = m_settings.commandMs;
    c.prefixes = std::move(prefixes);
    return runBlocking(c, QDeadlineTimer(m_settings.commandMs));
}

bool ModemSession::required(const QByteArray &text)
{
    const AtResult r = run(text);
    if (!r.ok() && !m_opening)
        failClosed();
    else if (!r.ok())
        fail(OpenError::Refused,
             QStringLiteral("%1 failed: %2").arg(QString::fromLatin1(text), r.errorString()),
             QStringLiteral("短信猫拒绝%1：%2")
                     .arg(QString::fromLatin1(text), ModemText::describe(r)));
    return r.ok();
}

bool ModemSession::initialise()
{
    if (!required("ATE0"))
        return false;
    run("AT+CMEE=1");
    if (!waitForSim())
        return false;
    if (!required("AT+CMGF=0"))
        return false;
    setUpStorage();
    setUpIndications();
    run("AT+CLIP=1");
    // Registration changes come as +CREG: <stat> (TS 27.007 §7.2).
    run("AT+CREG=1");
    readIdentity(QDeadlineTimer(m_settings.commandMs * 6));
    if (!m_opening)
        return failClosed();
    return m_port && m_channel;
}

void ModemSession::setUpStorage()
{
    // Modems that store in their own memory whatever the setting (+CMTI: "ME") leave messages
    // there across a restart; they are listed too when that memory can be selected.
    m_storage = {};
    m_storage.meUsable = run("AT+CPMS=\"ME\"", {"+CPMS:"}).ok();
    // Received messages go to the SIM, where they survive a restart of the gateway.
    if (run("AT+CPMS=\"SM\",\"SM\",\"SM\"", {"+CPMS:"}).ok())
        m_storage.readMemory = m_storage.storageMemory = "SM";
    else if (m_storage.meUsable)
        m_storage.readMemory = "ME";
    // Phase 2+ (service 1) asks for every +CMT to be acknowledged (TS 27.005 §3.2.1).
    m_storage.ackDirect = ModemText::firstAnswer(run("AT+CSMS?", {"+CSMS:"}), "+CSMS:")
                                  .startsWith(QLatin1Char('1'));
}

void ModemSession::setUpIndications()
{
    const int mode = m_settings.indicationMode;
    if (mode < 1 || mode > 3)
        return;
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

bool ModemSession::waitForSim()
{
    const QDeadlineTimer busyUntil(m_settings.simBusyMs);
    for (;;) {
        const AtResult pin = run("AT+CPIN?", {"+CPIN:"});
        if (!m_opening)
            return failClosed();
        const QString state = ModemText::firstAnswer(pin, "+CPIN:");
        const QString why = pin.ok() ? state : pin.errorString();
        switch (ModemErrors::simProblem(pin.ok() ? -1 : pin.errorCode, why)) {
        case ModemErrors::SimProblem::None:
            if (pin.ok() && state == QLatin1String("READY"))
                return true;
            return fail(OpenError::Refused, QStringLiteral("SIM not usable: %1").arg(why),
                        QStringLiteral("SIM卡不可用：%1").arg(why));
        case ModemErrors::SimProblem::PinRequired:
            return fail(OpenError::Refused, QStringLiteral("SIM asks for a PIN"),
                        QStringLiteral("SIM卡需要输入PIN码"));
        case ModemErrors::SimProblem::PukRequired:
            return fail(OpenError::Refused, QStringLiteral("SIM asks for its PUK"),
                        QStringLiteral("SIM卡需要输入PUK码"));
        case ModemErrors::SimProblem::Missing:
            return fail(OpenError::Refused, QStringLiteral("SIM missing"),
                        QStringLiteral("未插入SIM卡"));
        case ModemErrors::SimProblem::Failure:
            return fail(OpenError::Refused, QStringLiteral("SIM failure: %1").arg(why),
                        QStringLiteral("SIM卡故障：%1").arg(why));
        case ModemErrors::SimProblem::Busy:
            if (busyUntil.hasExpired())
                return fail(OpenError::Refused, QStringLiteral("SIM busy after power-on"),
                            QStringLiteral("SIM卡开机后一直忙"));
            waitFor(SimBusyRetryMs);
            if (!m_opening)
                return failClosed();
            break;
        }
    }
}

void ModemSession::readIdentity(QDeadlineTimer deadline)
{
    auto ask = [&](const QByteArray &text, const QByteArray &prefix) -> QString {
        if (deadline.hasExpired())
            return {};
        AtCommand c;
        c.text = text;
        c.timeoutMs = m_settings.commandMs;
        c.prefixes = {prefix};
        c.plainLines = true;
        const AtResult r = runBlocking(c, deadline);
        return r.ok() ? ModemText::firstAnswer(r, prefix) : QString();
    };
    m_identity.manufacturer = ask("AT+CGMI", "+CGMI:");
    m_identity.model = ask("AT+CGMM", "+CGMM:");
    m_identity.revision = ask("AT+CGMR", "+CGMR:");
    m_identity.imei = ask("AT+CGSN", "+CGSN:");
    m_identity.imsi = ask("AT+CIMI", "+CIMI:");
    if (deadline.hasExpired())
        return;
    AtCommand cnum;
    cnum.text = "AT+CNUM";
    cnum.timeoutMs = m_settings.commandMs;
    cnum.prefixes = {"+CNUM:"};
    const AtResult r = runBlocking(cnum, deadline);
    m_identity.ownNumber = r.ok() ? ModemText::ownNumber(r) : QString();
}

void ModemSession::close()
{
    m_opening = false;
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
}

void ModemSession::onPortError()
{
    if (!m_port)
        return;
    const QSerialPort::SerialPortError e = m_port->error();
    if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError
        && e != QSerialPort::WriteError)
        return;
    const QString error = m_port->errorString();
    qCDebug(lcModem) << "port lost:" << error;
    if (m_opening) {
        // An open in progress fails on its own.
        close();
        setError(error, QStringLiteral("串口已断开：%1").arg(error));
        return;
    }
    Q_EMIT portLost(error);
}
