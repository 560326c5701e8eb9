#include "apiresponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QByteArray JsonType = QByteArrayLiteral("application/json; charset=utf-8");

QByteArray body(const QJsonValue &value)
{
    const QJsonDocument doc =
            value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return doc.toJson(QJsonDocument::Compact);
}

QJsonObject errorObject(const ApiError &error)
{
    QJsonObject inner{{QStringLiteral("code"), QString::fromLatin1(error.code)},
                      {QStringLiteral("message"), error.message}};
    if (!error.field.isEmpty())
        inner.insert(QStringLiteral("field"), error.field);
    return {{QStringLiteral("error"), inner}};
}

const char *reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 415:
        return "Unsupported Media Type";
    case 422:
        return "Unprocessable Content";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

} // namespace

namespace ApiResponse {

QHttpServerResponse json(const QJsonValue &value, int status)
{
    return QHttpServerResponse(JsonType, body(value), QHttpServerResponse::StatusCode(status));
}

QHttpServerResponse error(const ApiError &error)
{
    QHttpServerResponse response = json(errorObject(error), error.status);
    if (error.status == 401)
        response.addHeader(QByteArrayLiteral("WWW-Authenticate"), QByteArrayLiteral("Bearer"));
    if (error.retryAfter > 0)
        response.addHeader(QByteArrayLiteral("Retry-After"), QByteArray::number(error.retryAfter));
    return response;
}

QByteArray rawClosing(const ApiError &error)
{
    const QByteArray content = body(errorObject(error));
    QByteArray out = "HTTP/1.1 " + QByteArray::number(error.status) + ' ' + reason(error.status)
            + "\r\nContent-Type: " + JsonType + "\r\nContent-Length: "
            + QByteArray::number(content.size()) + "\r\nConnection: close\r\n";
    if (error.retryAfter > 0)
        out += "Retry-After: " + QByteArray::number(error.retryAfter) + "\r\n";
    return out + "\r\n" + content;
}

QByteArray rawClosing(int status, const QByteArray &type, const QByteArray &content)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status)
            + "\r\nContent-Type: " + type + "\r\nContent-Length: "
            + QByteArray::number(content.size()) + "\r\nConnection: close\r\n\r\n" + content;
}

} // namespace ApiResponse
