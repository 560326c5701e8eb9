#pragma once

#include "enginestatus.h"
#include "outgoingmessage.h"

#include <QString>
#include <QStringList>

// The one way into the engine for every front end: the window's proxy, the service and the
// HTTP server. Commands take effect on the engine's thread; callers on another thread post them
// there (the window does so through EngineClient).
class EngineApi
{
public:
    virtual ~EngineApi() = default;

    // 启动 and 停止; reload stops, reads the configuration again and starts.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void reload() = 0;

    // Device list edits, refused (and logged) while the service runs.
    virtual bool addDevice(const QString &port, const QString &rate) = 0;
    virtual bool removeDevice(int row) = 0;

    // Test messages as the composer queues them: one row per number, on the connection of the
    // last start; false when the database refused one.
    virtual bool queueTestMessage(const QString &number, const QString &text) = 0;
    // Rows for applications, all in one transaction, handed to free modems at once.
    virtual QueueResult queueMessages(const QList<OutgoingMessage> &messages) = 0;

    // A copy of the engine's state as it is now.
    virtual EngineStatus status() const = 0;
};
