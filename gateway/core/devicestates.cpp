#include "devicestates.h"

#include "devicetable.h"

DeviceStates::DeviceStates(DeviceTable &table, QObject *parent) : QObject(parent), m_table(table)
{ }

bool DeviceStates::anyBusy(int count) const
{
    for (int d = 0; d < count && d < Count; ++d) {
        if (m_device[d].state == DeviceState::Busy)
            return true;
    }
    return false;
}

void DeviceStates::apply(int d, DeviceEvent event)
{
    if (!valid(d))
        return;
    Device &device = m_device[d];
    switch (event) {
    case DeviceEvent::Opening:
    case DeviceEvent::Opened:
    case DeviceEvent::OpenFailed:
    case DeviceEvent::Restarted:
    case DeviceEvent::Lost:
    case DeviceEvent::Stopped:
        if (!applyConnection(d, device, event))
            return;
        break;
    case DeviceEvent::HandedOver:
        device.state = DeviceState::Busy;
        m_table.setLink(d, LinkState::Sending);
        break;
    case DeviceEvent::Sent:
    case DeviceEvent::Returned:
        device.state = DeviceState::Free;
        m_table.setLink(d, LinkState::Idle);
        break;
    case DeviceEvent::SendFailed:
        // The row keeps the link it had until the open that follows shows 准备连接.
        device.state = DeviceState::Offline;
        break;
    case DeviceEvent::OutOfService:
    case DeviceEvent::InService:
        device.inService = event == DeviceEvent::InService;
        m_table.setInService(d, device.inService);
        break;
    case DeviceEvent::Registered:
    case DeviceEvent::Unregistered:
        device.registered = event == DeviceEvent::Registered;
        break;
    }
    Q_EMIT changed(d, event);
}

bool DeviceStates::applyConnection(int d, Device &device, DeviceEvent event)
{
    switch (event) {
    case DeviceEvent::Opening:
        device.opening = true;
        device.state = DeviceState::Offline;
        m_table.setLink(d, LinkState::Connecting);
        return true;
    case DeviceEvent::Opened:
        device.opening = false;
        device.state = DeviceState::Free;
        m_table.setLink(d, LinkState::Idle);
        m_table.setPortOpen(d, true);
        return true;
    case DeviceEvent::OpenFailed:
        device.opening = false;
        device.state = DeviceState::Offline;
        m_table.setLink(d, LinkState::Failed);
        return true;
    case DeviceEvent::Restarted:
        if (device.state == DeviceState::Offline)
            return false;
        device.state = DeviceState::Free;
        m_table.setLink(d, LinkState::Idle);
        m_table.setPortOpen(d, true);
        m_table.setInService(d, device.inService);
        return true;
    case DeviceEvent::Lost:
        device.opening = false;
        device.state = DeviceState::Offline;
        m_table.setLink(d, LinkState::Failed);
        m_table.setPortOpen(d, false);
        return true;
    case DeviceEvent::Stopped:
        // Out of service lasts while the service runs.
        device = Device{};
        m_table.setLink(d, LinkState::NotConnected);
        m_table.setPortOpen(d, false);
        m_table.setInService(d, true);
        return true;
    default:
        return false;
    }
}
