#pragma once

#include "enginestate.h"
#include "logprompter.h"
#include "stdoutlog.h"
#include "systemdnotifier.h"

#include <QObject>
#include <QTimer>
#include <memory>

class Gateway;
class SmppServer;
class StatusServer;

// The gateway without a window: the engine, its log on standard output, the status page, and
// the answers to the signals a service manager sends. Everything it asks of the engine is here.
class GatewayDaemon : public QObject
{
    Q_OBJECT

public:
    // The exit code of a start refused for its configuration (EX_CONFIG); the unit does not
    // restart the service on it.
    static constexpr int ConfigExit = 78;

    GatewayDaemon(const QString &programDir, bool logToJournal, QObject *parent = nullptr);
    ~GatewayDaemon() override;

    // Creates the modem controls from the registered component.
    bool createControls(QString *error);
    // False, said in the log and to systemd, when Config.ini exists but cannot be read.
    bool configReadable(const QString &refusal);

    // As 启动 in the window.
    void start();
    // SIGTERM and SIGINT: as 停止 then 退出系统. SIGHUP: stop, then start with the settings
    // read again.
    void handleSignal(int signalNumber);

private:
    void stop();
    void reload();
    void publishStatus();

    LogPrompter m_prompter;
    std::unique_ptr<Gateway> m_gateway;
    std::unique_ptr<StdoutLog> m_stdout;
    std::unique_ptr<StatusServer> m_status;
    std::unique_ptr<SmppServer> m_smpp;
    SystemdNotifier m_systemd;
    QTimer m_statusTimer;
    EngineState m_published;
    bool m_statusSent = false;
};
