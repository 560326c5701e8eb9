#include "gateway.h"

#include "core/service.h"
#include "messaging/messageflow.h"
#include "messaging/messagequeuer.h"

Gateway::Gateway(QString programDir, const Clock &clock, Prompter &prompter, QObject *parent)
    : QObject(parent), m_clock(clock), m_prompter(prompter), m_log(clock),
      m_config(std::move(programDir), m_log)
{
    m_flow = std::make_unique<MessageFlow>(m_config.programDir(), clock,
                                           MessageFlow::Parts{m_config.settings(), m_pool,
                                                              m_devices, m_log, prompter, m_panel,
                                                              m_sendTimings});
    m_service = std::make_unique<Service>(m_config, m_pool, m_devices, m_log, *m_flow);
    m_queuer = std::make_unique<MessageQueuer>(m_flow->db(), [this] {
        for (int d = 0; ServiceRunning() && d < settings().DeviceCount; ++d) {
            if (m_pool.takesMessages(d))
                return m_flow->pollQueue();
        }
    });
    connect(&m_pool, &DevicePool::OnSndMsg, m_flow.get(), &MessageFlow::OnSndMsg,
            Qt::DirectConnection);
    connect(&m_pool, &DevicePool::OnRecvMsg, m_flow.get(), &MessageFlow::OnRecvMsg,
            Qt::DirectConnection);
    connect(&m_pool, &DevicePool::PhoneCall, m_flow.get(), &MessageFlow::PhoneCall,
            Qt::DirectConnection);
    connect(&m_pool, &DevicePool::DeviceLost, m_flow.get(), &MessageFlow::DeviceLost,
            Qt::DirectConnection);
    connect(&m_pool, &DevicePool::HealthChanged, m_flow.get(), &MessageFlow::HealthChanged,
            Qt::DirectConnection);
    connect(&m_pool, &DevicePool::RegistrationChanged, m_flow.get(), &MessageFlow::HealthChanged,
            Qt::DirectConnection);
    connect(&m_pool, &DevicePool::StatusReport, m_flow.get(), &MessageFlow::StatusReport,
            Qt::DirectConnection);
    connect(m_service.get(), &Service::runningChanged, this, &Gateway::serviceRunningChanged);
    connect(&m_panel, &StatusPanel::changed, this, &Gateway::statusPanelChanged);
}

Gateway::~Gateway() = default;

void Gateway::FormLoad(const std::function<void()> &initMainWindow)
{
    m_flow->resetSendQueue();
    m_log.setFirstLine(QStringLiteral("应用程序开始……"));
    if (initMainWindow)
        initMainWindow();
    LoadSettings();
    RefreshDeviceList();
    m_panel.setText(QStringLiteral("内存剩余短信:0"));
    LoadSettings();
    RefreshDeviceList();
}

void Gateway::LoadSettings()
{
    m_service->LoadSettings();
}

void Gateway::RefreshDeviceList()
{
    m_service->RefreshDeviceList();
}

void Gateway::updateparas()
{
    m_config.writeDevices(m_devices);
}

bool Gateway::ServiceRunning() const
{
    return m_service->running();
}

void Gateway::setServiceRunning(bool running)
{
    m_service->setRunning(running);
}

bool Gateway::mayEditDevices()
{
    if (!ServiceRunning())
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

QueueResult Gateway::queueMessages(const QList<OutgoingMessage> &messages)
{
    if (!ServiceRunning())
        return {{}, QStringLiteral("服务未启动")};
    return m_queuer->queue(messages);
}
