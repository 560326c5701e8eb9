#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class ComponentLoader;
class DeviceEvents;
class ModemControl;

// Whether a device takes messages: Offline (not connected; the supervision tick reopens it),
// Free (connected and idle) or Busy (sending).
enum class DeviceState { Offline, Free, Busy };

// The 128 modem controls of the gateway, element d driving device d, with each device's state.
// Events of element d go to the device-events handler carrying d and the outcome.
class DevicePool : public QObject
{
    Q_OBJECT

public:
    static constexpr int Count = 128;
    // Makes one control, or returns nullptr with the reason in *error.
    using Factory = std::function<ModemControl *(QString *error)>;

    explicit DevicePool(QObject *parent = nullptr);
    ~DevicePool() override;

    // Creates all elements; false (and nothing held) when any one cannot be made.
    bool create(const Factory &factory, QString *error);
    // Creates all elements from the component registered for the modem control's ProgID.
    bool createRegistered(ComponentLoader &loader, QString *error);
    bool isCreated() const { return m_controls[0] != nullptr; }
    // Where the controls' events go; none are passed on without one.
    void setEvents(DeviceEvents *events) { m_events = events; }

    ModemControl *control(int d) const;
    // Closes device d's port. A send that the close cuts off reports no result: its outcome is
    // unknown, and its row must stay as it is rather than be written as failed.
    void close(int d);
    DeviceState state(int d) const
    {
        return (d >= 0 && d < Count) ? m_states[std::size_t(d)] : DeviceState::Offline;
    }
    void setState(int d, DeviceState state);
    // Whether device d's modem is registered with a network; one that is not takes no
    // messages, so they wait for it (or another device) instead of failing one by one.
    bool registered(int d) const { return d >= 0 && d < Count && !m_unregistered[std::size_t(d)]; }
    void setRegistered(int d, bool registered);
    // Why the control's last open failed or its device was lost, in the operator's language
    // where the control has it.
    static QString operatorReason(ModemControl &control);
    // Whether the operator left device d in service; one taken out stays open but gets no
    // messages until it is put back or the service stops.
    bool inService(int d) const { return d >= 0 && d < Count && !m_outOfService[std::size_t(d)]; }
    void setInService(int d, bool inService);
    // Free, registered and in service: a message handed over now can be sent. Inline, as the
    // sending policy asks it of every device on every pass.
    bool takesMessages(int d) const
    {
        return state(d) == DeviceState::Free && registered(d) && inService(d);
    }

private:
    void connectControl(int d, ModemControl *c);

    DeviceEvents *m_events = nullptr;
    std::array<ModemControl *, Count> m_controls{};
    std::array<DeviceState, Count> m_states{};
    std::array<bool, Count> m_closing{};
    std::array<bool, Count> m_unregistered{};
    std::array<bool, Count> m_outOfService{};
};
