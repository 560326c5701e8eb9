#pragma once

#include "devicepool.h"
#include "messaging/queuewatcher.h"
#include <QObject>

#include <QString>
#include <QTimer>
#include <array>

class Configuration;
class DeviceTable;
class LogSink;
class MessagePath;

// Starting and stopping the service, and the supervision that brings every device on line and
// retries the ones that are not, once a minute while the service runs.
class Service : public QObject
{
    Q_OBJECT

public:
    Service(Configuration &config, DevicePool &pool, DeviceTable &table, LogSink &log,
            MessagePath &path);

    // Reads the configuration again; every device's job is forgotten.
    void LoadSettings();
    // One "未连接" row per configured device.
    void RefreshDeviceList();

    void mnuQDFW_Click();
    void mnuGXFW_Click();
    void tm_md_Timer();
    void OpenDevice(short d);

    bool running() const { return m_running; }
    // With nobody there to start the service again (the headless service), a database that
    // was down at the start is retried at every supervision tick and the queue is polled as
    // soon as it answers. The window leaves the poll off until the next start command.
    void setPollWhenDatabaseReturns(bool enabled) { m_pollWhenDatabaseReturns = enabled; }
    bool queuePollActive() const { return m_timer1.isActive(); }
    bool supervisionActive() const { return m_tmMd.isActive(); }

    // Sets the running flag alone, as the start and stop commands do first.
    void setRunning(bool running);

Q_SIGNALS:
    void runningChanged(bool running);

private:
    void startQueuePoll();
    bool anyDeviceBusy() const;
    // Lets the sends in flight end, for at most StopWait; false when a start came meanwhile.
    bool waitForSendsInFlight(quint64 generation);
    void refreshHealth();
    void reportOpenFailure(short d);
    Configuration &m_config;
    DevicePool &m_pool;
    DeviceTable &m_table;
    LogSink &m_log;
    MessagePath &m_path;
    // The queue poll and the supervision tick.
    QTimer m_timer1;
    QTimer m_tmMd;
    // Polls at once when a row is queued between two polls of Timer1.
    QueueWatcher m_watcher;
    bool m_running = false;
    bool m_pollWhenDatabaseReturns = false;
    // Counts starts and stops, so a supervision tick notices one made during its yields.
    quint64 m_generation = 0;
    // The reason each device's last open failed, logged once until it changes or the device
    // opens, rather than at every tick.
    std::array<QString, DevicePool::Count> m_openFailure;
};
