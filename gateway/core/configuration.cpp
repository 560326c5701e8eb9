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

void Configuration::writeDevices(const DeviceTable &table) const
{
    const IniFile ini(path());
    ini.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), table.portsText());
    ini.write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), table.ratesText());
}
