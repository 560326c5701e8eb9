#include "callhandler.h"

#include "core/devicepool.h"
#include "core/logsink.h"
#include "modemapi/modemcontrol.h"

CallHandler::CallHandler(const FlowContext &context) : m_ctx(context) { }

void CallHandler::callRinging(int d)
{
    ModemControl *control = m_ctx.pool.control(d);
    if (!control)
        return;
    if (control->infoText(ModemControl::InfoRinging) != QLatin1String("1"))
        return;
    QString text;
    const QString device = QStringLiteral("com") + QString::number(d);
    if (control->PhoneCallGetInCallNumber(text))
        m_ctx.log.WriteLog(device + QStringLiteral("收到来电:") + text);
    control->PauseSMS(1);
    control->PhoneCallHangup();
    m_ctx.log.WriteLog(device + QStringLiteral("来电被挂断"));
    control->ResumeSMS();
}
