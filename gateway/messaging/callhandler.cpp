#include "callhandler.h"

#include "core/devicepool.h"
#include "core/logsink.h"
#include "modemapi/modemcontrol.h"

CallHandler::CallHandler(DevicePool &pool, LogSink &log) : m_pool(pool), m_log(log) { }

void CallHandler::PhoneCall(int d)
{
    ModemControl *control = m_pool.control(d);
    if (!control)
        return;
    if (control->infoText(ModemControl::InfoRinging) != QLatin1String("1"))
        return;
    QString text;
    const QString device = QStringLiteral("com") + QString::number(d);
    if (control->PhoneCallGetInCallNumber(text))
        m_log.WriteLog(device + QStringLiteral("收到来电:") + text);
    control->PauseSMS(1);
    control->PhoneCallHangup();
    m_log.WriteLog(device + QStringLiteral("来电被挂断"));
    control->ResumeSMS();
}
