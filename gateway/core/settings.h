#pragma once

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
    // Number of devices in service, at most 128.
    short DeviceCount = 0;
    // Devices listed before the 128 cap; DeviceJobs is sized from it.
    int listedDevices = 0;
    // Period of the queue poll; 0 means the poll never fires.
    int scanIntervalMs = 15000;

    static constexpr int MaxDevices = 128;
    static constexpr int DefaultScanIntervalMs = 15000;
    static QString defaultConnectionString(const QString &programDir);
};

// Reads Config.ini in the load order the gateway has always used. Every key has a default; values
// that do not convert are reported through log and replaced by their defaults.
Settings LoadSettings(const IniFile &ini, const QString &programDir,
                      const std::function<void(const QString &)> &log);
