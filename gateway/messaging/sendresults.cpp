#include "sendresults.h"

#include "deliveryreports.h"
#include "senddispatch.h"

#include "core/devicepool.h"
#include "core/devicetable.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "modemapi/modemcontrol.h"
#include "sendtimings.h"

SendResults::SendResults(const Settings &settings, DevicePool &pool, DeviceTable &table,
                         LogSink &log, SendTimings &timings, SendDispatch &dispatch,
                         DeliveryReports &reports)
    : m_settings(settings), m_pool(pool), m_table(table), m_log(log), m_timings(timings),
      m_dispatch(dispatch), m_reports(reports)
{ }

void SendResults::OnSndMsg(int d)
{
    const QString port = m_settings.deviceLabel(d);
    ModemControl *control = m_pool.control(d);
    QueuedMessage *job = m_dispatch.job(d);
    if (!control || !job) {
        // Without a job there is no row to write: a result after a restart of the service, or
        // a second result for one message.
        m_log.WriteLog(port + QStringLiteral("口报告发送结果，但没有正在发送的短信，已忽略！"));
        return;
    }
    const bool success = control->GetIndexOfLastSnd() >= 1;
    m_timings.resultFor(d);
    const QString row = job->CellNumber + QLatin1Char(':') + job->SMSContent;
    if (success) {
        m_log.WriteLog(port + QStringLiteral("口成功提交到GSM网络-") + row);
        job->Status = RowStatus::Sent;
        m_table.setLink(d, LinkState::Idle);
        m_table.countSent(d, true);
        m_pool.setState(d, DeviceState::Free);
        m_reports.sent(d, *job);
    } else {
        m_log.WriteLog(port + QStringLiteral("口提交到GSM网络失败-") + row);
        job->Status = RowStatus::Failed;
        m_table.countSent(d, false);
        m_pool.setState(d, DeviceState::Offline);
    }
    const QueuedMessage done = *job;
    *job = QueuedMessage();
    m_dispatch.UpdateSendStatus(done);
    m_dispatch.DispatchToDevice(d);
}
