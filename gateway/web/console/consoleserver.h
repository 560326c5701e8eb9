#pragma once

#include <QObject>
#include <memory>

class ApiAccess;
class Clock;
class ConsoleActions;
class ConsoleLive;
class EngineApi;
class EngineEvents;
class QHttpServer;

// The operator's console on the status server: the page under /console, its live channel
// /console/live and the actions under /console/actions/.
class ConsoleServer : public QObject
{
    Q_OBJECT

public:
    ConsoleServer(EngineApi &engine, EngineEvents &events, ApiAccess &access,
                  const QString &programDir, const Clock &clock, QObject *parent = nullptr);
    ~ConsoleServer() override;

    void install(QHttpServer &server, bool tls);
    // Before the server it was installed on goes.
    void closeAll();
    ConsoleLive &live() { return *m_live; }

private:
    std::unique_ptr<ConsoleLive> m_live;
    std::unique_ptr<ConsoleActions> m_actions;
};
