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
    if (control && control->ReadMsgForVB(sca, sender, text, timeStamp) == 0) {
        m_gw.WriteLog(QStringLiteral("Com") + m_gw.settings().DevicePorts.value(d)
                      + QStringLiteral("口成功收到短信-") + sender + QLatin1Char(':') + text);
        if (d < m_gw.devices().rowCount()) {
            const qlonglong count = m_gw.devices().row(d).received.trimmed().toLongLong();
            m_gw.devices().setReceived(d, QString::number(count + 1));
        }
        SaveReceivedMessage(sender, text, timeStamp);
    }
    m_gw.showQueueLength(m_dispatch.queueLength());
}

void MessageReceiver::SaveReceivedMessage(const QString &sender, const QString &text,
                                          const QString &timeStamp)
{
    m_store.saveReceived(sender, text, timeStamp, m_gw.settings().ForwardMobile);
}
