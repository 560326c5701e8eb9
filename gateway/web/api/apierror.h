#pragma once

#include <QByteArray>
#include <QString>

// An answer of the API that is not a success: the status code and the body
// {"error": {"code", "message", "field"}} that clients branch on by code, not by text.
struct ApiError
{
    int status = 400;
    QByteArray code;
    QString message;
    QString field;
    // Seconds a client should wait before it tries again (429, 503); 0 for none.
    int retryAfter = 0;

    ApiError() = default;
    ApiError(int s, QByteArray c, QString m, QString f = {})
        : status(s), code(std::move(c)), message(std::move(m)), field(std::move(f))
    { }

    static ApiError badRequest(QByteArray code, QString message, QString field = {})
    {
        return {400, std::move(code), std::move(message), std::move(field)};
    }
    static ApiError invalid(QByteArray code, QString message, QString field = {})
    {
        return {422, std::move(code), std::move(message), std::move(field)};
    }
};
