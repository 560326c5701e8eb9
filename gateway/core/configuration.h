#pragma once

#include "settings.h"

#include <QString>
#include <QStringList>

class DeviceTable;
class LogSink;

// The configuration file of a program folder and the settings last read from it. The settings
// object is replaced in place at every load, so parts may hold a reference to it.
class Configuration
{
public:
    Configuration(QString programDir, LogSink &log);

    const QString &programDir() const { return m_programDir; }
    QString path() const;
    const Settings &settings() const { return m_settings; }

    void load();
    // Writes the Port and Rate lists that describe the device table; a failure is logged.
    bool writeDevices(const DeviceTable &table) const;

private:
    QString m_programDir;
    LogSink &m_log;
    // What the last load reported of the file.
    QStringList m_reported;
    Settings m_settings;
};
