#pragma once

#include "core/devicepool.h"
#include "core/devicestates.h"
#include "core/reopenschedule.h"
#include "messaging/queuewatcher.h"
#include <QObject>

#include <QString>
#include <QTimer>
#include <array>

class Configuration;
class DeviceTable;
class LogSink;
class MessagePath;
struct Settings;

// Starting and stopping the service, and the supervision that brings every device on line and
// retries the ones that are not. Nothing here waits: every device's open is begun at once and
// its end handled when the control reports it, a stop closes the ports when the last send in
// flight ends (or StopWait passes), and a reload touches only what changed.
class Service : public QObject
{
    Q_OBJECT

public:
    Service(Configuration &config, DevicePool &pool, DeviceStates &states, DeviceTable &table,
            LogSink &log, MessagePath &path);

    // Reads the configuration again; every device's job is forgotten.
    void LoadSettings();
    // One "未连接" row per configured device.
    void RefreshDeviceList();

    void mnuQDFW_Click();
    // Returns at once; the ports close once the sends in flight have ended (see stopping()).
    void mnuGXFW_Click();
    // Reads the configuration again while the service runs: a device whose port or rate
    // changed is opened again alone, the others keep their ports and their sends; a new
    // connection string reconnects the database without touching the modems. A stopped
    // service is started.
    void reload();
    void tm_md_Timer();
    void OpenDevice(short d);

    bool running() const { return m_running; }
    // A stop waits for the sends in flight to end before it closes the ports.
    bool stopping() const { return m_stopDeadline.isActive(); }
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
    // A stop has closed every port.
    void stopped();

private:
    void startQueuePoll();
    void openDatabase();
    void finishStop();
    void refreshHealth();
    void reportOpenFailure(short d);
    void openFinished(int d, short result);
    void deviceChanged(int d, DeviceEvent event);
    // Device d can send: it takes a waiting row now, or the queue is read for it.
    void takeRows(int d);
    // One poll on the next turn, however many devices asked for it in this one.
    void pollSoon();
    // Closes device d's port; a message its modem holds keeps its row at 1 and is named.
    void closeDevice(int d, const QString &why);
    void reloadDevices(const Settings &before);

    Configuration &m_config;
    DevicePool &m_pool;
    DeviceStates &m_states;
    DeviceTable &m_table;
    LogSink &m_log;
    MessagePath &m_path;
    // The queue poll and the supervision tick.
    QTimer m_timer1;
    QTimer m_tmMd;
    // How long a stop waits for the sends in flight.
    QTimer m_stopDeadline;
    // Polls at once when a row is queued between two polls of Timer1.
    QueueWatcher m_watcher;
    ReopenSchedule m_reopen;
    bool m_running = false;
    bool m_pollWhenDatabaseReturns = false;
    bool m_pollDue = false;
    // The reason each device's last open failed, logged once until it changes or the device
    // opens, rather than at every tick.
    std::array<QString, DevicePool::Count> m_openFailure;
};
