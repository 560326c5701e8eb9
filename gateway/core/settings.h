#pragma once

#include "policyconfig.h"

#include <QString>
#include <QStringList>
#include <functional>

class IniFile;

// The configuration held in memory, replaced wholesale at every load.
struct Settings
{
    QString ConnectionString;
    QStringList DevicePorts;
    QStringList DeviceRates;
    QString ForwardMobile;
    // Set when several gateways share one queue: each row is claimed before it is sent.
    QString GatewayName;
    // Ask the network for a delivery report of every message sent ([SMSCom] StatusReport=1).
    bool StatusReport = false;
    // Number of devices in service, at most 128.
    short DeviceCount = 0;
    // Devices listed before the 128 cap; DeviceJobs is sized from it.
    int listedDevices = 0;
    // Period of the queue poll; 0 means the poll never fires.
    int scanIntervalMs = 15000;
    // How long a stop waits for the sends in flight to end ([Service] StopWait, seconds).
    int stopWaitMs = 10000;
    // A row at 1 for longer counts as stuck on the page and in /metrics ([Service] StuckAfter,
    // minutes).
    int stuckAfterMinutes = 10;
    // [DBCon] WatchQueue=0 leaves the queue to the ScanDT poll alone, for a connection that
    // cannot LISTEN (a pooler in transaction mode) or a file that cannot be watched.
    bool watchQueue = true;
    // Quotas, pacing, routes and retries for the SIMs ([Policy]); off unless configured.
    PolicyConfig Policy;

    // How the log names device d's port: "Com3".
    QString deviceLabel(int d) const { return QStringLiteral("Com") + DevicePorts.value(d); }

    static constexpr int MaxDevices = 128;
    static constexpr int DefaultScanIntervalMs = 15000;
    static constexpr int DefaultBaudRate = 9600;
    static QString defaultConnectionString(const QString &programDir);
};

// Reads Config.ini in the load order the gateway has always used. Every key has a default; values
// that do not convert, ports that name no serial port and a file that holds no text are reported
// through log, each in one line that says what is used instead.
Settings LoadSettings(const IniFile &ini, const QString &programDir,
                      const std::function<void(const QString &)> &log);

// Writes the device list to SMSCom/Port and SMSCom/Rate; a failed write is reported through log.
bool WriteDeviceList(const IniFile &ini, const QString &ports, const QString &rates,
                     const std::function<void(const QString &)> &log);
