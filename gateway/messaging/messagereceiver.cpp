#include "messagereceiver.h"

#include "messagestore.h"
#include "senddispatch.h"

#include "core/gateway.h"
#include "modemapi/modemcontrol.h"

MessageReceiver::MessageReceiver(Gateway &gateway, MessageStore &store,
                                 const SendDispatch &dispatch)
    : m_gw(gateway), m_store(store), m_dispatch(dispatch)
{ }

void MessageReceiver::OnRecvMsg(int d)
{
    ModemControl *control = m_gw.modems().control(d);
    QString sca;
    QString sender;
    QString text;
    QString timeStamp;
    if (control)
        m_store.forgetStored(control->TakeRemovedMsgKeys());
    const short read = control ? control->ReadMsgForVB(sca, sender, text, timeStamp)
                               : short(ModemControl::ReadNothing);
    if (read == ModemControl::ReadUndecodable) {
        if (!m_store.quarantinePdu(m_gw.settings().DevicePorts.value(d), sender, text))
            control->KeepLastMsg();
    } else if (read == ModemControl::ReadMessage && !m_store.isStored(control->LastMsgKey())) {
        m_gw.WriteLog(QStringLiteral("Com") + m_gw.settings().DevicePorts.value(d)
                      + QStringLiteral("口成功收到短信-") + sender + QLatin1Char(':') + text);
        const QString counted =
                d < m_gw.devices().rowCount() ? m_gw.devices().row(d).received : QString();
        if (d < m_gw.devices().rowCount())
            m_gw.devices().setReceived(d, QString::number(counted.trimmed().toLongLong() + 1));
        if (!SaveReceivedMessage(sender, text, timeStamp, control->LastMsgKey())) {
            control->KeepLastMsg(); // read and counted again when it is offered again
            if (d < m_gw.devices().rowCount())
                m_gw.devices().setReceived(d, counted);
        }
    }
    m_gw.showQueueLength(m_dispatch.queueLength());
}

bool MessageReceiver::SaveReceivedMessage(const QString &sender, const QString &text,
                                          const QString &timeStamp, const QString &key)
{
    return m_store.saveReceived(sender, text, timeStamp, m_gw.settings().ForwardMobile, key);
}
