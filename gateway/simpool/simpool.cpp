#include "simpool.h"

#include "common/inifile.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "model/devicestatus.h"

SimPool::SimPool(DevicePool &pool, EngineEvents &events, DBHelper &db, LogSink &log,
                 const Clock &clock, OptOutReplies::Queue queue,
                 BalanceWatch::OwnNumber ownNumber, QObject *parent)
    : QObject(parent), m_log(log), m_ussd(pool, log, clock), m_balance(pool, m_ussd, events, log, clock,
                                                           std::move(ownNumber)),
      m_optOuts(db, log, clock), m_replies(events, m_optOuts, log, std::move(queue))
{ }

void SimPool::configure(const QString &configPath, const Settings &settings)
{
    const IniFile ini(configPath);
    const auto logLine = [this](const QString &line) { m_log.WriteLog(line); };
    m_ussd.setTimeoutSeconds(BalanceSettings::ussdTimeoutSeconds(ini));
    QList<BalanceWatch::Device> devices;
    for (int d = 0; d < settings.DeviceCount; ++d) {
        BalanceWatch::Device device;
        device.label = settings.deviceLabel(d);
        device.settings = BalanceSettings::read(ini, device.label, logLine);
        if (const BalanceWatch::Device *old = m_balance.device(d); old && old->label == device.label) {
            // A reload keeps what was read.
            device.balance = old->balance;
            device.balanceAt = old->balanceAt;
            device.low = old->low;
            device.number = old->number;
        }
        devices.append(device);
    }
    m_balance.configure(devices);
    m_optOuts.configure(OptOutSettings::read(ini, logLine));
    m_replies.follow(m_optOuts.enabled());
}

void SimPool::stop()
{
    m_balance.stop();
}

void SimPool::fill(int d, DeviceStatus &status) const
{
    const BalanceWatch::Device *device = m_balance.device(d);
    if (!device)
        return;
    status.balance = device->balance;
    status.balanceAt = device->balanceAt;
    if (status.simNumber.isEmpty())
        status.simNumber = device->number;
}
