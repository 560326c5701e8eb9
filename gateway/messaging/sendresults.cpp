#include "sendresults.h"

#include "senddispatch.h"

#include "core/gateway.h"
#include "modemapi/modemcontrol.h"

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

SendResults::SendResults(Gateway &gateway, SendDispatch &dispatch)
    : m_gw(gateway), m_dispatch(dispatch)
{ }

void SendResults::OnSndMsg(int d)
{
    const QString port = QStringLiteral("Com") + m_gw.settings().DevicePorts.value(d);
    ModemControl *control = m_gw.modems().control(d);
    if (!control || d >= m_gw.DeviceJobs().size() || m_gw.DeviceJobs().at(d).isEmpty()) {
        // Without a job there is no row to write: a result after a restart of the service, or
        // a second result for one message.
        m_gw.WriteLog(port + QStringLiteral("口报告发送结果，但没有正在发送的短信，已忽略！"));
        return;
    }
    QueuedMessage &job = m_gw.DeviceJobs()[d];
    if (!m_gw.ServiceRunning()) {
        // The stop closed the port under a send: whether the network took it is unknown, so
        // the row stays at 1 rather than reading as failed and being sent again.
        job = QueuedMessage();
        return;
    }
    const bool success = control->GetIndexOfLastSnd() >= 1;
    m_gw.sendTimings().resultFor(d);
    const QString row = job.CellNumber + QLatin1Char(':') + job.SMSContent;
    const QString sent =
            d < m_gw.devices().rowCount() ? m_gw.devices().row(d).sent : QStringLiteral("0/0");
    if (success) {
        m_gw.WriteLog(port + QStringLiteral("口成功提交到GSM网络-") + row);
        job.Status = QStringLiteral("2");
        m_gw.devices().setStatus(d, QStringLiteral("空闲"));
        m_gw.devices().setSent(d, countSent(sent, true));
        m_gw.modems().setDeviceState(d, DevicePool::free());
    } else {
        m_gw.WriteLog(port + QStringLiteral("口提交到GSM网络失败-") + row);
        job.Status = QStringLiteral("-1");
        m_gw.devices().setSent(d, countSent(sent, false));
        m_gw.modems().setDeviceState(d, QString());
    }
    const QueuedMessage done = job;
    job = QueuedMessage();
    m_dispatch.UpdateSendStatus(done);
    m_dispatch.DispatchToDevice(d);
}
