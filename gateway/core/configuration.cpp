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
    // The window's start-up and every service start read the file again; a bad value
    // ("配置项…", "配置文件…") the operator was told of at the last read is not told again until
    // it changes. The port-count warning is the start-up's own and stays as it always was.
    QStringList values;
    m_settings = LoadSettings(IniFile(path()), m_programDir, [&](const QString &line) {
        if (!line.startsWith(QStringLiteral("配置"))) {
            m_log.WriteLog(line);
            return;
        }
        values << line;
        if (!m_reported.contains(line))
            m_log.WriteLog(line);
    });
    m_reported = values;
}

bool Configuration::writeDevices(const DeviceTable &table) const
{
    return WriteDeviceList(IniFile(path()), table.portsText(), table.ratesText(),
                           [this](const QString &line) { m_log.WriteLog(line); });
}
