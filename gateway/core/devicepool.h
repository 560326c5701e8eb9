#pragma once

#include "devicestates.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class ComponentLoader;
class DeviceEvents;
class ModemControl;

// The 128 modem controls of the gateway, element d driving device d. Events of element d go to
// the device-events handler carrying d and the outcome; the ends of opens come as openFinished.
// What each device's state is, DeviceStates holds; the pool only tells it on.
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
    // Where each device's state is kept; read through the pool by those that only hold it.
    void setStates(const DeviceStates *states) { m_states = states; }
    DeviceState state(int d) const
    {
        return m_states ? m_states->state(d) : DeviceState::Offline;
    }
    bool registered(int d) const { return m_states && m_states->registered(d); }
    bool inService(int d) const { return m_states && m_states->inService(d); }
    // Inline, as the sending policy asks it of every device on every pass.
    bool takesMessages(int d) const { return m_states && m_states->takesMessages(d); }
    // Why the control's last open failed or its device was lost, in the operator's language
    // where the control has it.
    static QString operatorReason(ModemControl &control);

Q_SIGNALS:
    // Device d's open ended (0 = ready), also when its control opened it again by itself.
    void openFinished(int d, short result);

private:
    void connectControl(int d, ModemControl *c);

    DeviceEvents *m_events = nullptr;
    std::array<ModemControl *, Count> m_controls{};
    const DeviceStates *m_states = nullptr;
    std::array<bool, Count> m_closing{};
};
