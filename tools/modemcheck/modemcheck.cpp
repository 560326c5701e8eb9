#include "modemcheck.h"

#include "checkwords.h"
#include "common/serialportnames.h"
#include "portguard.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

namespace {

constexpr int SettleMs = 10000;
constexpr int HealthEveryMs = 10000;

QString deviceOf(const QString &port)
{
    static const QRegularExpression com(QStringLiteral("^COM(\\d+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const auto m = com.match(port); m.hasMatch())
        return SerialPortNames::resolve(m.captured(1).toInt());
    return port;
}

} // namespace

ModemCheck::ModemCheck(QTextStream &out, QObject *parent) : QObject(parent), m_out(out) { }

void ModemCheck::line(const QString &label, const QString &value)
{
    m_out << label.leftJustified(13) << value << Qt::endl;
}

void ModemCheck::interrupt()
{
    m_interrupted = true;
    m_modem.close();
    Q_EMIT interrupted();
}

int ModemCheck::run(const Options &options)
{
    const QString device = deviceOf(options.port);
    line(QStringLiteral("port"),
         options.port == device ? device : QStringLiteral("%1 (%2)").arg(device, options.port));
    const bool opened = open(options, device);
    if (m_interrupted)
        return InterruptedExit;
    if (!opened)
        return 1;
    waitUntilIdle(SettleMs);
    if (m_interrupted)
        return InterruptedExit;
    printIdentity();
    const QString problem = problemOfNetwork();
    line(QStringLiteral("problem"), problem.isEmpty() ? QStringLiteral("none") : problem);
    int code = problem.isEmpty() ? 0 : 1;
    if (!options.sendTo.isEmpty() && !send(options.sendTo, options.text))
        code = 1;
    if (m_interrupted)
        return InterruptedExit;
    if (options.watch)
        return watch();
    return code;
}

bool ModemCheck::open(const Options &options, const QString &device)
{
    if (device.isEmpty() || !QFileInfo::exists(device)) {
        line(QStringLiteral("problem"), QStringLiteral("no such port"));
        return false;
    }
    if (PortGuard::permissionDenied(device)) {
        line(QStringLiteral("problem"), CheckWords::permissionDenied());
        return false;
    }
    for (int rate : options.rates) {
        Modem::Settings s;
        s.portName = device;
        s.baudRate = rate;
        if (m_modem.open(s)) {
            m_rate = rate;
            return true;
        }
        if (m_interrupted)
            return false;
        switch (m_modem.openError()) {
        case Modem::OpenError::NoAnswer:
            continue;
        case Modem::OpenError::Busy:
            line(QStringLiteral("problem"),
                 QStringLiteral("port held by another program (%1)").arg(m_modem.errorString()));
            return false;
        case Modem::OpenError::Refused:
        case Modem::OpenError::NoSuchPort:
        case Modem::OpenError::None:
            break;
        }
        line(QStringLiteral("rate"), QString::number(rate));
        if (m_modem.errorString().startsWith(QLatin1String("SIM")))
            line(QStringLiteral("SIM"), m_modem.errorString());
        line(QStringLiteral("problem"), m_modem.errorString());
        return false;
    }
    line(QStringLiteral("problem"),
         QStringLiteral("no answer at %1").arg(CheckWords::rates(options.rates)));
    return false;
}

void ModemCheck::printIdentity()
{
    const Modem::Identity &id = m_modem.identity();
    const Modem::NetworkStatus &net = m_modem.networkStatus();
    line(QStringLiteral("rate"), QString::number(m_rate));
    line(QStringLiteral("maker"), id.manufacturer);
    line(QStringLiteral("model"), id.model);
    line(QStringLiteral("revision"), id.revision);
    line(QStringLiteral("IMEI"), id.imei);
    line(QStringLiteral("SIM"), QStringLiteral("ready"));
    line(QStringLiteral("IMSI"), id.imsi);
    line(QStringLiteral("signal"),
         QStringLiteral("%1 (%2)").arg(net.signal, CheckWords::signal(net.signal)));
    line(QStringLiteral("registration"),
         QStringLiteral("%1 (%2)").arg(net.registration,
                                       CheckWords::registration(net.registration)));
    line(QStringLiteral("operator"), net.operatorName);
    line(QStringLiteral("storage"), storageInUse());
}

QString ModemCheck::problemOfNetwork() const
{
    const Modem::NetworkStatus &net = m_modem.networkStatus();
    if (!m_modem.isRegistered())
        return CheckWords::registration(net.registration);
    if (CheckWords::signal(net.signal) == QLatin1String("weak"))
        return QStringLiteral("weak signal");
    return {};
}

QString ModemCheck::storageInUse()
{
    // Asked here only for the report; the driver itself does not need the counts.
    QString answer;
    if (!m_modem.channel())
        return answer;
    AtCommand c;
    c.text = "AT+CPMS?";
    c.prefixes = {"+CPMS:"};
    c.timeoutMs = 3000;
    QEventLoop loop;
    connect(this, &ModemCheck::interrupted, &loop, &QEventLoop::quit);
    m_modem.channel()->send(c, [&answer, &loop](const AtResult &r) {
        const QByteArrayList p = r.ok() && !r.lines.isEmpty() ? AtResponse::parameters(r.lines[0])
                                                              : QByteArrayList();
        if (p.size() >= 3)
            answer = QStringLiteral("%1 %2 of %3 used")
                             .arg(QString::fromLatin1(p[0]), QString::fromLatin1(p[1]),
                                  QString::fromLatin1(p[2]));
        loop.quit();
    });
    if (answer.isEmpty() && !m_modem.channel()->isIdle())
        loop.exec();
    return answer;
}

bool ModemCheck::send(const QString &number, const QString &text)
{
    bool ok = false;
    QString error;
    int reference = -1;
    QEventLoop loop;
    connect(&m_modem, &Modem::sendFinished, &loop, [&](bool done, int ref, const QString &why) {
        ok = done;
        reference = ref;
        error = why;
        loop.quit();
    });
    connect(&m_modem, &Modem::deviceLost, &loop, [&](const QString &why) {
        error = why;
        loop.quit();
    });
    connect(this, &ModemCheck::interrupted, &loop, &QEventLoop::quit);
    if (!m_modem.send(number, text)) {
        line(QStringLiteral("send"), QStringLiteral("not taken: the modem is busy or closed"));
        return false;
    }
    loop.exec();
    if (m_interrupted)
        return false;
    line(QStringLiteral("send"),
         ok ? QStringLiteral("sent, reference %1").arg(reference)
            : QStringLiteral("failed: %1").arg(error));
    return ok;
}

int ModemCheck::watch()
{
    m_out << "watching; Ctrl-C ends" << Qt::endl;
    QEventLoop loop;
    connect(&m_modem, &Modem::messageAvailable, &loop, [this] {
        while (m_modem.hasMessage()) {
            const ReceivedMessage m = m_modem.takeMessage();
            line(QStringLiteral("message"),
                 QStringLiteral("from %1 at %2: %3").arg(m.sender, m.timestamp, m.text));
        }
    });
    connect(&m_modem, &Modem::ringing, &loop, [this] {
        const QString caller = m_modem.callerNumber();
        line(QStringLiteral("call"),
             caller.isEmpty() ? QStringLiteral("number withheld")
                              : QStringLiteral("from %1").arg(caller));
    });
    connect(&m_modem, &Modem::healthChanged, &loop, [this] {
        const Modem::NetworkStatus &net = m_modem.networkStatus();
        line(QStringLiteral("health"),
             QStringLiteral("signal %1 (%2), %3, %4")
                     .arg(net.signal, CheckWords::signal(net.signal),
                          CheckWords::registration(net.registration), net.operatorName));
    });
    connect(&m_modem, &Modem::statusReportAvailable, &loop, [this] {
        while (m_modem.hasStatusReport()) {
            const Modem::StatusReport r = m_modem.takeStatusReport();
            line(QStringLiteral("report"),
                 QStringLiteral("reference %1 to %2: status %3 at %4")
                         .arg(r.reference)
                         .arg(r.recipient)
                         .arg(r.status)
                         .arg(r.dischargeTime));
        }
    });
    connect(&m_modem, &Modem::deviceLost, &loop, [this, &loop](const QString &why) {
        line(QStringLiteral("problem"), why);
        loop.quit();
    });
    connect(this, &ModemCheck::interrupted, &loop, &QEventLoop::quit);
    QTimer health;
    connect(&health, &QTimer::timeout, &m_modem, &Modem::refreshHealth);
    health.start(HealthEveryMs);
    loop.exec();
    return m_interrupted ? InterruptedExit : 1;
}

void ModemCheck::waitUntilIdle(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (m_modem.channel() && !m_modem.channel()->isIdle() && !deadline.hasExpired()
           && !m_interrupted) {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
}
