#pragma once

#include "logprompter.h"
#include "stdoutlog.h"
#include "systemdnotifier.h"

#include <QObject>
#include <memory>

class Gateway;
class StatusServer;

// The gateway without a window: the engine, its log on standard output, the status page, and
// the answers to the signals a service manager sends. Everything it asks of the engine is here.
class GatewayDaemon : public QObject
{
    Q_OBJECT

public:
    GatewayDaemon(const QString &programDir, bool logStamps, QObject *parent = nullptr);
    ~GatewayDaemon() override;

    // Creates the modem controls from the registered component.
    bool createControls(QString *error);

    // As 启动 in the window.
    void start();
    // SIGTERM and SIGINT: as 停止 then 退出系统. SIGHUP: stop, then start with the settings
    // read again.
    void handleSignal(int signalNumber);

private:
    void stop();

    LogPrompter m_prompter;
    std::unique_ptr<Gateway> m_gateway;
    std::unique_ptr<StdoutLog> m_stdout;
    std::unique_ptr<StatusServer> m_status;
    SystemdNotifier m_systemd;
};
