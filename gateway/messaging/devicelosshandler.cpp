#include "devicelosshandler.h"

#include "senddispatch.h"

#include "core/devicepool.h"
#include "core/devicestates.h"
#include "core/devicetable.h"
#include "core/failurecode.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "modemapi/modemcontrol.h"

DeviceLossHandler::DeviceLossHandler(const FlowContext &context, SendDispatch &dispatch)
    : m_ctx(context), m_dispatch(dispatch)
{ }

void DeviceLossHandler::deviceLost(int d, const QString &why)
{
    if (!m_ctx.pool.control(d))
        return;
    // The row stays at 1 rather than be reported failed when it may have gone out.
    m_dispatch.deviceLost(d);
    m_ctx.table.setLastFailure(d, why, FailureCode::Lost);
    const QString port = m_ctx.settings.deviceLabel(d);
    m_ctx.log.WriteLog(why.isEmpty() ? port + QStringLiteral("口连接中断")
                                     : port + QStringLiteral("口连接中断：") + why);
    // Last, so a reopen it brings about finds the loss written.
    m_ctx.states.apply(d, DeviceEvent::Lost);
}
