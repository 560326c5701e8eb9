#pragma once

#include <QHttpServerResponse>
#include <QJsonObject>
#include <QString>

class ApiAccess;
class ConsoleLive;
class EngineApi;
class QHttpServerRequest;

// What the operator does from the console: POST /console/actions/<name> with a JSON body and an
// operator token. Each action is written to the activity log with the token's name before it
// is done, so the log tells who stopped the service even when the stop is all it says after.
class ConsoleActions
{
public:
    ConsoleActions(EngineApi &engine, ApiAccess &access, ConsoleLive &live);

    QHttpServerResponse handle(const QString &action, const QHttpServerRequest &request, bool tls);

    static constexpr int MaxRequeue = 1000;

private:
    QHttpServerResponse perform(const QString &action, const QJsonObject &body, const QString &who);
    QHttpServerResponse testMessage(const QJsonObject &body, const QString &who);
    QHttpServerResponse device(const QString &action, const QJsonObject &body, const QString &who);
    QHttpServerResponse requeue(const QJsonObject &body, const QString &who);
    void log(const QString &who, const QString &what);

    EngineApi &m_engine;
    ApiAccess &m_access;
    ConsoleLive &m_live;
};
