#include "messagereceiver.h"

#include "messagestore.h"
#include "senddispatch.h"

#include "common/textcodec.h"
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
    // What a modem decoded is whole UTF-16 from here on: the log, the spool and the tables.
    sender = withoutLoneSurrogates(std::move(sender));
    text = withoutLoneSurrogates(std::move(text));
    if (read == ModemControl::ReadUndecodable) {
        if (!m_store.quarantinePdu(port, sender, text))
            control->KeepLastMsg();
    } else if (read == ModemControl::ReadMessage && !m_store.isStored(control->LastMsgKey())) {
        m_log.WriteLog(QStringLiteral("Com") + port + QStringLiteral("口成功收到短信-") + sender
                       + QLatin1Char(':') + text);
        const bool listed = d < m_table.rowCount();
        const QString counted = listed ? m_table.row(d).received : QString();
        if (listed)
            m_table.setReceived(d, QString::number(counted.trimmed().toLongLong() + 1));
        if (!SaveReceivedMessage(sender, text, timeStamp, control->LastMsgKey())) {
            control->KeepLastMsg(); // read and counted again when it is offered again
            if (listed)
                m_table.setReceived(d, counted);
        }
    }
    m_panel.showQueueLength(m_dispatch.queueLength());
}

bool MessageReceiver::SaveReceivedMessage(const QString &sender, const QString &text,
                                          const QString &timeStamp, const QString &key)
{
    return m_store.saveReceived(sender, text, timeStamp, m_settings.ForwardMobile, key);
}
