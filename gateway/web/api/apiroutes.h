#pragma once

#include "apiaccess.h"
#include "idempotencystore.h"

#include <QHttpServerResponse>

class Clock;
class EngineApi;
class LaterAnswer;
class QHttpServer;
class QHttpServerRequest;

// The routes under /api/v1/ on the gateway's HTTP server: queue messages, read one back, read
// the inbox and the devices, and the OpenAPI document that describes them all. Anything else
// under /api/ is a JSON 404.
class ApiRoutes
{
public:
    ApiRoutes(EngineApi &engine, const QString &programDir, const Clock &clock);

    void install(QHttpServer &server);
    ApiAccess &access() { return m_access; }

    static constexpr qsizetype MaxBody = 64 * 1024;
    static constexpr int MaxInboxLimit = 1000;

    QHttpServerResponse postMessages(const QHttpServerRequest &request);
    // The reads answer once the engine's reader has the rows; answer is told the response.
    void getMessage(const QString &id, const QHttpServerRequest &request,
                    const LaterAnswer &answer);
    void getInbox(const QHttpServerRequest &request, const LaterAnswer &answer);
    QHttpServerResponse getDevices(const QHttpServerRequest &request);
    static QHttpServerResponse openApi();

private:
    // The answer to a queue request that passed the token check.
    QHttpServerResponse queue(const QHttpServerRequest &request, const QString &token);

    EngineApi &m_engine;
    ApiAccess m_access;
    IdempotencyStore m_idempotency;
    const Clock &m_clock;
};
