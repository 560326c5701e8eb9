#pragma once

#include <QByteArray>
#include <QString>
#include <QUrlQuery>
#include <optional>

// The small values of a request the API reads besides its body: query numbers, the
// Idempotency-Key and the Content-Type.
namespace RequestValues {

// A whole number within [low, high] from the query, def when absent; nullopt when it is
// anything else.
std::optional<qint64> queryNumber(const QUrlQuery &query, const QString &key, qint64 def,
                                  qint64 low, qint64 high);
// An Idempotency-Key: 1 to maxLength visible ASCII characters.
bool validKey(const QByteArray &key, qsizetype maxLength);
// Whether a Content-Type names JSON, parameters aside.
bool isJson(const QByteArray &contentType);

} // namespace RequestValues
