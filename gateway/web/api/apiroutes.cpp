#include "apiroutes.h"

#include "apiresponse.h"
#include "apiviews.h"
#include "lateranswer.h"
#include "requestvalues.h"
#include "sendrequest.h"

#include "common/clock.h"
#include "model/engineapi.h"

#include <QFile>
#include <QHttpServer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

namespace {

ApiError unavailable(const QString &why)
{
    ApiError e{503, "unavailable", QStringLiteral("the database cannot be reached for now: %1").arg(why)};
    e.retryAfter = 5;
    return e;
}

QJsonValue queuedBody(const QList<qint64> &ids, bool list)
{
    QJsonArray items;
    for (qint64 id : ids)
        items.append(QJsonObject{{QStringLiteral("id"), id},
                                 {QStringLiteral("status"), QStringLiteral("queued")}});
    return list ? QJsonValue(items) : items.first();
}

} // namespace

ApiRoutes::ApiRoutes(EngineApi &engine, const QString &programDir, const Clock &clock)
    : m_engine(engine), m_access(programDir), m_idempotency(IdempotencyStore::fileIn(programDir)),
      m_clock(clock)
{ }

void ApiRoutes::install(QHttpServer &server)
{
    using Method = QHttpServerRequest::Method;
    server.route(QStringLiteral("/api/v1/messages"), Method::Post,
                 [this](const QHttpServerRequest &r) { return postMessages(r); });
    server.route(QStringLiteral("/api/v1/messages/<arg>"), Method::Get,
                 [this](const QString &id, const QHttpServerRequest &r,
                        QHttpServerResponder &&responder) {
                     getMessage(id, r, LaterAnswer(std::move(responder)));
                 });
    server.route(QStringLiteral("/api/v1/inbox"), Method::Get,
                 [this](const QHttpServerRequest &r, QHttpServerResponder &&responder) {
                     getInbox(r, LaterAnswer(std::move(responder)));
                 });
    server.route(QStringLiteral("/api/v1/devices"), Method::Get,
                 [this](const QHttpServerRequest &r) { return getDevices(r); });
    server.route(QStringLiteral("/api/v1/openapi.json"), Method::Get, [] { return openApi(); });
}

QHttpServerResponse ApiRoutes::postMessages(const QHttpServerRequest &request)
{
    auto who = m_access.authorize(request, true);
    if (auto *e = std::get_if<ApiError>(&who))
        return ApiResponse::error(*e);
    if (!RequestValues::isJson(ApiAccess::header(request, QByteArrayLiteral("Content-Type"))))
        return ApiResponse::error(
                {415, "unsupported_media_type", QStringLiteral("the body must be application/json")});
    if (request.body().size() > MaxBody)
        return ApiResponse::error(
                {413, "body_too_large", QStringLiteral("the body is over %1 bytes").arg(MaxBody)});
    return queue(request, std::get<TokenStore::Entry>(who).name);
}

QHttpServerResponse ApiRoutes::queue(const QHttpServerRequest &request, const QString &token)
{
    const QByteArray key = ApiAccess::header(request, QByteArrayLiteral("Idempotency-Key"));
    const bool keyed = !key.isNull();
    if (keyed && !RequestValues::validKey(key, IdempotencyStore::MaxKeyLength))
        return ApiResponse::error(
                ApiError::badRequest("invalid_idempotency_key",
                                     QStringLiteral("Idempotency-Key must be 1 to 255 visible ASCII characters"),
                                     QStringLiteral("Idempotency-Key")));
    const QByteArray bodyHash = IdempotencyStore::hashOf(request.body());
    const QString keyText = QString::fromLatin1(key);
    if (keyed) {
        if (const auto first = m_idempotency.find(token, keyText, m_clock.now())) {
            if (first->bodyHash != bodyHash)
                return ApiResponse::error({409, "idempotency_key_reused",
                                           QStringLiteral("this Idempotency-Key was used for another request"),
                                           QStringLiteral("Idempotency-Key")});
            return QHttpServerResponse(QByteArrayLiteral("application/json; charset=utf-8"),
                                       first->body, QHttpServerResponse::StatusCode(first->status));
        }
    }
    auto parsed = SendRequest::parse(request.body());
    if (auto *e = std::get_if<ApiError>(&parsed))
        return ApiResponse::error(*e);
    const SendRequest &send = std::get<SendRequest>(parsed);
    const QueueResult result = m_engine.queueMessages(send.messages);
    if (!result.ok() && !result.field.isEmpty())
        return ApiResponse::error(
                ApiError::invalid("unsupported_field", result.error, result.field));
    if (!result.ok())
        return ApiResponse::error(unavailable(result.error));
    const QJsonValue body = queuedBody(result.ids, send.list);
    if (keyed) {
        const QByteArray bytes = body.isArray()
                ? QJsonDocument(body.toArray()).toJson(QJsonDocument::Compact)
                : QJsonDocument(body.toObject()).toJson(QJsonDocument::Compact);
        m_idempotency.remember(token, keyText, {bodyHash, 202, bytes}, m_clock.now());
    }
    return ApiResponse::json(body, 202);
}

void ApiRoutes::getMessage(const QString &id, const QHttpServerRequest &request,
                           const LaterAnswer &answer)
{
    auto who = m_access.authorize(request);
    if (auto *e = std::get_if<ApiError>(&who))
        return answer(ApiResponse::error(*e));
    bool ok = false;
    const qint64 n = id.toLongLong(&ok);
    const ApiError notFound{404, "not_found", QStringLiteral("no such message")};
    if (!ok || n <= 0)
        return answer(ApiResponse::error(notFound));
    m_engine.readMessage(n, [answer, notFound](const MessageRead &read) {
        if (read.failed)
            answer(ApiResponse::error(unavailable(read.error)));
        else if (!read.message)
            answer(ApiResponse::error(notFound));
        else
            answer(ApiResponse::json(ApiViews::message(*read.message)));
    });
}

void ApiRoutes::getInbox(const QHttpServerRequest &request, const LaterAnswer &answer)
{
    auto who = m_access.authorize(request);
    if (auto *e = std::get_if<ApiError>(&who))
        return answer(ApiResponse::error(*e));
    const QUrlQuery q = request.query();
    const auto after = RequestValues::queryNumber(q, QStringLiteral("after"), 0, 0, LLONG_MAX);
    if (!after)
        return answer(ApiResponse::error(ApiError::badRequest(
                "invalid_parameter", QStringLiteral("after must be a whole number, 0 or more"), QStringLiteral("after"))));
    const auto limit = RequestValues::queryNumber(q, QStringLiteral("limit"), 100, 1, MaxInboxLimit);
    if (!limit)
        return answer(ApiResponse::error(ApiError::badRequest(
                "invalid_parameter", QStringLiteral("limit must be a whole number from 1 to %1").arg(MaxInboxLimit),
                QStringLiteral("limit"))));
    m_engine.readReceived(*after, int(*limit), [answer, from = *after](const ReceivedRead &read) {
        if (read.failed)
            return answer(ApiResponse::error(unavailable(read.error)));
        QJsonArray items;
        for (const ReceivedRow &r : read.rows)
            items.append(ApiViews::received(r));
        const qint64 last = read.rows.isEmpty() ? from : read.rows.last().id;
        answer(ApiResponse::json(
                QJsonObject{{QStringLiteral("messages"), items}, {QStringLiteral("last"), last}}));
    });
}

QHttpServerResponse ApiRoutes::getDevices(const QHttpServerRequest &request)
{
    auto who = m_access.authorize(request);
    if (auto *e = std::get_if<ApiError>(&who))
        return ApiResponse::error(*e);
    QJsonArray items;
    for (const DeviceStatus &d : m_engine.deviceStatuses())
        items.append(ApiViews::device(d));
    return ApiResponse::json(QJsonObject{{QStringLiteral("devices"), items}});
}

QHttpServerResponse ApiRoutes::openApi()
{
    QFile file(QStringLiteral(":/api/openapi.json"));
    file.open(QIODevice::ReadOnly);
    return QHttpServerResponse(QByteArrayLiteral("application/json; charset=utf-8"),
                               file.readAll());
}
