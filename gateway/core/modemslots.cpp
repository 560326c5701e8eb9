#include "modemslots.h"

#include "modemcontrol.h"

ModemSlots::ModemSlots(QObject *parent) : QObject(parent) { }

ModemSlots::~ModemSlots()
{
    for (ModemControl *c : m_controls)
        delete c;
}

bool ModemSlots::create(const Factory &factory, QString *error)
{
    std::array<ModemControl *, Count> made{};
    for (int d = 0; d < Count; ++d) {
        made[d] = factory(error);
        if (!made[d]) {
            for (ModemControl *c : made)
                delete c;
            return false;
        }
    }
    for (int d = 0; d < Count; ++d) {
        ModemControl *c = made[d];
        delete m_controls[d];
        m_controls[d] = c;
        // Direct connections: the control waits for the gateway's handler to finish.
        connect(
                c, &ModemControl::OnRecvMsg, this, [this, d] { Q_EMIT OnRecvMsg(d); },
                Qt::DirectConnection);
        connect(
                c, &ModemControl::OnSndMsg, this, [this, d] { Q_EMIT OnSndMsg(d); },
                Qt::DirectConnection);
        connect(
                c, &ModemControl::PhoneCall, this, [this, d] { Q_EMIT PhoneCall(d); },
                Qt::DirectConnection);
    }
    return true;
}

ModemControl *ModemSlots::control(int d) const
{
    return (d >= 0 && d < Count) ? m_controls[d] : nullptr;
}

QString ModemSlots::DeviceState(int d) const
{
    return (d >= 0 && d < Count) ? m_states[d] : QString();
}

void ModemSlots::setDeviceState(int d, const QString &state)
{
    if (d >= 0 && d < Count)
        m_states[d] = state;
}
