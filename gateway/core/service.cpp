#include "service.h"

#include "configuration.h"
#include "devicepool.h"
#include "devicetable.h"
#include "failurecode.h"
#include "logsink.h"
#include "messagepath.h"

#include "modemapi/modemcontrol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

Service::Service(Configuration &config, DevicePool &pool, DeviceTable &table, LogSink &log,
                 MessagePath &path)
    : m_config(config), m_pool(pool), m_table(table), m_log(log), m_path(path)
{
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_tmMd.setObjectName(QStringLiteral("tm_md"));
    m_tmMd.setInterval(60000);
    connect(&m_timer1, &QTimer::timeout, this, [this] { m_path.pollQueue(); });
    connect(&m_tmMd, &QTimer::timeout, this, &Service::tm_md_Timer);
    // New rows are read only once the loaded ones are gone; while they last, the news of a
    // change (most often the gateway's own writes) would cost a poll for nothing.
    connect(&m_watcher, &QueueWatcher::queueChanged, this, [this] {
        if (m_timer1.isActive() && m_path.queueLength() == 0)
            m_path.pollQueue();
    });
}

void Service::LoadSettings()
{
    m_config.load();
    m_path.resetDeviceJobs(m_config.settings().listedDevices + 1);
    m_timer1.setInterval(m_config.settings().scanIntervalMs);
}

void Service::RefreshDeviceList()
{
    m_table.RefreshDeviceList(m_config.settings());
}

void Service::setRunning(bool running)
{
    m_running = running;
    Q_EMIT runningChanged(running);
}

void Service::mnuQDFW_Click()
{
    ++m_generation;
    // A poll left running by an earlier start must not outlive a failed open or a ScanDT of 0.
    m_timer1.stop();
    LoadSettings();
    RefreshDeviceList();
    // The jobs are forgotten with the settings; a device still sending when they were would
    // otherwise stay busy for good, since its late result finds no job.
    for (int d = 0; d < DevicePool::Count; ++d) {
        if (m_pool.state(d) == DeviceState::Busy)
            m_pool.setState(d, DeviceState::Free);
    }
    setRunning(true);
    m_log.WriteLog(QStringLiteral("系统服务启动……"));
    const quint64 generation = m_generation;
    const bool connected = m_path.OpenConnection(m_config.settings().ConnectionString);
    // The open lets other events run: a stop among them ends this start.
    if (generation != m_generation)
        return;
    if (connected) {
        startQueuePoll();
        m_log.WriteLog(QStringLiteral("数据库连接成功……"));
        m_path.connectionOpened();
    } else if (m_path.databaseOpen()) {
        // Connected, but the queue was refused (the prompt said why): nothing is sent.
        m_log.WriteLog(QStringLiteral("数据库连接成功，但短信队列不可用，不发送短信……"));
    } else {
        m_log.WriteLog(QStringLiteral("数据库连接失败……"));
    }
    if (m_config.settings().DeviceCount < 1) {
        m_log.WriteLog(QStringLiteral("GSM&GPRS模块未配置……"));
        return;
    }
    tm_md_Timer();
    // A stop during the first round's yields leaves the supervision off.
    if (generation == m_generation)
        m_tmMd.start();
}

void Service::startQueuePoll()
{
    // A timer with interval 0 would fire continuously; a poll period of 0 means "never".
    if (m_timer1.interval() > 0) {
        m_timer1.start();
        if (m_config.settings().watchQueue)
            m_watcher.watch(m_config.settings().ConnectionString);
        else
            m_watcher.stop();
    }
}

bool Service::anyDeviceBusy() const
{
    for (int d = 0; d < m_config.settings().DeviceCount; ++d) {
        if (m_pool.state(d) == DeviceState::Busy)
            return true;
    }
    return false;
}

bool Service::waitForSendsInFlight(quint64 generation)
{
    // The modem's answer usually comes within a second; its real outcome is worth that wait.
    QDeadlineTimer deadline(m_config.settings().stopWaitMs);
    while (anyDeviceBusy() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (generation != m_generation)
            return false;
    }
    return true;
}

void Service::mnuGXFW_Click()
{
    const quint64 generation = ++m_generation;
    setRunning(false);
    m_timer1.stop();
    m_watcher.stop();
    m_tmMd.stop();
    m_path.resetSendQueue();
    // A new start during the wait has taken over the devices.
    if (!waitForSendsInFlight(generation))
        return;
    // A message still in flight keeps its row at 1: whether it reached the network is not
    // known, and an application that resends failed rows would send it twice.
    const QStringList unknown = m_path.rowsInFlight();
    if (!unknown.isEmpty())
        m_log.WriteLog(QStringLiteral("停止时%1条短信的发送结果未知，状态保持为1(SysNo=%2)")
                               .arg(unknown.size())
                               .arg(unknown.join(QLatin1Char(','))));
    for (int d = 0; d < m_config.settings().DeviceCount; ++d) {
        m_pool.close(d);
        m_pool.setState(d, DeviceState::Offline);
        // Out of service lasts while the service runs; the rebuilt list shows every device in.
        m_pool.setInService(d, true);
    }
    RefreshDeviceList();
    m_log.WriteLog(QStringLiteral("系统服务停止……"));
}

void Service::tm_md_Timer()
{
    m_path.supervise();
    refreshHealth();
    if (m_pollWhenDatabaseReturns && m_running && !m_timer1.isActive() && m_path.queueReady())
        startQueuePoll();
    const quint64 generation = m_generation;
    for (short d = 0; d < m_config.settings().DeviceCount; ++d) {
        if (m_pool.state(d) != DeviceState::Offline)
            continue;
        // An open that let a stop run ends the round before the next row shows 准备连接.
        if (generation != m_generation)
            return;
        m_table.setLink(d, LinkState::Connecting);
        QCoreApplication::processEvents();
        // A stop (or exit) or a new start during the yield ends this round: the ports it
        // would open next belong to a service that is no longer running.
        if (generation != m_generation)
            return;
        OpenDevice(d);
    }
}

void Service::refreshHealth()
{
    // Busy modems too: the driver asks between messages, and a modem opened at the start would
    // otherwise never be read again while traffic flows.
    for (int d = 0; d < m_config.settings().DeviceCount; ++d) {
        if (m_pool.state(d) == DeviceState::Offline)
            continue;
        if (ModemControl *control = m_pool.control(d))
            control->RefreshHealth();
    }
}

void Service::reportOpenFailure(short d)
{
    // The driver's reason for the failed open ("SIM卡需要输入PIN码", ...).
    ModemControl &control = *m_pool.control(d);
    const QString why = DevicePool::operatorReason(control);
    m_table.setLastFailure(d, why,
                           FailureCode::ofOpen(control.infoText(ModemControl::InfoLastError)));
    QString &last = m_openFailure[std::size_t(d)];
    if (why.isEmpty() || why == last)
        return;
    last = why;
    m_log.WriteLog(QStringLiteral("Com") + m_config.settings().DevicePorts.value(d).trimmed()
                   + QStringLiteral("口打开失败：") + why);
}

void Service::OpenDevice(short d)
{
    ModemControl *control = m_pool.control(d);
    if (!control)
        return;
    control->CloseComm();
    bool portOk = false;
    bool rateOk = false;
    const int port = m_config.settings().DevicePorts.value(d).trimmed().toInt(&portOk);
    const int rate = m_config.settings().DeviceRates.value(d).trimmed().toInt(&rateOk);
    // A port or rate that is not a number cannot be opened; it shows as a failed attempt.
    if (!portOk || !rateOk) {
        m_table.setLink(d, LinkState::Failed);
        return;
    }
    QString text;
    control->SetParam(ModemControl::ParamPort, text, port);
    control->SetParam(ModemControl::ParamBaudRate, text, rate);
    QString empty;
    control->SetParam(ModemControl::ParamCharacterSet, empty, 0);
    control->SetParam(ModemControl::ParamMessageFormat, empty, 0);
    control->SetParam(ModemControl::ParamNewMessageMode, empty, 2);
    // Parts of long messages wait in the program folder, not on the SIM.
    QString parts = m_config.programDir() + QStringLiteral("/parts/com%1").arg(port);
    control->SetParam(ModemControl::ParamPartsFolder, parts, 0);
    control->SetParam(ModemControl::ParamStatusReport, empty,
                      m_config.settings().StatusReport ? 1 : 0);
    const quint64 generation = m_generation;
    const short opened = control->OpenComm();
    // The open lets other events run; a stop among them has closed the port again.
    if (generation != m_generation)
        return;
    if (opened != 0) {
        m_table.setLink(d, LinkState::Failed);
        reportOpenFailure(d);
        return;
    }
    m_openFailure[std::size_t(d)].clear();
    control->GetInfo(ModemControl::InfoModel, text);
    m_table.setModel(d, text);
    m_table.setIdentity(d, control->infoText(ModemControl::InfoImsi),
                        control->infoText(ModemControl::InfoImei),
                        control->infoText(ModemControl::InfoOwnNumber));
    m_table.setLink(d, LinkState::Idle);
    m_table.setPortOpen(d, true);
    m_pool.setState(d, DeviceState::Free);
    m_path.deviceOpened(d);
}
