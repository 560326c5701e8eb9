#pragma once

#include <QByteArray>

class Gateway;

// What the status server answers, read from the engine at the moment of the request.
namespace StatusReport {

// Lines of the activity log the page shows, the newest last.
constexpr int PageLogLines = 200;

// The read-only page: the device list as the window shows it, the queue, the database, the
// spool and the end of the activity log; it reloads itself every few seconds.
QByteArray page(Gateway &gateway);
// Prometheus text exposition format 0.0.4.
QByteArray metrics(Gateway &gateway);
// Running with the database connected.
bool healthy(Gateway &gateway);

} // namespace StatusReport
