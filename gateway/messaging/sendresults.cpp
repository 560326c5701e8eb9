#include "sendresults.h"

#include "deliveryreports.h"
#include "senddispatch.h"

#include "common/clock.h"
#include "core/devicepool.h"
#include "core/devicetable.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "engine/engineevents.h"
#include "modemapi/modemcontrol.h"
#include "sendtimings.h"

SendResults::SendResults(const FlowContext &context, SendDispatch &dispatch,
                         DeliveryReports &reports)
    : m_ctx(context), m_dispatch(dispatch), m_reports(reports)
{ }

void SendResults::sendFinished(int d, bool success)
{
    const QString port = m_ctx.settings.deviceLabel(d);
    QueuedMessage *job = m_dispatch.job(d);
    if (!job) {
        // Without a job there is no row to write: a result after a restart of the service, or
        // a second result for one message.
        m_ctx.log.WriteLog(port + QStringLiteral("口报告发送结果，但没有正在发送的短信，已忽略！"));
        return;
    }
    m_ctx.timings.resultFor(d);
    const QString row = job->CellNumber + QLatin1Char(':') + job->SMSContent;
    if (success) {
        m_ctx.log.WriteLog(port + QStringLiteral("口成功提交到GSM网络-") + row);
        job->Status = RowStatus::Sent;
        m_ctx.table.setLink(d, LinkState::Idle);
        m_ctx.table.countSent(d, true);
        m_ctx.pool.setState(d, DeviceState::Free);
        m_reports.sent(d, *job);
    } else {
        m_ctx.log.WriteLog(port + QStringLiteral("口提交到GSM网络失败-") + row);
        job->Status = RowStatus::Failed;
        m_ctx.table.countSent(d, false);
        m_ctx.pool.setState(d, DeviceState::Offline);
    }
    const QueuedMessage done = *job;
    *job = QueuedMessage();
    m_dispatch.UpdateSendStatus(done);
    announce(d, done, success);
    m_dispatch.DispatchToDevice(d);
}

void SendResults::announce(int d, const QueuedMessage &message, bool accepted)
{
    EngineEvents &events = m_ctx.events;
    if (accepted ? !events.followed(&EngineEvents::messageSent)
                 : !events.followed(&EngineEvents::messageFailed))
        return;
    const DeviceRef device{m_ctx.settings.deviceLabel(d), {}};
    const QDateTime at = m_ctx.clock.now();
    if (accepted) {
        Q_EMIT events.messageSent(message.SysNo.toLongLong(), message.CellNumber, device, at);
        return;
    }
    ModemControl *control = m_ctx.pool.control(d);
    const QString why = control ? control->infoText(ModemControl::InfoLastError) : QString();
    Q_EMIT events.messageFailed(message.SysNo.toLongLong(), message.CellNumber, device, why, at);
}
