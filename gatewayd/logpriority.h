#pragma once

#include <QString>

// The syslog priority of an activity-log line, so that "journalctl -p err" finds the failures.
// The log carries no level of its own: its lines are sentences for the operator, and the
// failures among them say so in a handful of words (失败, 错误, 无法, ...), or carry the
// "error: " / "warning: " prefix of a message box turned into a line.
namespace LogPriority {

constexpr int Error = 3;
constexpr int Warning = 4;
constexpr int Info = 6;

int of(const QString &line);

} // namespace LogPriority
