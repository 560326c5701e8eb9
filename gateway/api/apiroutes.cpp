#include "apiroutes.h"

#include "apiengine.h"
#include "apiresponse.h"
#include "apiviews.h"
#include "sendrequest.h"

#include "common/clock.h"

#include <QFile>
#include <QHttpServer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

namespace {

ApiError unavailable(const QString &why)
{
    ApiError e{503, "unavailable", QStringLiteral("暂时无法访问数据库：%1").arg(why)};
    e.retryAfter = 5;
    return e;
}

bool isJson(const QByteArray &contentType)
{
    const QByteArray type = contentType.split(';').first().trimmed().toLower();
    return type == "application/json";
}

// An Idempotency-Key: 1 to 255 visible ASCII characters.
bool validKey(const QByteArray &key)
{
    if (key.isEmpty() || key.size() > IdempotencyStore::MaxKeyLength)
        return false;
    return std::all_of(key.begin(), key.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

QJsonValue queuedBody(const QList<qint64> &ids, bool list)
{
    QJsonArray items;
    for (qint64 id : ids)
        items.append(QJsonObject{{QStringLiteral("id"), id},
                                 {QStringLiteral("status"), QStringLiteral("queued")}});
    return list ? QJsonValue(items) : items.first();
}

// A whole number within [low, high] from the query, or def when absent.
std::optional<qint64> queryNumber(const QUrlQuery &q, const QString &key, qint64 def, qint64 low,
                                  qint64 high)
{
    if (!q.hasQueryItem(key))
        return def;
    bool ok = false;
    const qint64 v = q.queryItemValue(key).toLongLong(&ok);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

} // namespace

ApiRoutes::ApiRoutes(ApiEngine &engine, const QString &programDir, const Clock &clock)
    : m_engine(engine), m_access(programDir), m_idempotency(IdempotencyStore::fileIn(programDir)),
      m_clock(clock)
{ }

void ApiRoutes::install(QHttpServer &server)
{
    using Method = QHttpServerRequest::Method;
    server.route(QStringLiteral("/api/v1/messages"), Method::Post,
                 [this](const QHttpServerRequest &r) { return postMessages(r); });
    server.route(
            QStringLiteral("/api/v1/messages/<arg>"), Method::Get,
            [this](const QString &id, const QHttpServerRequest &r) { return getMessage(id, r); });
    server.route(QStringLiteral("/api/v1/inbox"), Method::Get,
                 [this](const QHttpServerRequest &r) { return getInbox(r); });
    server.route(QStringLiteral("/api/v1/devices"), Method::Get,
                 [this](const QHttpServerRequest &r) { return getDevices(r); });
    server.route(QStringLiteral("/api/v1/openapi.json"), Method::Get, [] { return openApi(); });
}

QHttpServerResponse ApiRoutes::postMessages(const QHttpServerRequest &request)
{
    auto who = m_access.authorize(request, true);
    if (auto *e = std::get_if<ApiError>(&who))
        return ApiResponse::error(*e);
    if (!isJson(ApiAccess::header(request, QByteArrayLiteral("Content-Type"))))
        return ApiResponse::error(
                {415, "unsupported_media_type", QStringLiteral("请求体须为 application/json")});
    if (request.body().size() > MaxBody)
        return ApiResponse::error(
                {413, "body_too_large", QStringLiteral("请求体超过%1字节").arg(MaxBody)});
    return queue(request, std::get<TokenStore::Entry>(who).name);
}

QHttpServerResponse ApiRoutes::queue(const QHttpServerRequest &request, const QString &token)
{
    const QByteArray key = ApiAccess::header(request, QByteArrayLiteral("Idempotency-Key"));
    const bool keyed = !key.isNull();
    if (keyed && !validKey(key))
        return ApiResponse::error(
                ApiError::badRequest("invalid_idempotency_key",
                                     QStringLiteral("Idempotency-Key 须为1至255个可见ASCII字符"),
                                     QStringLiteral("Idempotency-Key")));
    const QByteArray bodyHash = IdempotencyStore::hashOf(request.body());
    const QString keyText = QString::fromLatin1(key);
    if (keyed) {
        if (const auto first = m_idempotency.find(token, keyText, m_clock.now())) {
            if (first->bodyHash != bodyHash)
                return ApiResponse::error({409, "idempotency_key_reused",
                                           QStringLiteral("该 Idempotency-Key 已用于另一个请求"),
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

QHttpServerResponse ApiRoutes::getMessage(const QString &id, const QHttpServerRequest &request)
{
    auto who = m_access.authorize(request);
    if (auto *e = std::get_if<ApiError>(&who))
        return ApiResponse::error(*e);
    bool ok = false;
    const qint64 n = id.toLongLong(&ok);
    const ApiError notFound{404, "not_found", QStringLiteral("没有这条短信")};
    if (!ok || n <= 0)
        return ApiResponse::error(notFound);
    QString error;
    const auto found = m_engine.message(n, &error);
    if (!found)
        return ApiResponse::error(unavailable(error));
    if (!*found)
        return ApiResponse::error(notFound);
    return ApiResponse::json(ApiViews::message(**found, m_engine.deviceOf(n)));
}

QHttpServerResponse ApiRoutes::getInbox(const QHttpServerRequest &request)
{
    auto who = m_access.authorize(request);
    if (auto *e = std::get_if<ApiError>(&who))
        return ApiResponse::error(*e);
    const QUrlQuery q = request.query();
    const auto after = queryNumber(q, QStringLiteral("after"), 0, 0, LLONG_MAX);
    if (!after)
        return ApiResponse::error(ApiError::badRequest("invalid_parameter",
                                                       QStringLiteral("after 须为非负整数"),
                                                       QStringLiteral("after")));
    const auto limit = queryNumber(q, QStringLiteral("limit"), 100, 1, MaxInboxLimit);
    if (!limit)
        return ApiResponse::error(ApiError::badRequest(
                "invalid_parameter", QStringLiteral("limit 须为1至%1的整数").arg(MaxInboxLimit),
                QStringLiteral("limit")));
    QString error;
    const auto rows = m_engine.received(*after, int(*limit), &error);
    if (!rows)
        return ApiResponse::error(unavailable(error));
    QJsonArray items;
    for (const ReceivedRow &r : *rows)
        items.append(ApiViews::received(r));
    const qint64 last = rows->isEmpty() ? *after : rows->last().id;
    return ApiResponse::json(
            QJsonObject{{QStringLiteral("messages"), items}, {QStringLiteral("last"), last}});
}

QHttpServerResponse ApiRoutes::getDevices(const QHttpServerRequest &request)
{
    auto who = m_access.authorize(request);
    if (auto *e = std::get_if<ApiError>(&who))
        return ApiResponse::error(*e);
    QJsonArray items;
    for (const DeviceStatus &d : m_engine.status().devices)
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
