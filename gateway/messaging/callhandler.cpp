#include "callhandler.h"

#include "core/gateway.h"
#include "modemapi/modemcontrol.h"

CallHandler::CallHandler(Gateway &gateway) : m_gw(gateway) { }

void CallHandler::PhoneCall(int d)
{
    ModemControl *control = m_gw.modems().control(d);
    if (!control)
        return;
    QString text;
    if (!control->GetInfo(ModemControl::InfoRinging, text) || text.trimmed() != QLatin1String("1"))
        return;
    const QString device = QStringLiteral("com") + QString::number(d);
    if (control->PhoneCallGetInCallNumber(text))
        m_gw.WriteLog(device + QStringLiteral("收到来电:") + text);
    control->PauseSMS(1);
    control->PhoneCallHangup();
    m_gw.WriteLog(device + QStringLiteral("来电被挂断"));
    control->ResumeSMS();
}
