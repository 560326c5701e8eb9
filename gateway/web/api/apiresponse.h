#pragma once

#include "apierror.h"

#include <QHttpServerResponse>
#include <QJsonValue>

// Every answer the API gives is JSON in UTF-8; errors carry the headers their codes call for.
namespace ApiResponse {

QHttpServerResponse json(const QJsonValue &value, int status = 200);
QHttpServerResponse error(const ApiError &error);
// The same error as a whole HTTP/1.1 message that closes the connection, for answers given
// before the HTTP server has read the request (too big, too many connections, wrong host).
QByteArray rawClosing(const ApiError &error);
// Any answer as such a message.
QByteArray rawClosing(int status, const QByteArray &type, const QByteArray &body);

} // namespace ApiResponse
