#include "configuration.h"

#include "devicetable.h"
#include "logsink.h"

#include "common/inifile.h"
#include "common/installlayout.h"

Configuration::Configuration(QString programDir, LogSink &log)
    : m_programDir(std::move(programDir)), m_log(log)
{ }

QString Configuration::path() const
{
    return InstallLayout::configFile(m_programDir);
}

void Configuration::load()
{
    m_settings = LoadSettings(IniFile(path()), m_programDir,
                              [this](const QString &line) { m_log.WriteLog(line); });
}

bool Configuration::writeDevices(const DeviceTable &table) const
{
    return WriteDeviceList(IniFile(path()), table.portsText(), table.ratesText(),
                           [this](const QString &line) { m_log.WriteLog(line); });
}
