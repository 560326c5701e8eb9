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
    if (control && control->ReadMsgForVB(sca, sender, text, timeStamp) == 0) {
        m_log.WriteLog(QStringLiteral("Com") + m_settings.DevicePorts.value(d)
                       + QStringLiteral("口成功收到短信-") + sender + QLatin1Char(':') + text);
        if (d < m_table.rowCount()) {
            const qlonglong count = m_table.row(d).received.trimmed().toLongLong();
            m_table.setReceived(d, QString::number(count + 1));
        }
        SaveReceivedMessage(sender, text, timeStamp);
    }
    m_panel.showQueueLength(m_dispatch.queueLength());
}

void MessageReceiver::SaveReceivedMessage(const QString &sender, const QString &text,
                                          const QString &timeStamp)
{
    m_store.saveReceived(sender, text, timeStamp, m_settings.ForwardMobile);
}
