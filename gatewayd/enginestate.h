#pragma once

#include <QString>

class EngineApi;

// What "systemctl status" shows of the gateway: the database, the devices up of all, the
// queue. Every read of the engine's state the service makes is in read(), one place to follow
// the engine when its interface changes.
struct EngineState
{
    bool databaseUp = false;
    int devicesUp = 0;
    int devices = 0;
    int queueLength = 0;

    static EngineState read(const EngineApi &engine);
    // One line for systemd's STATUS=.
    QString text() const;

    bool operator==(const EngineState &other) const = default;
};
