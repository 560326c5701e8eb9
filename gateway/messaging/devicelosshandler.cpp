#include "devicelosshandler.h"

#include "senddispatch.h"

#include "core/devicepool.h"
#include "core/devicetable.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "modemapi/modemcontrol.h"

DeviceLossHandler::DeviceLossHandler(const Settings &settings, DevicePool &pool, DeviceTable &table,
                                     LogSink &log, SendDispatch &dispatch)
    : m_settings(settings), m_pool(pool), m_table(table), m_log(log), m_dispatch(dispatch)
{ }

void DeviceLossHandler::DeviceLost(int d)
{
    ModemControl *control = m_pool.control(d);
    if (!control)
        return;
    // The job is let go without a write: a stray result for it later must not mark the row,
    // and the row stays at 1 rather than be reported failed when it may have gone out.
    if (QueuedMessage *job = m_dispatch.job(d))
        *job = QueuedMessage();
    m_pool.setState(d, DeviceState::Offline);
    const QString why = control->infoText(ModemControl::InfoLastError);
    m_table.setLink(d, LinkState::Failed);
    m_table.setPortOpen(d, false);
    m_table.setLastFailure(d, why);
    const QString port = m_settings.deviceLabel(d);
    m_log.WriteLog(why.isEmpty() ? port + QStringLiteral("口连接中断")
                                 : port + QStringLiteral("口连接中断：") + why);
}
