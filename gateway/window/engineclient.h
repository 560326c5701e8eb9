#pragma once

#include "core/devicetable.h"
#include "core/logsink.h"
#include "engine/enginebatch.h"

#include <QObject>
#include <QString>
#include <functional>

class EngineApi;
class EngineBridge;

// The window's side of the engine: holds what the window shows (the log text, a copy of the
// device table, the status panel and the running flag), kept up to date by the engine's batches,
// and passes the operator's commands to the engine by queued calls. Nothing here waits for the
// engine; the engine may live on another thread or on this one.
class EngineClient : public QObject, public LogSink
{
    Q_OBJECT

public:
    // Names the system's serial ports for the device search ("COM1-COM3-").
    using PortLister = std::function<QString()>;

    // The bridge lives on the engine's thread; the engine's commands run there.
    EngineClient(EngineApi &engine, EngineBridge &bridge, QObject *parent = nullptr);

    const QString &logText() const { return m_logText; }
    DeviceTable &devices() { return m_devices; }
    const QString &statusPanel() const { return m_statusPanel; }
    bool serviceRunning() const { return m_running; }
    const QString &configPath() const { return m_configPath; }
    void setPortLister(PortLister lister) { m_portLister = std::move(lister); }

    void formLoad();
    void startService();
    void stopService();
    // Stops the service, then runs done here.
    void stopServiceThen(std::function<void()> done);
    void deleteDevice(int row);
    void addDevice(const QString &port, const QString &rate);
    // Runs then here while context lives, when the engine allows the device list to be edited
    // (it logs the refusal otherwise).
    void whenDevicesEditable(QObject *context, std::function<void()> then);
    // Progress comes as searchProgress, the end as searchFinished.
    void searchDevices(bool useRange, const QString &fromText, const QString &toText);
    // Progress comes as testProgress; the closing box as messageRequested.
    void sendTestMessages(const QString &numbersText, const QString &messageText);
    void WriteLog(const QString &message) override;
    // Runs done here once the engine has come to everything asked of it before, and what it
    // showed meanwhile has arrived. Work that lets the engine's loop run (a device search, a
    // start) may still be going on then.
    void afterEngine(std::function<void()> done);

Q_SIGNALS:
    void logReset(const QString &text);
    void logAppended(const QString &piece);
    void statusPanelChanged(const QString &text);
    void serviceRunningChanged(bool running);
    // A message for the operator, in a box.
    void messageRequested(const QString &text);
    void searchProgress(int percent);
    void searchFinished();
    void testProgress(int percent);

private:
    void apply(const EngineBatch &batch);
    void applyTable(const TableChange &change);
    // Runs work on the engine's thread, after everything asked before.
    void onEngine(std::function<void(EngineApi &, EngineBridge &)> work);

    EngineApi &m_engine;
    EngineBridge &m_bridge;
    QString m_configPath;
    QString m_logText;
    DeviceTable m_devices;
    QString m_statusPanel;
    bool m_running = false;
    PortLister m_portLister;
};
