#include "sendresults.h"

#include "deliveryreports.h"
#include "senddispatch.h"

#include "core/devicepool.h"
#include "core/devicetable.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "modemapi/modemcontrol.h"
#include "status/sendtimings.h"

#include <utility>

namespace {

// "已发" reads "successes/results".
QString countSent(const QString &text, bool success)
{
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    qlonglong ok = text.left(slash < 0 ? text.size() : slash).trimmed().toLongLong();
    qlonglong all = slash < 0 ? 0 : text.mid(slash + 1).trimmed().toLongLong();
    if (success)
        ++ok;
    ++all;
    return QString::number(ok) + QLatin1Char('/') + QString::number(all);
}

} // namespace

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
    const int result = control->GetIndexOfLastSnd();
    if (result == ModemControl::SendNeverReachedModem) {
        returnUnsent(d, *job);
        return;
    }
    const bool success = result >= 1;
    m_timings.resultFor(d);
    const QString row = job->CellNumber + QLatin1Char(':') + job->SMSContent;
    const QString sent = d < m_table.rowCount() ? m_table.row(d).sent : QStringLiteral("0/0");
    if (success) {
        m_log.WriteLog(port + QStringLiteral("口成功提交到GSM网络-") + row);
        job->Status = RowStatus::Sent;
        m_table.setStatus(d, QStringLiteral("空闲"));
        m_table.setSent(d, countSent(sent, true));
        m_pool.setState(d, DeviceState::Free);
        m_reports.sent(d, *job);
    } else {
        m_log.WriteLog(port + QStringLiteral("口提交到GSM网络失败-") + row);
        if (const QString why = control->infoText(ModemControl::InfoSendFailure); !why.isEmpty())
            m_log.WriteLog(port + QStringLiteral("口失败原因：") + why);
        job->Status = RowStatus::Failed;
        m_table.setSent(d, countSent(sent, false));
        m_pool.setState(d, DeviceState::Offline);
    }
    const QueuedMessage done = *job;
    *job = QueuedMessage();
    m_dispatch.UpdateSendStatus(done);
    m_dispatch.DispatchToDevice(d);
}

void SendResults::returnUnsent(int d, QueuedMessage &job)
{
    // The port closed or the modem restarted before any of the text was written: the row is
    // not at 1 for good but waits for the next free device.
    m_log.WriteLog(m_settings.deviceLabel(d) + QStringLiteral("口短信未送到短信猫，退回待发-")
                   + job.CellNumber + QLatin1Char(':') + job.SMSContent);
    const QueuedMessage unsent = std::exchange(job, QueuedMessage());
    m_pool.setState(d, DeviceState::Free);
    m_dispatch.returnToQueue(unsent);
}
