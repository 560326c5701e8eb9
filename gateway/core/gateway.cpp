#include "gateway.h"

#include "common/inifile.h"
#include "common/installlayout.h"
#include "messaging/messageflow.h"
#include "service.h"

Gateway::Gateway(QString programDir, const Clock &clock, Prompter &prompter, QObject *parent)
    : QObject(parent), m_programDir(std::move(programDir)), m_clock(clock), m_prompter(prompter),
      m_log(clock)
{
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_tmMd.setObjectName(QStringLiteral("tm_md"));
    m_tmMd.setInterval(60000);
    m_flow = std::make_unique<MessageFlow>(*this);
    m_service = std::make_unique<Service>(*this);
    connect(&m_timer1, &QTimer::timeout, m_flow.get(), &MessageFlow::Timer1_Timer);
    connect(&m_tmMd, &QTimer::timeout, m_service.get(), &Service::tm_md_Timer);
    connect(&m_modems, &DevicePool::OnSndMsg, m_flow.get(), &MessageFlow::OnSndMsg,
            Qt::DirectConnection);
    connect(&m_modems, &DevicePool::OnRecvMsg, m_flow.get(), &MessageFlow::OnRecvMsg,
            Qt::DirectConnection);
    connect(&m_modems, &DevicePool::PhoneCall, m_flow.get(), &MessageFlow::PhoneCall,
            Qt::DirectConnection);
}

Gateway::~Gateway() = default;

QString Gateway::configPath() const
{
    return InstallLayout::configFile(m_programDir);
}

void Gateway::FormLoad(const std::function<void()> &initMainWindow)
{
    m_flow->resetSendQueue();
    m_log.setFirstLine(QStringLiteral("应用程序开始……"));
    if (initMainWindow)
        initMainWindow();
    LoadSettings();
    RefreshDeviceList();
    setStatusPanel(QStringLiteral("内存剩余短信:0"));
    LoadSettings();
    RefreshDeviceList();
}

void Gateway::LoadSettings()
{
    m_settings = ::LoadSettings(IniFile(configPath()), m_programDir,
                                [this](const QString &line) { WriteLog(line); });
    m_deviceJobs = QList<QueuedMessage>(m_settings.listedDevices + 1);
    m_timer1.setInterval(m_settings.scanIntervalMs);
}

void Gateway::RefreshDeviceList()
{
    m_devices.RefreshDeviceList(m_settings);
}

void Gateway::updateparas()
{
    WriteDeviceList(IniFile(configPath()), m_devices.portsText(), m_devices.ratesText(),
                    [this](const QString &line) { WriteLog(line); });
}

void Gateway::setServiceRunning(bool running)
{
    m_serviceRunning = running;
    Q_EMIT serviceRunningChanged(running);
}

void Gateway::setStatusPanel(const QString &text)
{
    m_statusPanel = text;
    Q_EMIT statusPanelChanged(text);
}

void Gateway::showQueueLength(int length)
{
    setStatusPanel(QStringLiteral("内存剩余短信:") + QString::number(length));
}

bool Gateway::mayEditDevices()
{
    if (!m_serviceRunning)
        return true;
    WriteLog(QStringLiteral("请先停止服务！"));
    return false;
}

void Gateway::mnuSCSB_Click(int selectedRow)
{
    if (!mayEditDevices())
        return;
    if (selectedRow < 0 || selectedRow >= m_devices.rowCount()) {
        WriteLog(QStringLiteral("请选择一个设备"));
        return;
    }
    m_devices.removeDeviceRow(selectedRow);
    updateparas();
}
