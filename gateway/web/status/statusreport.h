#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct EngineStatus;
struct ProcessFigures;

// What the status server answers, made from the engine's status snapshot alone: no request
// reaches the database or waits for the engine's work.
namespace StatusReport {

// Lines of the activity log the page shows, the newest last.
constexpr int PageLogLines = 200;

// The read-only page: the device list as the window shows it, the queue, the database, the
// spool and the given end of the activity log; it reloads itself every few seconds.
QByteArray page(const EngineStatus &status, const QStringList &logLines);
// The page for a visitor without a token: the service, the database and the queue in figures,
// and no device, number, text or log line.
QByteArray healthPage(const EngineStatus &status);
// Prometheus text exposition format 0.0.4.
QByteArray metrics(const EngineStatus &status, const ProcessFigures &process);
// Why the gateway cannot send now, for /healthz; empty while it can.
QString unavailable(const EngineStatus &status);
// A label value with backslash, double quote and line feed escaped, as the format asks.
QString labelValue(const QString &text);

} // namespace StatusReport
