#pragma once

#include "apiaccess.h"
#include "idempotencystore.h"

#include <QHttpServerResponse>

class ApiEngine;
class Clock;
class QHttpServer;
class QHttpServerRequest;

// The routes under /api/v1/ on the gateway's HTTP server: queue messages, read one back, read
// the inbox and the devices, and the OpenAPI document that describes them all.
class ApiRoutes
{
public:
    ApiRoutes(ApiEngine &engine, const QString &programDir, const Clock &clock);

    void install(QHttpServer &server);
    ApiAccess &access() { return m_access; }

    static constexpr qsizetype MaxBody = 64 * 1024;
    static constexpr int MaxInboxLimit = 1000;

    QHttpServerResponse postMessages(const QHttpServerRequest &request);
    QHttpServerResponse getMessage(const QString &id, const QHttpServerRequest &request);
    QHttpServerResponse getInbox(const QHttpServerRequest &request);
    QHttpServerResponse getDevices(const QHttpServerRequest &request);
    static QHttpServerResponse openApi();

private:
    // The answer to a queue request that passed the token check.
    QHttpServerResponse queue(const QHttpServerRequest &request, const QString &token);

    ApiEngine &m_engine;
    ApiAccess m_access;
    IdempotencyStore m_idempotency;
    const Clock &m_clock;
};
