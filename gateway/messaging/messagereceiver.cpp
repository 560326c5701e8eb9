#include "messagereceiver.h"

#include "messagestore.h"
#include "senddispatch.h"

#include "common/clock.h"
#include "common/textcodec.h"
#include "core/devicepool.h"
#include "core/devicetable.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "core/statuspanel.h"
#include "model/engineevents.h"
#include "model/enginehistory.h"
#include "modemapi/modemcontrol.h"

MessageReceiver::MessageReceiver(const FlowContext &context, MessageStore &store,
                                 const SendDispatch &dispatch)
    : m_ctx(context), m_store(store), m_dispatch(dispatch)
{
    // Told as its row is in and before it counts as stored: a kill in between tells it again,
    // with the same row, once the modem offers it again.
    m_store.setReceivedStored([this](const StoredReceived &message) {
        if (!m_ctx.events.followed(&EngineEvents::messageReceived))
            return;
        Q_EMIT m_ctx.events.messageReceived(
                message.sysNo, message.sender, message.text,
                {message.port.isEmpty() ? QString() : QStringLiteral("Com") + message.port,
                 m_ctx.table.simNumberOfPort(message.port)},
                m_ctx.clock.now());
        Q_EMIT m_ctx.events.committing();
    });
}

void MessageReceiver::messagesRemoved(const QStringList &keys)
{
    m_store.forgetStored(keys);
}

void MessageReceiver::messageWaiting(int d)
{
    ModemControl *control = m_ctx.pool.control(d);
    QString sca;
    QString sender;
    QString text;
    QString timeStamp;
    if (control)
        m_store.forgetStored(control->TakeRemovedMsgKeys());
    const short read = control ? control->ReadMsgForVB(sca, sender, text, timeStamp)
                               : short(ModemControl::ReadNothing);
    const QString port = m_ctx.settings.DevicePorts.value(d);
    // What a modem decoded is whole UTF-16 from here on: the log, the spool and the tables.
    sender = withoutLoneSurrogates(std::move(sender));
    text = withoutLoneSurrogates(std::move(text));
    if (read == ModemControl::ReadUndecodable) {
        if (!m_store.quarantinePdu(port, sender, text))
            control->KeepLastMsg();
    } else if (read == ModemControl::ReadMessage && !m_store.isStored(control->LastMsgKey())) {
        m_ctx.log.WriteLog(QStringLiteral("Com") + port + QStringLiteral("口成功收到短信-") + sender
                           + QLatin1Char(':') + text);
        m_ctx.table.countReceived(d, 1);
        if (m_store.saveReceived(sender, text, timeStamp, m_ctx.settings.ForwardMobile,
                                 control->LastMsgKey(), port)) {
            m_ctx.history.received(d, 1, m_ctx.clock.now());
        } else {
            control->KeepLastMsg(); // read and counted again when it is offered again
            m_ctx.table.countReceived(d, -1);
        }
    }
    m_ctx.panel.showQueueLength(m_dispatch.queueLength());
}

bool MessageReceiver::SaveReceivedMessage(const QString &sender, const QString &text,
                                          const QString &timeStamp, const QString &key)
{
    return m_store.saveReceived(sender, text, timeStamp, m_ctx.settings.ForwardMobile, key);
}
