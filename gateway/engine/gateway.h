#pragma once

#include "core/activitylog.h"
#include "core/configuration.h"
#include "core/devicepool.h"
#include "core/devicerecheck.h"
#include "core/devicestates.h"
#include "core/devicetable.h"
#include "core/statuspanel.h"
#include "discovery/devicesearch.h"
#include "historyfile.h"
#include "messaging/sendtimings.h"
#include "model/engineapi.h"
#include "model/engineevents.h"
#include "version.h"

#include <QObject>
#include <functional>
#include <memory>

class Clock;
class FrontReader;
class MessageFlow;
class MessageQueuer;
class WebhookDispatcher;
class Prompter;
class Service;
class SimPool;

// The engine root: everything the gateway runs, owned for the life of the process and wired
// here. A front end (the window, the service) builds it, creates its modem controls and calls
// it through EngineApi; the parts it holds see only each other's narrow faces.
class Gateway : public QObject, public EngineApi
{
    Q_OBJECT

public:
    Gateway(QString programDir, const Clock &clock, Prompter &prompter, QObject *parent = nullptr);
    ~Gateway() override;

    static QString title() { return QStringLiteral(VELMORA_PRODUCT_TITLE); }

    // EngineApi
    void load() override { FormLoad(); }
    void start() override;
    void stop() override;
    void reload() override;
    bool addDevice(const QString &port, const QString &rate) override;
    bool removeDevice(int row) override;
    bool mayEditDevices() override;
    void whenStopped(std::function<void()> done) override;
    void searchDevices(const DeviceSearchRequest &request, const Progress &progress,
                       std::function<void()> done) override;
    bool queueTestMessage(const QString &number, const QString &text) override;
    qint64 queueTestMessageId(const QString &number, const QString &text) override;
    void queueTestMessages(const QString &numbersText, const QString &messageText,
                           const Progress &progress) override;
    QueueResult queueMessages(const QList<OutgoingMessage> &messages) override;
    void writeLog(const QString &line) override { WriteLog(line); }
    EngineStatus status() const override;
    QStringList recentLog(int lines) const override;
    QList<HistoryMinute> history(int minutes, const QString &port = {}) const override;
    bool setDeviceInService(const QString &port, bool inService) override;
    void recheckDevice(const QString &port, std::function<void(QStringList report)> done) override;
    int requeueRows(const QList<qint64> &ids, QString *error) override;
    QString configPath() const override { return m_config.path(); }
    // --- SIM pool (gatewaysimpool.cpp) ---
    UssdResult requestUssd(const QString &port, const QString &code, qint64 session) override;
    std::optional<UssdResult> ussdResult(qint64 id) const override;
    std::optional<QList<OptOutEntry>> optOuts(QString *error) override;
    std::optional<bool> addOptOut(const QString &number, QString *error) override;
    std::optional<int> removeOptOut(const QString &number, QString *error) override;

    // EngineApi: reads for front ends
    void readMessage(qint64 id, std::function<void(MessageRead)> done) override;
    void readReceived(qint64 after, int limit, std::function<void(ReceivedRead)> done) override;
    QList<DeviceStatus> deviceStatuses() const override;

    EngineEvents &events() { return m_events; }
    // The activity log a front end follows and writes its own lines to.
    ActivityLog &log() { return m_log; }
    // A front end makes the modem controls once, before load(): registered components, or
    // controls of its own (a tool, a benchmark).
    bool createModemControls(ComponentLoader &loader, QString *error)
    {
        return m_pool.createRegistered(loader, error);
    }
    bool createModemControls(const DevicePool::Factory &factory, QString *error)
    {
        return m_pool.create(factory, error);
    }
    // The service polls the queue at once when its database comes back.
    void setPollWhenDatabaseReturns(bool enabled);

Q_SIGNALS:
    void serviceRunningChanged(bool running);
    void statusPanelChanged(const QString &text);

protected:
    // The engine's parts. Front ends see none of them; the engine's own tests reach them
    // through one helper that derives from Gateway.

    // What a device search works with.
    DeviceSearch::Parts deviceSearchParts();

    const QString &programDir() const { return m_config.programDir(); }
    const Clock &clock() const { return m_clock; }
    Prompter &prompter() { return m_prompter; }

    DeviceTable &devices() { return m_devices; }
    DevicePool &pool() { return m_pool; }
    DeviceStates &states() { return m_states; }
    const Settings &settings() const { return m_config.settings(); }
    Service &service() { return *m_service; }
    MessageFlow &flow() { return *m_flow; }
    SendTimings &sendTimings() { return m_sendTimings; }
    SimPool &simPool() { return *m_simPool; }

    // Start-up: the first log line, the window's first layout, the settings and the device
    // list (service stopped).
    void FormLoad(const std::function<void()> &initMainWindow = {});
    void LoadSettings();
    void RefreshDeviceList();
    // Writes the device list back to the configuration file.
    void updateparas();
    void WriteLog(const QString &message) { m_log.WriteLog(message); }

    bool ServiceRunning() const;
    void setServiceRunning(bool running);

    const QString &statusPanel() const { return m_panel.text(); }
    void setStatusPanel(const QString &text) { m_panel.setText(text); }

    // Device menu commands; each is refused while the service runs.
    void mnuSCSB_Click(int selectedRow) { removeDevice(selectedRow); }

private:
    // The window's adapter reads what it shows straight from the parts, on the engine's thread.
    friend class EngineBridge;

    // The webhooks of the configuration file, read again.
    void configureWebhooks();
    // The row of the device with this configured port number ("3"); -1 when none.
    int deviceOf(const QString &port) const;

    const Clock &m_clock;
    Prompter &m_prompter;
    EngineEvents m_events;
    ActivityLog m_log;
    Configuration m_config;
    DeviceTable m_devices;
    DeviceStates m_states{m_devices};
    DevicePool m_pool;
    DeviceRecheck m_recheck{m_pool};
    StatusPanel m_panel;
    SendTimings m_sendTimings;
    // Kept across starts: a reload leaves the last day's charts as they were, and across a
    // restart in the program folder's file "history".
    EngineHistory m_history;
    HistoryFile m_historyFile{m_history, m_config.programDir() + QStringLiteral("/history")};
    QDateTime m_startedAt;
    std::unique_ptr<MessageFlow> m_flow;
    std::unique_ptr<Service> m_service;
    std::unique_ptr<MessageQueuer> m_queuer;
    std::unique_ptr<WebhookDispatcher> m_webhooks;
    // The device search under way; a new one takes its place when it is over.
    std::unique_ptr<DeviceSearch> m_search;
    bool m_webhooksOn = false;
    std::unique_ptr<SimPool> m_simPool;
    void createSimPool();

    // Front-end reads
    // The reader on the connection string the message path opened last.
    FrontReader &reads();
    // The port label of the device sending row id now; empty when none is.
    QString deviceSending(qint64 id) const;
    std::unique_ptr<FrontReader> m_reads;
};
