#include "service.h"

#include "gateway.h"
#include "messaging/messageflow.h"
#include "modemapi/modemcontrol.h"

#include <QCoreApplication>

Service::Service(Gateway &gateway) : m_gw(gateway) { }

void Service::mnuQDFW_Click()
{
    m_gw.LoadSettings();
    m_gw.RefreshDeviceList();
    m_gw.setServiceRunning(true);
    m_gw.WriteLog(QStringLiteral("系统服务启动……"));
    if (m_gw.flow().OpenConnection(m_gw.settings().ConnectionString)) {
        // A timer with interval 0 would fire continuously; a poll period of 0 means "never".
        if (m_gw.Timer1().interval() > 0)
            m_gw.Timer1().start();
        m_gw.WriteLog(QStringLiteral("数据库连接成功……"));
    } else {
        m_gw.WriteLog(QStringLiteral("数据库连接失败……"));
    }
    if (m_gw.settings().DeviceCount < 1) {
        m_gw.WriteLog(QStringLiteral("GSM&GPRS模块未配置……"));
        return;
    }
    tm_md_Timer();
    m_gw.tm_md().start();
}

void Service::mnuGXFW_Click()
{
    m_gw.setServiceRunning(false);
    m_gw.Timer1().stop();
    m_gw.tm_md().stop();
    m_gw.flow().resetSendQueue();
    for (int d = 0; d < m_gw.settings().DeviceCount; ++d) {
        if (ModemControl *control = m_gw.modems().control(d))
            control->CloseComm();
        m_gw.modems().setDeviceState(d, QString());
    }
    m_gw.RefreshDeviceList();
    m_gw.WriteLog(QStringLiteral("系统服务停止……"));
}

void Service::tm_md_Timer()
{
    m_gw.flow().supervise();
    // The count is read each round: a start command run during a yield may reload it.
    for (short d = 0; d < m_gw.settings().DeviceCount; ++d) {
        if (!m_gw.modems().DeviceState(d).isEmpty())
            continue;
        m_gw.devices().setStatus(d, QStringLiteral("准备连接"));
        QCoreApplication::processEvents();
        OpenDevice(d);
    }
}

void Service::OpenDevice(short d)
{
    ModemControl *control = m_gw.modems().control(d);
    if (!control)
        return;
    control->CloseComm();
    bool portOk = false;
    bool rateOk = false;
    const int port = m_gw.settings().DevicePorts.value(d).trimmed().toInt(&portOk);
    const int rate = m_gw.settings().DeviceRates.value(d).trimmed().toInt(&rateOk);
    // A port or rate that is not a number cannot be opened; it shows as a failed attempt.
    if (!portOk || !rateOk) {
        m_gw.devices().setStatus(d, QStringLiteral("连接失败,等候再试"));
        return;
    }
    QString text;
    control->SetParam(ModemControl::ParamPort, text, port);
    control->SetParam(ModemControl::ParamBaudRate, text, rate);
    QString empty;
    control->SetParam(ModemControl::ParamCharacterSet, empty, 0);
    control->SetParam(ModemControl::ParamMessageFormat, empty, 0);
    control->SetParam(ModemControl::ParamNewMessageMode, empty, 2);
    QString parts = m_gw.programDir() + QStringLiteral("/parts/com%1").arg(port);
    control->SetParam(ModemControl::ParamPartsFolder, parts, 0);
    if (control->OpenComm() != 0) {
        m_gw.devices().setStatus(d, QStringLiteral("连接失败,等候再试"));
        return;
    }
    control->GetInfo(ModemControl::InfoModel, text);
    m_gw.devices().setModel(d, text);
    m_gw.devices().setStatus(d, QStringLiteral("空闲"));
    m_gw.devices().setImage(d, DeviceRow::ImageConnected);
    m_gw.modems().setDeviceState(d, DevicePool::free());
}
