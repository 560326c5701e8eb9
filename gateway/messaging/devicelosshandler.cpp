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
    // The row stays at 1 rather than be reported failed when it may have gone out.
    m_dispatch.deviceLost(d);
    m_pool.setState(d, DeviceState::Offline);
    m_table.setStatus(d, QStringLiteral("连接失败,等候再试"));
    m_table.setImage(d, DeviceRow::ImageDisconnected);
    const QString why = control->infoText(ModemControl::InfoLastError);
    const QString port = m_settings.deviceLabel(d);
    m_log.WriteLog(why.isEmpty() ? port + QStringLiteral("口连接中断")
                                 : port + QStringLiteral("口连接中断：") + why);
}
