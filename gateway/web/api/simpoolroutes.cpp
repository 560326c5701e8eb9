#include "simpoolroutes.h"

#include "api/apiaccess.h"
#include "api/apiresponse.h"
#include "model/engineapi.h"

#include <QHttpServer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

constexpr qsizetype MaxBody = 4096;

QString timeText(const QDateTime &at)
{
    return at.isValid() ? at.toUTC().toString(Qt::ISODate) : QString();
}

QJsonObject view(const UssdResult &r)
{
    QJsonObject o{{QStringLiteral("id"), r.id},
                  {QStringLiteral("port"), r.port},
                  {QStringLiteral("code"), r.code},
                  {QStringLiteral("status"), UssdResult::statusName(r.status)},
                  {QStringLiteral("askedAt"), timeText(r.askedAt)}};
    if (r.state >= 0)
        o.insert(QStringLiteral("state"), r.state);
    if (r.status != UssdResult::Status::Pending) {
        o.insert(QStringLiteral("text"), r.text);
        o.insert(QStringLiteral("answeredAt"), timeText(r.answeredAt));
    }
    if (!r.error.isEmpty())
        o.insert(QStringLiteral("error"), r.error);
    if (r.session)
        o.insert(QStringLiteral("session"), r.session);
    return o;
}

QJsonObject view(const OptOutEntry &e)
{
    return {{QStringLiteral("number"), e.number},
            {QStringLiteral("since"), timeText(e.since)},
            {QStringLiteral("keyword"), e.keyword},
            {QStringLiteral("port"), e.port}};
}

ApiError unavailable(const QString &why)
{
    ApiError e{503, "unavailable", QStringLiteral("the database cannot be reached for now: %1").arg(why)};
    e.retryAfter = 5;
    return e;
}

// The caller's token, which must be an operator's when operatorOnly.
std::optional<ApiError> refused(ApiAccess &access, const QHttpServerRequest &request,
                                bool operatorOnly)
{
    auto who = access.authorize(request);
    if (auto *e = std::get_if<ApiError>(&who))
        return *e;
    if (operatorOnly && std::get<TokenStore::Entry>(who).role != TokenStore::Role::Operator)
        return ApiError{403, "forbidden", QStringLiteral("this needs an operator token")};
    return std::nullopt;
}

std::variant<QJsonObject, ApiError> jsonBody(const QHttpServerRequest &request)
{
    if (request.body().size() > MaxBody)
        return ApiError{413, "body_too_large", QStringLiteral("the body is over %1 bytes").arg(MaxBody)};
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(request.body(), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject())
        return ApiError::badRequest("invalid_json", QStringLiteral("the body must be a JSON object"));
    return doc.object();
}

QHttpServerResponse postUssd(EngineApi &engine, ApiAccess &access, const QString &port,
                             const QHttpServerRequest &request)
{
    if (auto e = refused(access, request, true))
        return ApiResponse::error(*e);
    auto body = jsonBody(request);
    if (auto *e = std::get_if<ApiError>(&body))
        return ApiResponse::error(*e);
    const QJsonObject o = std::get<QJsonObject>(body);
    const QString code = o.value(QLatin1String("code")).toString().trimmed();
    const QJsonValue sessionValue = o.value(QLatin1String("session"));
    const qint64 session = sessionValue.isDouble() ? qint64(sessionValue.toDouble()) : 0;
    if (!sessionValue.isUndefined() && !sessionValue.isNull() && session <= 0)
        return ApiResponse::error(ApiError::invalid(
                "invalid_session", QStringLiteral("session must be the id of an earlier request"), QStringLiteral("session")));
    const UssdResult r = engine.requestUssd(port, code, session);
    if (r.status == UssdResult::Status::Pending)
        return ApiResponse::json(view(r), 202);
    static const QHash<QString, ApiError> Errors{
            {QStringLiteral("no_device"), {404, "no_device", QStringLiteral("no such device")}},
            {QStringLiteral("invalid_code"),
             ApiError::invalid("invalid_code", QStringLiteral("code must be 1 to 160 visible ASCII characters without quotes"),
                               QStringLiteral("code"))},
            {QStringLiteral("not_running"), {503, "not_running", QStringLiteral("the service is not running")}},
            {QStringLiteral("not_open"), {409, "not_open", QStringLiteral("the modem is not connected")}},
            {QStringLiteral("busy"), {409, "busy", QStringLiteral("the device's last USSD request has not ended yet")}},
            {QStringLiteral("session_closed"),
             {409, "session_closed", QStringLiteral("that USSD session has ended"), QStringLiteral("session")}},
    };
    return ApiResponse::error(Errors.value(r.error, {409, "failed", r.error}));
}

QHttpServerResponse getUssd(EngineApi &engine, ApiAccess &access, const QString &id,
                            const QHttpServerRequest &request)
{
    if (auto e = refused(access, request, false))
        return ApiResponse::error(*e);
    bool ok = false;
    const auto r = engine.ussdResult(id.toLongLong(&ok));
    if (!ok || !r)
        return ApiResponse::error({404, "not_found", QStringLiteral("no such USSD request")});
    return ApiResponse::json(view(*r));
}

QHttpServerResponse getOptOuts(EngineApi &engine, ApiAccess &access,
                               const QHttpServerRequest &request)
{
    if (auto e = refused(access, request, false))
        return ApiResponse::error(*e);
    QString error;
    const auto entries = engine.optOuts(&error);
    if (!entries)
        return ApiResponse::error(unavailable(error));
    QJsonArray items;
    for (const OptOutEntry &e : *entries)
        items.append(view(e));
    return ApiResponse::json(QJsonObject{{QStringLiteral("optouts"), items}});
}

QHttpServerResponse postOptOut(EngineApi &engine, ApiAccess &access,
                               const QHttpServerRequest &request)
{
    if (auto e = refused(access, request, true))
        return ApiResponse::error(*e);
    auto body = jsonBody(request);
    if (auto *e = std::get_if<ApiError>(&body))
        return ApiResponse::error(*e);
    const QString number = std::get<QJsonObject>(body).value(QLatin1String("number")).toString();
    if (!std::any_of(number.begin(), number.end(), [](QChar c) { return c.isDigit(); }))
        return ApiResponse::error(ApiError::invalid("invalid_number", QStringLiteral("number must be a phone number"),
                                                    QStringLiteral("number")));
    QString error;
    const auto added = engine.addOptOut(number, &error);
    if (!added)
        return ApiResponse::error(unavailable(error));
    return ApiResponse::json(QJsonObject{{QStringLiteral("number"), number},
                                         {QStringLiteral("added"), *added}},
                             *added ? 201 : 200);
}

QHttpServerResponse deleteOptOut(EngineApi &engine, ApiAccess &access, const QString &number,
                                 const QHttpServerRequest &request)
{
    if (auto e = refused(access, request, true))
        return ApiResponse::error(*e);
    QString error;
    const auto removed = engine.removeOptOut(QUrl::fromPercentEncoding(number.toUtf8()), &error);
    if (!removed)
        return ApiResponse::error(unavailable(error));
    if (*removed == 0)
        return ApiResponse::error({404, "not_found", QStringLiteral("the number is not on the opt-out list")});
    return ApiResponse::json(QJsonObject{{QStringLiteral("removed"), *removed}});
}

} // namespace

namespace SimPoolRoutes {

void install(QHttpServer &server, EngineApi &engine, ApiAccess &access)
{
    using Method = QHttpServerRequest::Method;
    server.route(QStringLiteral("/api/v1/devices/<arg>/ussd"), Method::Post,
                 [&engine, &access](const QString &port, const QHttpServerRequest &r) {
                     return postUssd(engine, access, port, r);
                 });
    server.route(QStringLiteral("/api/v1/ussd/<arg>"), Method::Get,
                 [&engine, &access](const QString &id, const QHttpServerRequest &r) {
                     return getUssd(engine, access, id, r);
                 });
    server.route(QStringLiteral("/api/v1/optouts"), Method::Get,
                 [&engine, &access](const QHttpServerRequest &r) {
                     return getOptOuts(engine, access, r);
                 });
    server.route(QStringLiteral("/api/v1/optouts"), Method::Post,
                 [&engine, &access](const QHttpServerRequest &r) {
                     return postOptOut(engine, access, r);
                 });
    server.route(QStringLiteral("/api/v1/optouts/<arg>"), Method::Delete,
                 [&engine, &access](const QString &number, const QHttpServerRequest &r) {
                     return deleteOptOut(engine, access, number, r);
                 });
}

} // namespace SimPoolRoutes
