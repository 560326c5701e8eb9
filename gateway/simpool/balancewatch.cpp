#include "balancewatch.h"

#include "ussdrequests.h"

#include "common/clock.h"
#include "core/logsink.h"
#include "model/engineevents.h"

#include <QPointer>

namespace {

// The first reading of a device comes within this long of its coming up.
constexpr qint64 FirstWithinMs = 60000;
// Devices whose first readings share that minute: each takes its own slot of it.
constexpr int Slots = 12;

} // namespace

BalanceWatch::BalanceWatch(DevicePool &pool, UssdRequests &ussd, EngineEvents &events,
                           LogSink &log, const Clock &clock, OwnNumber ownNumber, QObject *parent)
    : QObject(parent), m_pool(pool), m_ussd(ussd), m_events(events), m_log(log), m_clock(clock),
      m_ownNumber(std::move(ownNumber))
{
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &BalanceWatch::tick);
}

void BalanceWatch::configure(QList<Device> devices)
{
    ++m_generation;
    m_devices = std::move(devices);
    const bool any = std::any_of(m_devices.cbegin(), m_devices.cend(), [](const Device &d) {
        return d.settings.readsBalance() || d.settings.readsNumber();
    });
    if (any)
        m_timer.start();
    else
        m_timer.stop();
}

void BalanceWatch::stop()
{
    ++m_generation;
    m_timer.stop();
    for (Device &d : m_devices)
        d.upSince = {};
}

const BalanceWatch::Device *BalanceWatch::device(int d) const
{
    return d >= 0 && d < m_devices.size() ? &m_devices.at(d) : nullptr;
}

bool BalanceWatch::stopped(int d) const
{
    const Device *dev = device(d);
    return dev && dev->settings.stopBelowLow && dev->low;
}

qint64 BalanceWatch::everyMs(const Device &device) const
{
    return qint64(device.settings.everyHours * 3600.0 * 1000.0);
}

void BalanceWatch::tick()
{
    const QDateTime now = m_clock.now();
    for (int d = 0; d < m_devices.size(); ++d) {
        Device &dev = m_devices[d];
        if (!dev.settings.readsBalance() && !dev.settings.readsNumber())
            continue;
        if (m_pool.state(d) == DeviceState::Offline) {
            dev.upSince = {};
            continue;
        }
        if (!dev.upSince.isValid()) {
            dev.upSince = now;
            dev.numberTried = false;
            dev.nextAt = now.addMSecs((d % Slots) * (FirstWithinMs - TickMs) / Slots);
        }
        if (now < dev.nextAt || m_pool.state(d) != DeviceState::Free || m_ussd.busy(d))
            continue;
        if (dev.settings.readsNumber() && !dev.numberTried && dev.number.isEmpty()
            && (!m_ownNumber || m_ownNumber(d).isEmpty())) {
            ask(d, dev.settings.numberCode, true);
        } else if (dev.settings.readsBalance()) {
            ask(d, dev.settings.code, false);
        } else {
            dev.nextAt = now.addMSecs(everyMs(dev));
        }
    }
}

void BalanceWatch::ask(int d, const QString &code, bool forNumber)
{
    Device &dev = m_devices[d];
    // Not asked again until this one ended (or failed) and was rescheduled.
    dev.nextAt = m_clock.now().addMSecs(RetryMs);
    if (forNumber)
        dev.numberTried = true;
    QPointer<BalanceWatch> self(this);
    const quint64 generation = m_generation;
    const UssdResult r = m_ussd.ask(d, QString(), dev.label, code, 0,
                                    [self, d, forNumber, generation](const UssdResult &result) {
                                        if (!self || self->m_generation != generation)
                                            return;
                                        if (forNumber)
                                            self->onNumber(d, result);
                                        else
                                            self->onBalance(d, result);
                                    });
    if (r.status == UssdResult::Status::Failed && r.error == QLatin1String("busy"))
        dev.nextAt = m_clock.now().addMSecs(TickMs);
}

void BalanceWatch::onNumber(int d, const UssdResult &r)
{
    Device &dev = m_devices[d];
    dev.nextAt = m_clock.now(); // the balance next, at the next tick
    if (r.status != UssdResult::Status::Answered)
        return;
    const QString number = BalanceSettings::numberIn(dev.settings.numberPattern, r.text);
    if (number.isEmpty()) {
        m_log.WriteLog(QStringLiteral("%1口本机号码应答无法识别：%2").arg(dev.label, r.text));
        return;
    }
    dev.number = number;
    m_log.WriteLog(QStringLiteral("%1口本机号码：%2").arg(dev.label, number));
}

void BalanceWatch::onBalance(int d, const UssdResult &r)
{
    Device &dev = m_devices[d];
    const QDateTime now = m_clock.now();
    if (r.status != UssdResult::Status::Answered) {
        dev.nextAt = now.addMSecs(qMin(RetryMs, everyMs(dev)));
        return;
    }
    dev.nextAt = now.addMSecs(everyMs(dev));
    const auto amount = BalanceSettings::amountIn(dev.settings.pattern, r.text);
    if (!amount) {
        m_log.WriteLog(QStringLiteral("%1口余额应答无法识别：%2").arg(dev.label, r.text));
        return;
    }
    dev.balance = amount;
    dev.balanceAt = now;
    m_log.WriteLog(QStringLiteral("%1口余额：%2").arg(dev.label, QString::number(*amount, 'f', 2)));
    const auto low = dev.settings.low;
    if (!low)
        return;
    if (*amount >= *low) {
        dev.low = false;
        return;
    }
    if (dev.low)
        return;
    dev.low = true;
    m_log.WriteLog(QStringLiteral("%1口余额%2低于下限%3%4")
                           .arg(dev.label, QString::number(*amount, 'f', 2),
                                QString::number(*low, 'f', 2),
                                dev.settings.stopBelowLow ? QStringLiteral("，暂停分配短信")
                                                          : QString()));
    const QString simNumber = !dev.number.isEmpty() ? dev.number
            : m_ownNumber                           ? m_ownNumber(d)
                                                    : QString();
    Q_EMIT m_events.balanceLow({dev.label, simNumber}, *amount, *low, now);
}
