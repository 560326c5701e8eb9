#pragma once

#include "engine/enginestatus.h"
#include "engine/outgoingmessage.h"
#include "messaging/messagelookup.h"

#include <optional>

// What the HTTP API asks of the engine: the queue and status of EngineApi, and the reads of
// what the tables hold. Kept this narrow so the API never reaches into the gateway's parts.
class ApiEngine
{
public:
    virtual ~ApiEngine() = default;

    virtual QueueResult queueMessages(const QList<OutgoingMessage> &messages) = 0;
    virtual EngineStatus status() const = 0;
    // nullopt with *error when the database failed; an empty optional inside when no such row.
    virtual std::optional<std::optional<StoredMessage>> message(qint64 id, QString *error) = 0;
    // The port ("Com3") of the device the message went through, when the engine knows it.
    virtual QString deviceOf(qint64 id) const = 0;
    virtual std::optional<QList<ReceivedRow>> received(qint64 after, int limit, QString *error) = 0;
};
