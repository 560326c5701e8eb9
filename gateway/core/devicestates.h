#pragma once

#include <QObject>
#include <array>

class DeviceTable;

// Whether a device takes messages: Offline (not connected, or its open has not ended yet),
// Free (connected and idle) or Busy (sending).
enum class DeviceState { Offline, Free, Busy };

// What happens to a device; each moves it from one state to the next.
enum class DeviceEvent {
    Opening,      // its open began (准备连接)
    Opened,       // the modem answered and is ready
    OpenFailed,   // the open ended without a modem
    Restarted,    // found open by a new start: it is free, whatever it was doing
    HandedOver,   // its modem took a message
    Sent,         // the message reached the network
    SendFailed,   // the message failed; the device is opened again before it takes another
    Returned,     // the message never reached the modem and went back to the queue
    Lost,         // the modem stopped answering or its port went away
    Stopped,      // the gateway closed its port
    OutOfService, // the operator took it out of service
    InService,    // ... and put it back
    Registered,   // its modem registered with a network
    Unregistered, // ... and lost it
};

// The one owner of every device's state: the flags that decide whether it takes messages and
// the link its row shows. Everything a device goes through is one call of apply, which keeps
// the two in step; nothing else writes either.
class DeviceStates : public QObject
{
    Q_OBJECT

public:
    static constexpr int Count = 128;

    explicit DeviceStates(DeviceTable &table, QObject *parent = nullptr);

    void apply(int d, DeviceEvent event);

    DeviceState state(int d) const { return valid(d) ? m_device[d].state : DeviceState::Offline; }
    // An open was begun and has not ended.
    bool opening(int d) const { return valid(d) && m_device[d].opening; }
    // Whether device d's modem is registered with a network; one that is not takes no
    // messages, so they wait for it (or another device) instead of failing one by one.
    bool registered(int d) const { return valid(d) && m_device[d].registered; }
    // Whether the operator left device d in service; one taken out stays open but gets no
    // messages until it is put back or the service stops.
    bool inService(int d) const { return valid(d) && m_device[d].inService; }
    // Free, registered and in service: a message handed over now can be sent. Inline, as the
    // sending policy asks it of every device on every pass.
    bool takesMessages(int d) const
    {
        return state(d) == DeviceState::Free && registered(d) && inService(d);
    }
    bool anyBusy(int count) const;

Q_SIGNALS:
    // Device d went through event; its state and row already show it.
    void changed(int d, DeviceEvent event);

private:
    static bool valid(int d) { return d >= 0 && d < Count; }

    struct Device
    {
        DeviceState state = DeviceState::Offline;
        bool opening = false;
        bool registered = true;
        bool inService = true;
    };
    // The open, loss and stop of a device's port; false when the event changes nothing.
    bool applyConnection(int d, Device &device, DeviceEvent event);

    DeviceTable &m_table;
    std::array<Device, Count> m_device{};
};
