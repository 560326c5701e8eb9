#include "devicepool.h"

#include "common/componentloader.h"
#include "modemapi/modemcontrol.h"

DevicePool::DevicePool(QObject *parent) : QObject(parent) { }

DevicePool::~DevicePool()
{
    for (ModemControl *c : m_controls)
        delete c;
}

bool DevicePool::create(const Factory &factory, QString *error)
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
                c, &ModemControl::OnSndMsg, this,
                [this, d, c] {
                    // A message cut off by the close is let go, unless it never reached the
                    // modem: then its row can go back to the queue.
                    if (!m_closing[d]
                        || c->GetIndexOfLastSnd() == ModemControl::SendNeverReachedModem)
                        Q_EMIT OnSndMsg(d);
                },
                Qt::DirectConnection);
        connect(
                c, &ModemControl::PhoneCall, this, [this, d] { Q_EMIT PhoneCall(d); },
                Qt::DirectConnection);
        connect(
                c, &ModemControl::DeviceLost, this,
                [this, d] {
                    if (!m_closing[d])
                        Q_EMIT DeviceLost(d);
                },
                Qt::DirectConnection);
        connect(
                c, &ModemControl::HealthChanged, this, [this, d] { Q_EMIT HealthChanged(d); },
                Qt::DirectConnection);
        connect(
                c, &ModemControl::RegistrationChanged, this,
                [this, d] { Q_EMIT RegistrationChanged(d); }, Qt::DirectConnection);
        connect(
                c, &ModemControl::StatusReport, this, [this, d] { Q_EMIT StatusReport(d); },
                Qt::DirectConnection);
    }
    return true;
}

bool DevicePool::createRegistered(ComponentLoader &loader, QString *error)
{
    return create(
            [&loader](QString *why) -> ModemControl * {
                QObject *object = loader.create(QString::fromLatin1(ModemControlProgId));
                if (!object) {
                    *why = loader.errorString();
                    return nullptr;
                }
                if (auto *control = qobject_cast<ModemControl *>(object))
                    return control;
                delete object;
                *why = QStringLiteral("组件 %1 不是短信猫控件")
                               .arg(QString::fromLatin1(ModemControlProgId));
                return nullptr;
            },
            error);
}

ModemControl *DevicePool::control(int d) const
{
    return (d >= 0 && d < Count) ? m_controls[d] : nullptr;
}

void DevicePool::close(int d)
{
    ModemControl *c = control(d);
    if (!c)
        return;
    m_closing[d] = true;
    c->CloseComm();
    m_closing[d] = false;
}

DeviceState DevicePool::state(int d) const
{
    return (d >= 0 && d < Count) ? m_states[d] : DeviceState::Offline;
}

void DevicePool::setState(int d, DeviceState state)
{
    if (d >= 0 && d < Count)
        m_states[d] = state;
}

bool DevicePool::registered(int d) const
{
    return d >= 0 && d < Count && !m_unregistered[d];
}

void DevicePool::setRegistered(int d, bool registered)
{
    if (d >= 0 && d < Count)
        m_unregistered[d] = !registered;
}

bool DevicePool::takesMessages(int d) const
{
    return state(d) == DeviceState::Free && registered(d);
}
