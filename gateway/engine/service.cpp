#include "service.h"

#include "core/configuration.h"
#include "core/devicepool.h"
#include "core/devicetable.h"
#include "core/failurecode.h"
#include "core/logsink.h"
#include "core/messagepath.h"

#include "modemapi/modemcontrol.h"

Service::Service(Configuration &config, DevicePool &pool, DeviceStates &states, DeviceTable &table,
                 LogSink &log, MessagePath &path)
    : m_config(config), m_pool(pool), m_states(states), m_table(table), m_log(log), m_path(path),
      m_reopen([this](int d) {
          if (m_running && d < m_config.settings().DeviceCount
              && m_states.state(d) == DeviceState::Offline && !m_states.opening(d))
              OpenDevice(short(d));
      })
{
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_tmMd.setObjectName(QStringLiteral("tm_md"));
    m_tmMd.setInterval(60000);
    m_stopDeadline.setSingleShot(true);
    connect(&m_timer1, &QTimer::timeout, this, [this] { m_path.pollQueue(); });
    connect(&m_tmMd, &QTimer::timeout, this, &Service::tm_md_Timer);
    connect(&m_stopDeadline, &QTimer::timeout, this, &Service::finishStop);
    // New rows are read only once the loaded ones are gone; while they last, the news of a
    // change (most often the gateway's own writes) would cost a poll for nothing.
    connect(&m_watcher, &QueueWatcher::queueChanged, this, [this] {
        if (m_timer1.isActive() && m_path.queueLength() == 0)
            m_path.pollQueue();
    });
    connect(&m_pool, &DevicePool::openFinished, this, &Service::openFinished);
    connect(&m_states, &DeviceStates::changed, this, &Service::deviceChanged);
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
    // A start ends the wait of a stop: the sends still in flight are named as the stop names
    // them, and the ports open again below.
    if (stopping())
        finishStop();
    // A poll left running by an earlier start must not outlive a failed open or a ScanDT of 0.
    m_timer1.stop();
    LoadSettings();
    RefreshDeviceList();
    // The jobs are forgotten with the settings; a device still open (a start while the service
    // runs) is free, and its row says so, since its late result finds no job.
    for (int d = 0; d < DevicePool::Count; ++d)
        m_states.apply(d, DeviceEvent::Restarted);
    setRunning(true);
    m_log.WriteLog(QStringLiteral("系统服务启动……"));
    openDatabase();
    if (m_config.settings().DeviceCount < 1) {
        m_log.WriteLog(QStringLiteral("GSM&GPRS模块未配置……"));
        return;
    }
    tm_md_Timer();
    m_tmMd.start();
}

void Service::openDatabase()
{
    const bool connected = m_path.OpenConnection(m_config.settings().ConnectionString);
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
}

void Service::startQueuePoll()
{
    // A timer with interval 0 would fire continuously; a poll period of 0 means "never".
    if (m_timer1.interval() <= 0) {
        m_timer1.stop();
        m_watcher.stop();
        return;
    }
    m_timer1.start();
    if (m_config.settings().watchQueue)
        m_watcher.watch(m_config.settings().ConnectionString);
    else
        m_watcher.stop();
}

void Service::mnuGXFW_Click()
{
    if (stopping())
        return;
    setRunning(false);
    m_timer1.stop();
    m_watcher.stop();
    m_tmMd.stop();
    m_reopen.cancelAll();
    m_path.resetSendQueue();
    // The modem's answer usually comes within a second; its real outcome is worth that wait.
    // Each result that frees a device looks whether it was the last (deviceChanged).
    if (!m_states.anyBusy(m_config.settings().DeviceCount) || m_config.settings().stopWaitMs <= 0) {
        finishStop();
        return;
    }
    m_stopDeadline.start(m_config.settings().stopWaitMs);
}

void Service::finishStop()
{
    m_stopDeadline.stop();
    // A message still in flight keeps its row at 1: whether it reached the network is not
    // known, and an application that resends failed rows would send it twice.
    const QStringList unknown = m_path.rowsInFlight();
    if (!unknown.isEmpty())
        m_log.WriteLog(QStringLiteral("停止时%1条短信的发送结果未知，状态保持为1(SysNo=%2)")
                               .arg(unknown.size())
                               .arg(unknown.join(QLatin1Char(','))));
    for (int d = 0; d < m_config.settings().DeviceCount; ++d) {
        m_pool.close(d);
        m_states.apply(d, DeviceEvent::Stopped);
    }
    // A result the driver reports after its port closed finds no job, so it writes nothing.
    m_path.resetDeviceJobs(m_config.settings().listedDevices + 1);
    RefreshDeviceList();
    m_log.WriteLog(QStringLiteral("系统服务停止……"));
    Q_EMIT stopped();
}

void Service::reload()
{
    if (!m_running || stopping()) {
        mnuQDFW_Click();
        return;
    }
    const Settings before = m_config.settings();
    m_config.load();
    const Settings &now = m_config.settings();
    m_timer1.setInterval(now.scanIntervalMs);
    reloadDevices(before);
    if (now.ConnectionString != before.ConnectionString) {
        // The modems keep their ports and their sends; only the rows' way to the table changes.
        // Rows loaded on the old connection are read again on the new one.
        m_timer1.stop();
        m_watcher.stop();
        m_path.resetSendQueue();
        openDatabase();
    } else if (m_timer1.isActive() || m_path.queueReady()) {
        startQueuePoll();
    }
    m_log.WriteLog(QStringLiteral("配置已重新读取……"));
    if (now.DeviceCount < 1)
        m_log.WriteLog(QStringLiteral("GSM&GPRS模块未配置……"));
    else if (!m_tmMd.isActive())
        m_tmMd.start();
}

void Service::reloadDevices(const Settings &before)
{
    const Settings &now = m_config.settings();
    const int oldCount = before.DeviceCount;
    const int newCount = now.DeviceCount;
    // Delivery reports are asked for at the open: a change opens every device again.
    const bool reopenAll = before.StatusReport != now.StatusReport;
    QList<int> toOpen;
    for (int d = newCount; d < oldCount; ++d) {
        closeDevice(d, QStringLiteral("重新读取配置时"));
        m_states.apply(d, DeviceEvent::Stopped);
        m_openFailure[std::size_t(d)].clear();
    }
    if (newCount < oldCount)
        m_table.removeDeviceRows(newCount, oldCount - 1);
    for (int d = 0; d < qMin(oldCount, newCount); ++d) {
        const QString port = now.DevicePorts.value(d);
        const QString rate = now.DeviceRates.value(d);
        if (!reopenAll && port == before.DevicePorts.value(d) && rate == before.DeviceRates.value(d))
            continue;
        closeDevice(d, QStringLiteral("重新读取配置时"));
        m_states.apply(d, DeviceEvent::Stopped);
        m_openFailure[std::size_t(d)].clear();
        m_table.replaceStatuses(d, {DeviceTable::fresh(port, rate)});
        toOpen << d;
    }
    QList<DeviceStatus> added;
    for (int d = oldCount; d < newCount; ++d) {
        added << DeviceTable::fresh(now.DevicePorts.value(d), now.DeviceRates.value(d));
        toOpen << d;
    }
    m_table.insertStatuses(oldCount, added);
    m_path.resizeDeviceJobs(now.listedDevices + 1);
    for (int d : std::as_const(toOpen))
        OpenDevice(short(d));
}

void Service::closeDevice(int d, const QString &when)
{
    m_reopen.reset(d);
    const QString unknown = m_path.releaseJob(d);
    if (!unknown.isEmpty())
        m_log.WriteLog(when + QStringLiteral("1条短信的发送结果未知，状态保持为1(SysNo=%1)").arg(unknown));
    m_pool.close(d);
}

void Service::tm_md_Timer()
{
    const bool wasOpen = m_path.databaseOpen();
    m_path.supervise();
    // A database back at this tick is read for the free devices now, not at the next poll.
    if (!wasOpen && m_path.databaseOpen() && m_timer1.isActive())
        pollSoon();
    refreshHealth();
    if (m_pollWhenDatabaseReturns && m_running && !m_timer1.isActive() && m_path.queueReady()) {
        startQueuePoll();
        pollSoon();
    }
    // Every device that is off line is opened at once; each takes rows when its own open ends,
    // so a modem that never answers holds up none of the others.
    for (short d = 0; d < m_config.settings().DeviceCount; ++d) {
        if (m_states.state(d) == DeviceState::Offline && !m_states.opening(d))
            OpenDevice(d);
    }
}

void Service::refreshHealth()
{
    // Busy modems too: the driver asks between messages, and a modem opened at the start would
    // otherwise never be read again while traffic flows.
    for (int d = 0; d < m_config.settings().DeviceCount; ++d) {
        if (m_states.state(d) == DeviceState::Offline)
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
    m_reopen.cancel(d);
    m_pool.close(d);
    m_states.apply(d, DeviceEvent::Opening);
    bool portOk = false;
    bool rateOk = false;
    const int port = m_config.settings().DevicePorts.value(d).trimmed().toInt(&portOk);
    const int rate = m_config.settings().DeviceRates.value(d).trimmed().toInt(&rateOk);
    // A port or rate that is not a number cannot be opened; it shows as a failed attempt.
    if (!portOk || !rateOk) {
        m_states.apply(d, DeviceEvent::OpenFailed);
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
    control->BeginOpenComm();
}

void Service::openFinished(int d, short result)
{
    // An open a stop cut off, or of a device no longer configured, belongs to nobody.
    if (!m_running || d >= m_config.settings().DeviceCount)
        return;
    const bool awaited = m_states.opening(d);
    if (result != 0) {
        if (!awaited)
            return;
        m_states.apply(d, DeviceEvent::OpenFailed);
        reportOpenFailure(short(d));
        m_reopen.retry(d);
        return;
    }
    // The control opened the modem again by itself (it restarted) while the device is still
    // free or sending: nothing to take back.
    if (!awaited && m_states.state(d) != DeviceState::Offline) {
        takeRows(d);
        return;
    }
    ModemControl *control = m_pool.control(d);
    m_reopen.reset(d);
    m_openFailure[std::size_t(d)].clear();
    QString text;
    control->GetInfo(ModemControl::InfoModel, text);
    m_table.setModel(d, text);
    m_table.setIdentity(d, control->infoText(ModemControl::InfoImsi),
                        control->infoText(ModemControl::InfoImei),
                        control->infoText(ModemControl::InfoOwnNumber));
    m_states.apply(d, DeviceEvent::Opened);
    m_path.deviceOpened(d);
    takeRows(d);
}

void Service::deviceChanged(int d, DeviceEvent event)
{
    switch (event) {
    case DeviceEvent::Lost:
        // A modem plugged back or restarted answers within seconds, not at the next tick.
        if (m_running)
            m_reopen.retry(d);
        break;
    case DeviceEvent::SendFailed:
        if (m_running)
            m_reopen.retryAfterFailedSend(d);
        break;
    case DeviceEvent::Sent:
        m_reopen.sent(d);
        [[fallthrough]];
    case DeviceEvent::Returned:
        // The device takes its next row from the loaded ones itself; with none left, the
        // table is read for it now rather than at the next poll.
        if (m_running && m_path.queueLength() == 0)
            pollSoon();
        break;
    case DeviceEvent::InService:
    case DeviceEvent::Registered:
        if (m_running)
            takeRows(d);
        break;
    default:
        break;
    }
    // The stop waits for the last send in flight to end.
    if (stopping() && !m_states.anyBusy(m_config.settings().DeviceCount))
        QTimer::singleShot(0, this, [this] {
            if (stopping())
                finishStop();
        });
}

void Service::takeRows(int d)
{
    if (!m_states.takesMessages(d))
        return;
    if (m_path.queueLength() > 0)
        m_path.offerTo(d);
    else
        pollSoon();
}

void Service::pollSoon()
{
    if (m_pollDue)
        return;
    m_pollDue = true;
    QTimer::singleShot(0, this, [this] {
        m_pollDue = false;
        if (m_running && m_timer1.isActive())
            m_path.pollQueue();
    });
}
