#include "smscontrol.h"

#include "common/componentabi.h"
#include "common/serialportnames.h"
#include "modemerrors.h"
#include "modemprobe.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <utility>

VELMORA_COMPONENT(ModemControlProgId, SmsControl)

SmsControl::SmsControl(QObject *parent) : ModemControl(parent)
{
    connect(&m_modem, &Modem::sendFinished, this,
            [this](bool ok, int reference, const QString &) { onSendFinished(ok, reference); });
    connect(&m_modem, &Modem::messageAvailable, this, &SmsControl::announceMessages);
    connect(&m_modem, &Modem::ringing, this, [this] { Q_EMIT PhoneCall(); });
    connect(&m_modem, &Modem::deviceLost, this, &SmsControl::onDeviceLost);
    connect(&m_modem, &Modem::healthChanged, this, [this] { Q_EMIT HealthChanged(); });
    connect(&m_modem, &Modem::registrationChanged, this, [this] { Q_EMIT RegistrationChanged(); });
    connect(&m_modem, &Modem::statusReportAvailable, this, [this] { Q_EMIT StatusReport(); });
    connect(&m_modem, &Modem::notice, this, [this](const QString &text) {
        m_notice = text;
        Q_EMIT Notice();
    });
    connect(&m_modem, &Modem::openFinished, this, &SmsControl::onOpenFinished);
    // Opened again by itself after a restart: the caller takes the device back at once.
    connect(&m_modem, &Modem::reopened, this, [this] { Q_EMIT OpenFinished(0); });
    connectUssd();
}

SmsControl::~SmsControl()
{
    m_modem.disconnect(this);
    m_modem.close();
}

int SmsControl::CloseComm()
{
    m_openPending = false;
    ++m_openSerial;
    m_modem.close();
    return 0;
}

int SmsControl::SetParam(short nInfoID, QString &pszParam, int nParam)
{
    switch (nInfoID) {
    case ParamPort:
        m_port = nParam;
        break;
    case ParamBaudRate:
        m_baudRate = nParam;
        break;
    case ParamCharacterSet:
        m_characterSet = nParam;
        break;
    case ParamMessageFormat:
        break;
    case ParamNewMessageMode:
        m_indicationMode = nParam;
        break;
    case ParamSendTimeout:
        m_sendPartSeconds = qMax(1, nParam);
        break;
    case ParamOpenTimeout:
        m_openTimeoutMs = qMax(100, nParam);
        break;
    case ParamStatusReport:
        m_statusReports = nParam == 1;
        break;
    case ParamPartsFolder:
        m_partsFolder = pszParam;
        break;
    case ParamKeptRetry:
        m_keptRetrySeconds = qMax(1, nParam);
        break;
    default:
        return 0;
    }
    return 1;
}

short SmsControl::OpenComm()
{
    if (m_modem.isOpening() && !m_modem.isReopening()) {
        // Called again while an open of the caller's is at work; the running one decides.
        return 2;
    }
    m_openPending = false;
    ++m_openSerial;
    m_modem.close();
    Modem::Settings s;
    if (!openSettings(s))
        return 1;
    return openResult(m_modem.open(s));
}

void SmsControl::BeginOpenComm()
{
    m_openPending = true;
    const quint64 serial = ++m_openSerial;
    m_modem.close();
    Modem::Settings s;
    if (openSettings(s)) {
        m_modem.beginOpen(s);
        return;
    }
    QTimer::singleShot(0, this, [this, serial] {
        if (serial != m_openSerial || !std::exchange(m_openPending, false))
            return;
        Q_EMIT OpenFinished(1);
    });
}

void SmsControl::onOpenFinished(bool opened)
{
    // The end of an open that OpenComm waits for is its own result.
    if (!std::exchange(m_openPending, false))
        return;
    Q_EMIT OpenFinished(openResult(opened));
}

bool SmsControl::openSettings(Modem::Settings &s)
{
    m_device = SerialPortNames::resolve(m_port);
    if (m_device.isEmpty() || !QFileInfo::exists(m_device)) {
        m_lastError = QStringLiteral("COM%1 does not exist").arg(m_port);
        m_lastReason = QStringLiteral("COM%1不存在").arg(m_port);
        return false;
    }
    s.portName = m_device;
    s.baudRate = m_baudRate > 0 ? m_baudRate : 115200;
    s.alwaysUcs2 = m_characterSet == 1;
    s.indicationMode = m_indicationMode;
    s.sendPartMs = m_sendPartSeconds * 1000;
    s.probeMs = m_openTimeoutMs;
    s.commandMs = qMax(1000, m_openTimeoutMs);
    s.statusReports = m_statusReports;
    s.partsFolder = m_partsFolder;
    s.keptRetryMs = m_keptRetrySeconds * 1000;
    return true;
}

short SmsControl::openResult(bool opened)
{
    if (opened) {
        m_lastError.clear();
        m_lastReason.clear();
        return 0;
    }
    m_lastError = m_modem.errorString();
    m_lastReason = m_modem.reason();
    switch (m_modem.openError()) {
    case Modem::OpenError::NoSuchPort:
        return 1;
    case Modem::OpenError::NoAnswer:
        return 3;
    case Modem::OpenError::Refused:
        return 4;
    case Modem::OpenError::None:
    case Modem::OpenError::Busy:
        break;
    }
    return 2;
}

bool SmsControl::GetInfo(short nInfoID, QString &text)
{
    const Modem::Identity &id = m_modem.identity();
    const Modem::NetworkStatus &net = m_modem.networkStatus();
    switch (nInfoID) {
    case InfoRinging:
        text = m_modem.isRinging() ? QStringLiteral("1") : QStringLiteral("0");
        return true;
    case InfoDevice:
        text = m_device;
        return !text.isEmpty();
    case InfoLastError:
        text = m_lastError;
        return true;
    default:
        if (getReason(nInfoID, text) || getUssdInfo(nInfoID, text))
            return true;
        break;
    }
    if (!m_modem.isOpen())
        return false;
    switch (nInfoID) {
    case InfoManufacturer:
        text = id.manufacturer;
        break;
    case InfoModel:
        text = id.model;
        break;
    case InfoRevision:
        text = id.revision;
        break;
    case InfoImei:
        text = id.imei;
        break;
    case InfoImsi:
        text = id.imsi;
        break;
    case InfoOwnNumber:
        text = id.ownNumber;
        break;
    case InfoSignal:
        text = net.signal;
        break;
    case InfoRegistration:
        text = net.registration;
        break;
    case InfoOperator:
        text = net.operatorName;
        break;
    default:
        return false;
    }
    return true;
}

bool SmsControl::getReason(short nInfoID, QString &text) const
{
    switch (nInfoID) {
    case InfoFailureReason:
        text = m_lastReason;
        return true;
    case InfoSendFailure:
        text = m_sendFailure;
        return true;
    case InfoNotice:
        text = m_notice;
        return true;
    case InfoSendRefusal:
        text = m_sendRefusal;
        return true;
    case InfoCheckReport:
        text = m_checkReport;
        return true;
    case InfoSendRefusedWhole:
        text = m_sendRefusedWhole ? QStringLiteral("1") : QStringLiteral("0");
        return true;
    default:
        return false;
    }
}

int SmsControl::SendMSG(const QString &number, const QString &text)
{
    return m_modem.send(number, text) ? 1 : 0;
}

void SmsControl::onSendFinished(bool ok, int reference)
{
    // The reference is 0..255; one more keeps a success at 1 or more.
    m_lastSend = ok ? reference + 1 : m_modem.lastNeverReachedModem() ? SendNeverReachedModem : -1;
    m_sendFailure = ok ? QString() : m_modem.lastSendFailure();
    // The driver retried a transient refusal already; one that failed again may pass a moment
    // later on the same SIM, so only the others say the message is certainly refused.
    const int code = ok ? -1 : ModemErrors::cmsErrorOf(m_sendFailure);
    m_sendRefusal =
            code >= 0 && !ModemErrors::isTransient(code) ? QString::number(code) : QString();
    // The driver keeps the reference of the last part the network accepted; none means no
    // part of the refused message went out.
    m_sendRefusedWhole = !m_sendRefusal.isEmpty() && m_modem.lastReference() < 0;
    Q_EMIT OnSndMsg();
}

int SmsControl::GetIndexOfLastSnd()
{
    return m_lastSend;
}

int SmsControl::GetReferenceOfLastSnd()
{
    return m_modem.lastReference();
}

void SmsControl::onDeviceLost(const QString &error)
{
    m_lastError = error;
    m_lastReason = m_modem.reason();
    Q_EMIT DeviceLost();
}

void SmsControl::RefreshHealth()
{
    m_modem.refreshHealth();
}

bool SmsControl::Check()
{
    return m_modem.checkup([this](const QStringList &report) {
        m_checkReport = report.join(QLatin1Char('\n'));
        Q_EMIT CheckFinished();
    });
}

bool SmsControl::ReadStatusReport(int &reference, QString &recipient, int &status,
                                  QString &dischargeTime)
{
    if (!m_modem.hasStatusReport())
        return false;
    const Modem::StatusReport r = m_modem.takeStatusReport();
    reference = r.reference;
    recipient = r.recipient;
    status = r.status;
    dischargeTime = r.dischargeTime;
    return true;
}

void SmsControl::announceMessages()
{
    // A handler that lets the event loop run may see the next arrival here; the loop below
    // announces it when the handler returns.
    if (m_announcing)
        return;
    m_announcing = true;
    QPointer<SmsControl> self(this);
    while (m_modem.hasMessage()) {
        m_lastTaken = false;
        Q_EMIT OnRecvMsg();
        if (!self)
            return;
        if (!m_lastTaken)
            break; // nobody read it: it waits for the next announcement
        settleLast();
    }
    m_announcing = false;
}

void SmsControl::settleLast()
{
    if (!m_last)
        return;
    const ReceivedMessage m = *std::exchange(m_last, std::nullopt);
    const bool keep = std::exchange(m_keepLast, false);
    // Closed meanwhile: it is read again from where it waits after the next open, and its
    // storage slots may hold other messages by then.
    if (m_lastGeneration != m_modem.openGeneration())
        return;
    if (keep) {
        m_modem.keep(m);
        return;
    }
    const QString key = m_lastKey;
    QPointer<SmsControl> self(this);
    m_modem.release(m, [self, key] {
        if (!self || key.isEmpty())
            return;
        self->m_removedKeys.append(key);
        Q_EMIT self->MessagesRemoved();
    });
}

QString SmsControl::keyOf(const ReceivedMessage &m) const
{
    // Parts kept on disk are named by their PDUs alone: which copies of a part joined the set
    // may differ after a restart.
    QByteArrayList pdus;
    for (const QByteArray &pdu : m.pdus)
        pdus.append(pdu.toUpper());
    std::sort(pdus.begin(), pdus.end());
    pdus.erase(std::unique(pdus.begin(), pdus.end()), pdus.end());
    QList<int> places = m.storageIndexes;
    std::sort(places.begin(), places.end());
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(m_modem.identity().imsi.toLatin1() + '\n');
    for (const QByteArray &pdu : std::as_const(pdus))
        hash.addData(pdu + '\n');
    for (int slot : std::as_const(places))
        hash.addData(QByteArray::number(slot) + ',');
    return QString::fromLatin1(hash.result().toHex());
}

short SmsControl::ReadMsgForVB(QString &sca, QString &sender, QString &text, QString &timestamp)
{
    // A message read outside an announcement whose predecessor was not settled yet.
    settleLast();
    if (!m_modem.hasMessage())
        return ReadNothing;
    const ReceivedMessage m = m_modem.takeMessage();
    m_last = m;
    m_lastKey = keyOf(m);
    m_lastGeneration = m_modem.openGeneration();
    m_keepLast = false;
    m_lastTaken = true;
    if (!m_announcing) {
        // Read outside an announcement: the caller holds it once the loop comes round.
        QTimer::singleShot(0, this, [this] { settleLast(); });
    }
    if (m.undecodable) {
        const int slot = m.storageIndexes.value(0, -1);
        sca.clear();
        sender = slot < 0
                ? QStringLiteral("+CMT")
                : QStringLiteral("%1 %2")
                          .arg(slot & Modem::MemoryMe ? QStringLiteral("ME") : QStringLiteral("SM"))
                          .arg(slot & (Modem::MemoryMe - 1));
        text = QString::fromLatin1(m.pdus.value(0));
        timestamp.clear();
        return ReadUndecodable;
    }
    sca = m.serviceCentre;
    sender = m.sender;
    text = m.text;
    timestamp = m.timestamp;
    return ReadMessage;
}

void SmsControl::KeepLastMsg()
{
    if (m_last)
        m_keepLast = true;
}

QString SmsControl::LastMsgKey()
{
    return m_last ? m_lastKey : QString();
}

QStringList SmsControl::TakeRemovedMsgKeys()
{
    return std::exchange(m_removedKeys, {});
}

bool SmsControl::PhoneCallGetInCallNumber(QString &number)
{
    const QString caller = m_modem.callerNumber();
    if (caller.isEmpty())
        return false;
    number = caller;
    return true;
}

int SmsControl::PauseSMS(int n)
{
    m_modem.setSendingPaused(n != 0);
    return 0;
}

int SmsControl::PhoneCallHangup()
{
    m_modem.hangUp();
    return 0;
}

int SmsControl::ResumeSMS()
{
    m_modem.setSendingPaused(false);
    return 0;
}

QString SmsControl::AtuoTestGSMModem(short first, short last)
{
    QString answer;
    for (int port = first; port < last; ++port) {
        const QString device = SerialPortNames::resolve(port);
        if (device.isEmpty())
            continue;
        if (const int rate = ModemProbe::findRate(device); rate > 0)
            answer += QStringLiteral("%1,%2;").arg(port).arg(rate);
    }
    return answer;
}
