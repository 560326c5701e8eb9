#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

struct DeviceStatus;
struct EngineStatus;
struct HistoryMinute;

// What the console's page is told, made from the engine's status alone so that it can be checked
// without a gateway. Times are milliseconds since the epoch: the page works out ages against the
// gateway's clock, which it is sent with every message, not against the browser's.
namespace ConsoleState {

// The whole live state the page draws, without anything that changes by itself with time, so
// that equal bytes mean nothing to tell.
QJsonObject state(const EngineStatus &status);
QJsonObject device(const DeviceStatus &device);
// Minutes of sent, failed, received, queue length and send time percentiles as parallel arrays,
// the oldest first; port empty for the whole gateway.
QJsonObject history(const QList<HistoryMinute> &minutes, const QString &port);

// AT+CSQ's rssi in dBm: 0 is -113 or less, 31 is -51 or more; 99 and anything else unknown.
std::optional<int> dbm(std::optional<int> rssi);
// Bars of 0..4 as a phone shows them; unknown as the rssi is.
std::optional<int> bars(std::optional<int> rssi);
// The registration as the window words it (AT+CREG? stat).
QString registrationText(std::optional<int> registration);
// A device in trouble: open but failed, or out of service, or not registered.
bool trouble(const DeviceStatus &device);
// A row handed to it now could be sent: connected, on a network and in service.
bool sendable(const DeviceStatus &device);
// The last failure is past once the device has worked since: a message sent, or an open.
bool failurePast(const DeviceStatus &device);
// One word for the header, with the same truth as /healthz: "stopped"; "down" when nothing can
// be sent; "degraded" when some device is down, unregistered or out of service; else "ok".
QString health(const EngineStatus &status, int sendableCount);

// Wraps a serialized body in a message of the given type with the gateway's time.
QByteArray message(const char *type, qint64 now, const QByteArray &body);

} // namespace ConsoleState
