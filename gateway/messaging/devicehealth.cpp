#include "devicehealth.h"

#include "common/clock.h"

#include "core/devicepool.h"
#include "core/devicestates.h"
#include "core/devicetable.h"
#include "core/failurecode.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "modemapi/modemcontrol.h"

namespace {

// The driver tells its figures as it read them: "rssi,ber" and the <stat> digit.
std::optional<int> number(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

DeviceHealth::DeviceHealth(const FlowContext &context) : m_ctx(context) { }

void DeviceHealth::update(int d)
{
    ModemControl *control = m_ctx.pool.control(d);
    if (!control)
        return;
    const QString registration = control->infoText(ModemControl::InfoRegistration);
    const QString signal = control->infoText(ModemControl::InfoSignal);
    const std::optional<int> rssi = number(signal.section(QLatin1Char(','), 0, 0));
    m_ctx.table.setHealth(
            d, rssi, rssi ? number(signal.section(QLatin1Char(','), 1, 1)) : std::nullopt,
            number(registration), control->infoText(ModemControl::InfoOperator), m_ctx.clock.now());
    // Home (1) or roaming (5). A modem that never said is given the benefit of the doubt: only
    // a reported loss holds its messages back.
    const bool registered = registration.isEmpty() || registration == QLatin1String("1")
            || registration == QLatin1String("5");
    if (registered == m_ctx.states.registered(d))
        return;
    // A port being closed (at a stop, a loss) tells nothing of the network any more: a device
    // known to be unregistered is not said to be registered again until its modem says so.
    if (registration.isEmpty())
        return;
    const QString port = m_ctx.settings.deviceLabel(d);
    if (!registered) {
        m_ctx.table.setLastFailure(d, QStringLiteral("未注册到GSM网络"), FailureCode::Unregistered);
        m_ctx.log.WriteLog(port + QStringLiteral("口未注册到GSM网络，暂停发送"));
        m_ctx.states.apply(d, DeviceEvent::Unregistered);
        return;
    }
    m_ctx.log.WriteLog(port + QStringLiteral("口已注册到GSM网络，恢复发送"));
    // The device takes its next row as the state changes.
    m_ctx.states.apply(d, DeviceEvent::Registered);
}
