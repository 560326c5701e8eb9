#pragma once

#include "activitylog.h"
#include "devicetable.h"
#include "messaging/queuedmessage.h"
#include "devicepool.h"
#include "settings.h"
#include "status/sendtimings.h"

#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class Clock;
class MessageFlow;
class Prompter;
class Service;

// The engine root: everything the gateway runs, owned for the life of the process. main()
// builds it and hands it to the main window, which only shows it and calls it.
class Gateway : public QObject
{
    Q_OBJECT

public:
    Gateway(QString programDir, const Clock &clock, Prompter &prompter, QObject *parent = nullptr);
    ~Gateway() override;

    static QString title() { return QStringLiteral("Velmora 短信网关"); }

    const QString &programDir() const { return m_programDir; }
    QString configPath() const;
    const Clock &clock() const { return m_clock; }
    Prompter &prompter() { return m_prompter; }

    ActivityLog &log() { return m_log; }
    DeviceTable &devices() { return m_devices; }
    DevicePool &modems() { return m_modems; }
    Settings &settings() { return m_settings; }
    QList<QueuedMessage> &DeviceJobs() { return m_deviceJobs; }
    QTimer &Timer1() { return m_timer1; }
    QTimer &tm_md() { return m_tmMd; }
    Service &service() { return *m_service; }
    MessageFlow &flow() { return *m_flow; }
    SendTimings &sendTimings() { return m_sendTimings; }

    // Start-up: the first log line, the window's first layout, the settings and the device
    // list (service stopped).
    void FormLoad(const std::function<void()> &initMainWindow = {});
    void LoadSettings();
    void RefreshDeviceList();
    // Writes the device list back to the configuration file.
    void updateparas();
    void WriteLog(const QString &message) { m_log.WriteLog(message); }

    bool ServiceRunning() const { return m_serviceRunning; }
    void setServiceRunning(bool running);

    const QString &statusPanel() const { return m_statusPanel; }
    void setStatusPanel(const QString &text);
    void showQueueLength(int length);

    // Device menu commands; each is refused while the service runs.
    void mnuSCSB_Click(int selectedRow);
    // True when the add or search window may open; logs the refusal otherwise.
    bool mayEditDevices();

Q_SIGNALS:
    void serviceRunningChanged(bool running);
    void statusPanelChanged(const QString &text);

private:
    QString m_programDir;
    const Clock &m_clock;
    Prompter &m_prompter;
    ActivityLog m_log;
    DeviceTable m_devices;
    DevicePool m_modems;
    Settings m_settings;
    QList<QueuedMessage> m_deviceJobs;
    QTimer m_timer1;
    QTimer m_tmMd;
    bool m_serviceRunning = false;
    QString m_statusPanel;
    SendTimings m_sendTimings;
    std::unique_ptr<MessageFlow> m_flow;
    std::unique_ptr<Service> m_service;
};
