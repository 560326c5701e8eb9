#include "messagereceiver.h"

#include "messagestore.h"
#include "senddispatch.h"

#include "core/devicepool.h"
#include "core/devicetable.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "core/statuspanel.h"
#include "modemapi/modemcontrol.h"

MessageReceiver::MessageReceiver(const Settings &settings, DevicePool &pool, DeviceTable &table,
                                 LogSink &log, StatusPanel &panel, MessageStore &store,
                                 const SendDispatch &dispatch)
    : m_settings(settings), m_pool(pool), m_table(table), m_log(log), m_panel(panel),
      m_store(store), m_dispatch(dispatch)
{ }

void MessageReceiver::OnRecvMsg(int d)
{
    ModemControl *control = m_pool.control(d);
    QString sca;
    QString sender;
    QString text;
    QString timeStamp;
    if (control)
        m_store.forgetStored(control->TakeRemovedMsgKeys());
    const short read = control ? control->ReadMsgForVB(sca, sender, text, timeStamp)
                               : short(ModemControl::ReadNothing);
    const QString port = m_settings.DevicePorts.value(d);
    if (read == ModemControl::ReadUndecodable) {
        if (!m_store.quarantinePdu(port, sender, text))
            control->KeepLastMsg();
    } else if (read == ModemControl::ReadMessage && !m_store.isStored(control->LastMsgKey())) {
        m_log.WriteLog(QStringLiteral("Com") + port + QStringLiteral("口成功收到短信-") + sender
                       + QLatin1Char(':') + text);
        m_table.countReceived(d, 1);
        if (!SaveReceivedMessage(sender, text, timeStamp, control->LastMsgKey())) {
            control->KeepLastMsg(); // read and counted again when it is offered again
            m_table.countReceived(d, -1);
        }
    }
    m_panel.showQueueLength(m_dispatch.queueLength());
}

bool MessageReceiver::SaveReceivedMessage(const QString &sender, const QString &text,
                                          const QString &timeStamp, const QString &key)
{
    return m_store.saveReceived(sender, text, timeStamp, m_settings.ForwardMobile, key);
}
