#include "modemsession.h"

#include "portguard.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QSerialPort>
#include <QTimer>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcModem)

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

void ModemSession::refuseSecondOpen()
{
    setError(QStringLiteral("an open of this port is already in progress"),
             QStringLiteral("该串口正在打开中"));
    m_openError = OpenError::Busy;
}

void ModemSession::beginOpen(const ModemSettings &settings)
{
    close();
    m_settings = settings;
    setError({}, {});
    m_openError = OpenError::None;
    m_identity = {};
    m_storage = {};
    m_opening = true;
    const quint64 serial = ++m_openSerial;
    // The caller learns the outcome from its own loop, also when the port is missing.
    QTimer::singleShot(0, this, [this, serial] {
        if (serial == m_openSerial)
            startOpen();
    });
}

void ModemSession::startOpen()
{
    if (!openPort(m_settings)) {
        endOpenLater(false);
        return;
    }
    m_startup = new ModemStartup(
            m_port, m_settings, [this] { return connectChannel(); }, this);
    connect(m_startup, &ModemStartup::finished, this, &ModemSession::onStartupFinished);
    m_startup->start();
}

bool ModemSession::portFailure(OpenError kind, const QString &error, const QString &reason)
{
    qCDebug(lcModem) << "open failed:" << error;
    closePort();
    setError(error, reason);
    m_openError = kind;
    return false;
}

bool ModemSession::openPort(const ModemSettings &settings)
{
    const QString &name = settings.portName;
    if (name.isEmpty())
        return portFailure(OpenError::NoSuchPort, QStringLiteral("no serial port given"),
                           QStringLiteral("未指定串口"));
    const QFileInfo info(name);
    if (!info.exists())
        return portFailure(OpenError::NoSuchPort, QStringLiteral("%1 does not exist").arg(name),
                           QStringLiteral("%1不存在").arg(name));
    // The device itself, not a link to it, so that Qt's lock file names the device.
    const QString device = info.canonicalFilePath();
    if (const QString held = PortGuard::heldElsewhere(device); !held.isEmpty())
        return portFailure(OpenError::Busy, held, QStringLiteral("%1已被其他程序占用").arg(name));

    m_port = new QSerialPort(this);
    m_port->setPortName(device);
    if (!m_port->open(QIODevice::ReadWrite))
        return portFailure(OpenError::Busy,
                           QStringLiteral("%1: %2").arg(name, m_port->errorString()),
                           QStringLiteral("%1无法打开：%2").arg(name, m_port->errorString()));
    if (!PortGuard::lock(int(m_port->handle())))
        return portFailure(OpenError::Busy,
                           QStringLiteral("%1 is locked by another program").arg(name),
                           QStringLiteral("%1已被其他程序锁定").arg(name));
    // A rate the port cannot take would leave it at its old rate, where the modem answers
    // nothing or garbage; say so instead.
    if (!m_port->setBaudRate(settings.baudRate))
        return portFailure(
                OpenError::Refused,
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

AtChannel *ModemSession::connectChannel()
{
    if (!m_port)
        return nullptr;
    m_channel = new AtChannel(m_port, this);
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
    return m_channel;
}

void ModemSession::onStartupFinished(bool ok)
{
    ModemStartup *startup = std::exchange(m_startup, nullptr);
    if (!startup)
        return;
    // One of its own steps is still on the stack.
    startup->deleteLater();
    if (ok) {
        m_settings = startup->settings();
        m_storage = startup->storage();
        m_identity = startup->identity();
    } else {
        // Let go at once, so that the next open of the same port finds it free.
        closePort();
        setError(startup->errorString(), startup->reason());
        m_openError = startup->openError();
    }
    endOpenLater(ok);
}

void ModemSession::endOpenLater(bool ok)
{
    // From the loop, not from inside the answer or port event that ended the open: the owner
    // may close or delete everything in its handler.
    const quint64 serial = m_openSerial;
    QTimer::singleShot(0, this, [this, serial, ok] {
        if (serial != m_openSerial || !m_opening)
            return;
        m_opening = false;
        if (ok && m_channel)
            m_channel->setRecovery(true);
        Q_EMIT opened(ok && m_channel);
    });
}

void ModemSession::close()
{
    const bool wasOpening = m_opening;
    m_opening = false;
    ++m_openSerial;
    if (m_startup) {
        m_startup->cancel();
        std::exchange(m_startup, nullptr)->deleteLater();
    }
    closePort();
    if (wasOpening) {
        setError(QStringLiteral("closed while opening"), QStringLiteral("打开过程中被关闭"));
        m_openError = OpenError::NoAnswer;
        Q_EMIT openCancelled();
    }
}

void ModemSession::closePort()
{
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
        if (m_startup) {
            m_startup->cancel();
            std::exchange(m_startup, nullptr)->deleteLater();
        }
        closePort();
        setError(error, QStringLiteral("串口已断开：%1").arg(error));
        m_openError = OpenError::NoAnswer;
        endOpenLater(false);
        return;
    }
    Q_EMIT portLost(error);
}
