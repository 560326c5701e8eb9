#pragma once

#include <QString>
#include <QThread>
#include <functional>
#include <memory>

class Clock;
class EngineBridge;
class Gateway;
class Prompter;

// The window program's engine on a thread of its own: the gateway, built there with everything
// it makes (timers, database connection, modem controls), and the bridge that shows it in the
// window. A port that does not answer or a database that is gone never holds up the window.
class EngineThread
{
public:
    // Builds the gateway; a benchmark may build one of its own kind.
    using Make = std::function<std::unique_ptr<Gateway>(QString programDir, const Clock &clock,
                                                        Prompter &prompter)>;

    EngineThread(QString programDir, const Clock &clock, Make make = {});
    ~EngineThread();

    // Runs set-up work on the engine's thread and waits for it; for start-up and tools only.
    void runAndWait(const std::function<void()> &work);

    Gateway &gateway() { return *m_gateway; }
    EngineBridge &bridge() { return *m_bridge; }

private:
    QThread m_thread;
    QObject *m_anchor = nullptr;
    std::unique_ptr<EngineBridge> m_bridge;
    std::unique_ptr<Gateway> m_gateway;
};
