#include "gateway.h"

#include "common/clock.h"
#include "common/inifile.h"
#include "messaging/frontreader.h"
#include "messaging/messageflow.h"
#include "messaging/messagequeuer.h"
#include "policy/sendingpolicy.h"
#include "service.h"
#include "simpool/simpool.h"
#include "testmsg/testcomposer.h"
#include "webhooks/webhookdispatcher.h"
#include "webhooks/webhooksettings.h"

Gateway::Gateway(QString programDir, const Clock &clock, Prompter &prompter, QObject *parent)
    : QObject(parent), m_clock(clock), m_prompter(prompter), m_log(clock),
      m_config(std::move(programDir), m_log)
{
    // Failure and success times side by side on one clock, so "past" means what it says.
    m_devices.setClock(clock);
    m_flow = std::make_unique<MessageFlow>(m_config.programDir(),
                                           FlowContext{m_config.settings(), m_pool, m_states, m_devices,
                                                       m_log, m_panel, m_sendTimings, m_events,
                                                       m_history, clock},
                                           prompter);
    m_pool.setStates(&m_states);
    m_service = std::make_unique<Service>(m_config, m_pool, m_states, m_devices, m_log, *m_flow);
    m_queuer = std::make_unique<MessageQueuer>(m_flow->db(), [this] {
        for (int d = 0; ServiceRunning() && d < settings().DeviceCount; ++d) {
            if (m_pool.takesMessages(d))
                return m_flow->pollQueue();
        }
    });
    m_pool.setEvents(m_flow.get());
    m_webhooks = std::make_unique<WebhookDispatcher>(m_events, m_config.programDir(), clock,
                                                     [this](const QString &l) { WriteLog(l); });
    createSimPool();
    connect(m_service.get(), &Service::runningChanged, this, &Gateway::serviceRunningChanged);
    connect(m_service.get(), &Service::runningChanged, &m_events, &EngineEvents::runningChanged);
    connect(&m_devices, &DeviceTable::deviceChanged, &m_events, &EngineEvents::deviceChanged);
    connect(&m_panel, &StatusPanel::changed, this, &Gateway::statusPanelChanged);
}

Gateway::~Gateway()
{
    // Controls closed while the pool goes must not reach a message path that is gone.
    m_pool.setEvents(nullptr);
}

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

void Gateway::setPollWhenDatabaseReturns(bool enabled)
{
    m_service->setPollWhenDatabaseReturns(enabled);
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
    // A stop still waiting for its sends rebuilds the list from the settings when it ends, and
    // would drop an edit made meanwhile.
    if (!ServiceRunning() && !m_service->stopping())
        return true;
    WriteLog(QStringLiteral("请先停止服务！"));
    return false;
}

void Gateway::start()
{
    // The histogram counts from the start, as the devices' counters do.
    m_sendTimings.reset();
    m_startedAt = m_clock.now();
    configureWebhooks();
    m_service->mnuQDFW_Click();
    m_simPool->configure(configPath(), settings());
}

void Gateway::configureWebhooks()
{
    const WebhookSettings hooks = WebhookSettings::read(
            IniFile(configPath()), [this](const QString &line) { WriteLog(line); });
    m_webhooksOn = hooks.enabled();
    m_webhooks->configure(hooks);
}

void Gateway::stop()
{
    m_service->mnuGXFW_Click();
}

void Gateway::reload()
{
    // A running service keeps its ports, its sends and its counters; only what changed in the
    // file is applied.
    if (!ServiceRunning() || m_service->stopping()) {
        start();
        return;
    }
    configureWebhooks();
    m_service->reload();
    m_simPool->configure(configPath(), settings());
}

bool Gateway::addDevice(const QString &port, const QString &rate)
{
    if (!mayEditDevices())
        return false;
    m_devices.appendDevice(DeviceTable::fresh(port, rate));
    updateparas();
    return true;
}

bool Gateway::removeDevice(int row)
{
    if (!mayEditDevices())
        return false;
    if (row < 0 || row >= m_devices.rowCount()) {
        WriteLog(QStringLiteral("请选择一个设备"));
        return false;
    }
    m_devices.removeDeviceRow(row);
    updateparas();
    return true;
}

DeviceSearch::Parts Gateway::deviceSearchParts()
{
    return {m_pool.control(DeviceSearch::ProbeSlot), m_devices, m_log, m_config.path()};
}

void Gateway::searchDevices(const DeviceSearchRequest &request, const Progress &progress,
                            std::function<void()> done)
{
    // One probing control: a second search asked meanwhile (another front end) is answered
    // as refused rather than probe the same ports at the same time.
    if (!mayEditDevices() || (m_search && m_search->running())) {
        if (done)
            done();
        return;
    }
    m_search = std::make_unique<DeviceSearch>(deviceSearchParts(), request.listPorts);
    if (progress)
        QObject::connect(m_search.get(), &DeviceSearch::progress, m_search.get(), progress);
    QObject::connect(m_search.get(), &DeviceSearch::finished, this, [done = std::move(done)] {
        if (done)
            done();
    });
    m_search->run(request.useRange, request.from, request.to);
}

void Gateway::whenStopped(std::function<void()> done)
{
    if (!done)
        return;
    if (!m_service->stopping()) {
        done();
        return;
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(m_service.get(), &Service::stopped, this, [connection, done] {
        QObject::disconnect(*connection);
        done();
    });
}

bool Gateway::queueTestMessage(const QString &number, const QString &text)
{
    return m_flow->queueTestMessage(number, text);
}

qint64 Gateway::queueTestMessageId(const QString &number, const QString &text)
{
    // The composer's row, through the queuer, which knows how each database tells the new key;
    // like the composer's it waits for a start when the service is stopped.
    const QueueResult queued = m_queuer->queue({OutgoingMessage{number, text}});
    if (queued.ok() && queued.ids.size() == 1)
        return queued.ids.first();
    WriteLog(QStringLiteral("测试短信入库失败：") + queued.error);
    return -1;
}

QList<HistoryMinute> Gateway::history(int minutes, const QString &port) const
{
    if (port.isEmpty())
        return m_history.minutes(qMin(minutes, EngineHistory::GatewayMinutes), -1, m_clock.now());
    const int d = deviceOf(port);
    if (d < 0)
        return {};
    return m_history.minutes(qMin(minutes, EngineHistory::DeviceMinutes), d, m_clock.now());
}

int Gateway::deviceOf(const QString &port) const
{
    const QList<DeviceStatus> &devices = m_devices.statuses();
    for (int d = 0; d < devices.size(); ++d) {
        if (devices.at(d).port == port.trimmed())
            return d;
    }
    return -1;
}

bool Gateway::setDeviceInService(const QString &port, bool inService)
{
    const int d = deviceOf(port);
    if (d < 0)
        return false;
    // Back in service, a free device takes its next row now rather than at the next poll.
    m_states.apply(d, inService ? DeviceEvent::InService : DeviceEvent::OutOfService);
    return true;
}

void Gateway::recheckDevice(const QString &port, std::function<void(QStringList)> done)
{
    const int d = deviceOf(port);
    QString notOpen;
    if (d < 0)
        notOpen = QStringLiteral("没有这个设备：Com") + port;
    else if (!ServiceRunning())
        notOpen = QStringLiteral("服务未启动");
    else if (m_pool.state(d) == DeviceState::Offline)
        notOpen = m_devices.status(d).lastFailure.isEmpty()
                ? QStringLiteral("短信猫未连接")
                : QStringLiteral("短信猫未连接：") + m_devices.status(d).lastFailure;
    m_recheck.ask(d, notOpen, std::move(done));
}

int Gateway::requeueRows(const QList<qint64> &ids, QString *error)
{
    QString why;
    const int moved = m_flow->requeueRows(ids, &why);
    if (error)
        *error = why;
    return moved;
}

void Gateway::queueTestMessages(const QString &numbersText, const QString &messageText,
                                const Progress &progress)
{
    TestComposer composer([this](const QString &number,
                                 const QString &text) { return queueTestMessage(number, text); },
                          m_prompter);
    if (progress)
        QObject::connect(&composer, &TestComposer::progress, &composer, progress);
    composer.send(numbersText, messageText);
}

QStringList Gateway::recentLog(int lines) const
{
    QStringList all = m_log.text().split(QStringLiteral("\r\n"));
    if (all.size() > lines)
        all = all.mid(all.size() - lines);
    return all;
}

namespace {

DeviceQuota quotaOf(const SendingPolicy &policy, const PolicyLimits &limits, int d)
{
    const DeviceUsage used = policy.usage(d);
    DeviceQuota q{used.hourParts,       used.dayParts,          used.monthParts,
                  used.monthRecipients, limits.hourParts,       limits.dayParts,
                  limits.monthParts,    limits.monthRecipients, {},
                  policy.nextReset(d)};
    if (const std::optional<DeviceRest> rest = policy.restOf(d))
        q.restingUntil = rest->until;
    return q;
}

} // namespace

EngineStatus Gateway::status() const
{
    EngineStatus s;
    s.running = m_service->running();
    s.databaseUp = m_flow->store().isOpen();
    s.databaseReason = m_flow->databaseReason();
    s.version = m_flow->serverVersion();
    s.devices = deviceStatuses();
    if (s.running) {
        s.cannotSend = m_flow->cannotSend();
        if (s.cannotSend.isEmpty() && s.devicesUp() == 0)
            s.cannotSend = QStringLiteral("没有已连接的短信设备");
    }
    s.sharedQueue = !settings().GatewayName.isEmpty();
    s.queueLength = m_flow->queueLength();
    s.spoolEntries = int(m_flow->store().spool().size());
    s.webhooksOn = m_webhooksOn;
    s.webhooks = m_webhooks->counters();
    s.claimsLost = m_flow->claims().lostClaims();
    s.handedByGateway = m_flow->handedByGateway();
    s.countsAt = m_flow->countsAt();
    s.rowsStuck = m_flow->rowsStuck();
    s.stuckAfterMinutes = settings().stuckAfterMinutes;
    s.queue = m_flow->queueFigures();
    s.lastPoll = m_flow->lastPoll();
    s.sendDurations = m_sendTimings.durations();
    if (s.running)
        s.startedAt = m_startedAt;
    return s;
}

QueueResult Gateway::queueMessages(const QList<OutgoingMessage> &messages)
{
    if (!ServiceRunning())
        return {{}, QStringLiteral("服务未启动")};
    return m_queuer->queue(messages);
}

// ---- Reads for front ends ----

FrontReader &Gateway::reads()
{
    if (!m_reads)
        m_reads = std::make_unique<FrontReader>();
    m_reads->setConnectionString(m_flow->db().connectionString());
    return *m_reads;
}

QString Gateway::deviceSending(qint64 id) const
{
    const QString key = QString::number(id);
    const QList<QueuedMessage> &jobs = m_flow->dispatch().deviceJobs();
    for (qsizetype d = 0; d < jobs.size() && d < m_devices.rowCount(); ++d) {
        if (jobs.at(d).SysNo == key)
            return settings().deviceLabel(int(d));
    }
    return {};
}

void Gateway::readMessage(qint64 id, std::function<void(MessageRead)> done)
{
    reads().readMessage(id, [this, done = std::move(done)](MessageRead read) {
        if (read.message)
            read.message->device = deviceSending(read.message->id);
        done(std::move(read));
    });
}

void Gateway::readReceived(qint64 after, int limit, std::function<void(ReceivedRead)> done)
{
    reads().readReceived(after, limit, std::move(done));
}

QList<DeviceStatus> Gateway::deviceStatuses() const
{
    QList<DeviceStatus> devices = m_devices.statuses();
    for (int d = 0; d < devices.size(); ++d)
        m_simPool->fill(d, devices[d]);
    if (const SendingPolicy &policy = m_flow->policy(); policy.enabled()) {
        for (int d = 0; d < devices.size(); ++d)
            devices[d].quota = quotaOf(policy, settings().Policy.limitsOf(d), d);
    }
    return devices;
}
