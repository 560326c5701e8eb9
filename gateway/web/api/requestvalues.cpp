#include "requestvalues.h"

#include <algorithm>

namespace RequestValues {

std::optional<qint64> queryNumber(const QUrlQuery &query, const QString &key, qint64 def,
                                  qint64 low, qint64 high)
{
    if (!query.hasQueryItem(key))
        return def;
    bool ok = false;
    const qint64 v = query.queryItemValue(key).toLongLong(&ok);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

bool validKey(const QByteArray &key, qsizetype maxLength)
{
    if (key.isEmpty() || key.size() > maxLength)
        return false;
    return std::all_of(key.begin(), key.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

bool isJson(const QByteArray &contentType)
{
    const QByteArray type = contentType.split(';').first().trimmed().toLower();
    return type == "application/json";
}

} // namespace RequestValues
