#include "devicepool.h"

#include "deviceevents.h"

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
        connectControl(d, c);
    }
    return true;
}

QString DevicePool::operatorReason(ModemControl &control)
{
    const QString reason = control.infoText(ModemControl::InfoFailureReason);
    return reason.isEmpty() ? control.infoText(ModemControl::InfoLastError) : reason;
}

void DevicePool::connectControl(int d, ModemControl *c)
{
    // Direct connections: the control waits for the gateway's handler to finish. A send or a
    // loss that a close cut off reports nothing: its outcome is not known.
    const auto on = [this, c](auto signal, auto handle) {
        connect(
                c, signal, this,
                [this, handle] {
                    if (m_events)
                        handle(*m_events);
                },
                Qt::DirectConnection);
    };
    on(&ModemControl::OnSndMsg, [this, d, c](DeviceEvents &e) {
        // ... unless it never reached the modem: then its row can go back to the queue.
        const int result = c->GetIndexOfLastSnd();
        if (!m_closing[d] || result == ModemControl::SendNeverReachedModem)
            e.sendFinished(d, result);
    });
    on(&ModemControl::OnRecvMsg, [d](DeviceEvents &e) { e.messageWaiting(d); });
    on(&ModemControl::PhoneCall, [d](DeviceEvents &e) { e.callRinging(d); });
    on(&ModemControl::DeviceLost, [this, d, c](DeviceEvents &e) {
        if (!m_closing[d])
            e.deviceLost(d, operatorReason(*c));
    });
    on(&ModemControl::Notice,
       [d, c](DeviceEvents &e) { e.notice(d, c->infoText(ModemControl::InfoNotice)); });
    on(&ModemControl::HealthChanged, [d](DeviceEvents &e) { e.healthChanged(d); });
    on(&ModemControl::RegistrationChanged, [d](DeviceEvents &e) { e.healthChanged(d); });
    on(&ModemControl::StatusReport, [d](DeviceEvents &e) { e.statusReportWaiting(d); });
    on(&ModemControl::MessagesRemoved,
       [d, c](DeviceEvents &e) { e.messagesRemoved(d, c->TakeRemovedMsgKeys()); });
    connect(c, &ModemControl::OpenFinished, this,
            [this, d](short result) { Q_EMIT openFinished(d, result); }, Qt::DirectConnection);
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
