#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <optional>

// The times applications write into SendAfter and ValidUntil. ISO 8601 in its extended form
// (2026-03-16T06:00:00+08:00, with a blank for the T, with or without seconds, a fraction or an
// offset, or a bare date for its midnight) and the gateway's own yyyy-MM-dd HH:mm:ss. A time
// without an offset is the gateway's local time.
namespace PolicyTime {

// An invalid QDateTime for an empty value (no time set); nullopt for a text that is no time.
std::optional<QDateTime> parse(const QString &text);
// The same for a column's value, which a typed column gives as a date and time already.
std::optional<QDateTime> fromValue(const QVariant &value);

} // namespace PolicyTime
