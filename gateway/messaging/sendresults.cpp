#include "sendresults.h"

#include "deliveryreports.h"
#include "senddispatch.h"

#include "common/clock.h"
#include "core/devicepool.h"
#include "core/devicestates.h"
#include "core/devicetable.h"
#include "core/failurecode.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "model/engineevents.h"
#include "model/enginehistory.h"
#include "modemapi/cmserror.h"
#include "modemapi/modemcontrol.h"
#include "policy/messageparts.h"
#include "sendtimings.h"

#include <utility>

SendResults::SendResults(const FlowContext &context, SendDispatch &dispatch,
                         DeliveryReports &reports)
    : m_ctx(context), m_dispatch(dispatch), m_reports(reports)
{ }

void SendResults::sendFinished(int d, int result)
{
    const QString port = m_ctx.settings.deviceLabel(d);
    QueuedMessage *job = m_dispatch.job(d);
    if (!job) {
        // Without a job there is no row to write: a result after a restart of the service, or
        // a second result for one message.
        m_ctx.log.WriteLog(port + QStringLiteral("口报告发送结果，但没有正在发送的短信，已忽略！"));
        return;
    }
    if (result == ModemControl::SendNeverReachedModem) {
        returnUnsent(d, *job);
        return;
    }
    const bool success = result >= 1;
    if (!success && cutOff(d)) {
        keepUnknown(d, *job);
        return;
    }
    m_ctx.history.sendResult(d, success, m_ctx.timings.resultFor(d), m_ctx.clock.now());
    const QString row = job->CellNumber + QLatin1Char(':') + job->SMSContent;
    QString why;
    if (success) {
        m_ctx.log.WriteLog(port + QStringLiteral("口成功提交到GSM网络-") + row);
        job->Status = RowStatus::Sent;
        m_ctx.table.countSent(d, true, m_ctx.clock.now());
        m_ctx.states.apply(d, DeviceEvent::Sent);
        m_reports.sent(d, *job);
    } else {
        m_ctx.log.WriteLog(port + QStringLiteral("口提交到GSM网络失败-") + row);
        why = noteFailure(d);
        m_ctx.table.countSent(d, false, m_ctx.clock.now());
        // Opened again before it takes another message, at once rather than at the next tick.
        m_ctx.states.apply(d, DeviceEvent::SendFailed);
        if (tryElsewhere(d, *job)) {
            *job = QueuedMessage();
            m_dispatch.DispatchToDevice(d);
            return;
        }
        job->Status = RowStatus::Failed;
    }
    const QueuedMessage done = *job;
    *job = QueuedMessage();
    m_dispatch.UpdateSendStatus(done);
    if (!success)
        m_dispatch.noteFailure(done, why);
    announce(d, done, success, why);
    m_dispatch.DispatchToDevice(d);
}

QString SendResults::noteFailure(int d)
{
    ModemControl *control = m_ctx.pool.control(d);
    if (!control)
        return {};
    const QString why = control->infoText(ModemControl::InfoSendFailure);
    const QString refusal = control->infoText(ModemControl::InfoSendRefusal);
    // The code's meaning from the gateway's own table: a driver may name the code alone.
    const int cms = FailureCode::cmsCodeOfSend(refusal, why);
    if (!why.isEmpty())
        m_ctx.log.WriteLog(m_ctx.settings.deviceLabel(d) + QStringLiteral("口失败原因：") + why);
    if (!why.isEmpty() || cms >= 0)
        m_ctx.table.setLastFailure(d, cms >= 0 ? CmsError::describe(cms) : why,
                                   FailureCode::ofSend(refusal, why));
    return why;
}

bool SendResults::tryElsewhere(int d, const QueuedMessage &failed)
{
    // Only a refusal leaves the message certainly off the air: a time-out or a lost port may
    // have sent it. A later part refused leaves the first ones on the air, and another modem
    // would send them again; a long message goes elsewhere only when its first part was refused.
    ModemControl *control = m_ctx.pool.control(d);
    const bool refused = control && !control->infoText(ModemControl::InfoSendRefusal).isEmpty()
            && (messageParts(failed.SMSContent) == 1
                || control->infoText(ModemControl::InfoSendRefusedWhole) == QLatin1String("1"));
    if (!m_dispatch.retryElsewhere(d, failed, refused))
        return false;
    m_ctx.log.WriteLog(m_ctx.settings.deviceLabel(d)
                       + QStringLiteral("口拒绝发送，改由其他短信猫重试-") + failed.CellNumber
                       + QLatin1Char(':') + failed.SMSContent);
    return true;
}

void SendResults::returnUnsent(int d, QueuedMessage &job)
{
    // Not at 1 for good: the row waits for the next free device.
    m_ctx.log.WriteLog(m_ctx.settings.deviceLabel(d)
                       + QStringLiteral("口短信未送到短信猫，退回待发-") + job.CellNumber
                       + QLatin1Char(':') + job.SMSContent);
    const QueuedMessage unsent = std::exchange(job, QueuedMessage());
    m_dispatch.returnToQueue(unsent);
    m_ctx.states.apply(d, DeviceEvent::Returned);
}

bool SendResults::cutOff(int d)
{
    ModemControl *control = m_ctx.pool.control(d);
    return control
            && FailureCode::sendCutOff(control->infoText(ModemControl::InfoSendRefusal),
                                       control->infoText(ModemControl::InfoSendFailure));
}

void SendResults::keepUnknown(int d, QueuedMessage &job)
{
    // The port closed after the text reached the modem: the network may have taken it, and an
    // application that resends failed rows would send it twice. It stays at 1, named, as a
    // stop leaves the sends it cuts off.
    const QueuedMessage unknown = std::exchange(job, QueuedMessage());
    m_ctx.log.WriteLog(m_ctx.settings.deviceLabel(d)
                       + QStringLiteral("口串口已关闭，1条短信的发送结果未知，状态保持为1(SysNo=%1)")
                                 .arg(unknown.SysNo));
    m_ctx.states.apply(d, DeviceEvent::SendFailed);
}

void SendResults::announce(int d, const QueuedMessage &message, bool accepted, const QString &why)
{
    EngineEvents &events = m_ctx.events;
    if (accepted ? !events.followed(&EngineEvents::messageSent)
                 : !events.followed(&EngineEvents::messageFailed))
        return;
    const DeviceRef device{m_ctx.settings.deviceLabel(d), m_ctx.table.simNumberOf(d)};
    const QDateTime at = m_ctx.clock.now();
    if (accepted) {
        Q_EMIT events.messageSent(message.SysNo.toLongLong(), message.CellNumber, device, at);
        return;
    }
    Q_EMIT events.messageFailed(message.SysNo.toLongLong(), message.CellNumber, device, why, at);
}
