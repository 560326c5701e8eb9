#include "sysinfotool.h"

#include "registryfile.h"
#include "registryvalue.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace SysInfoTool {

std::optional<QString> locate(const RegistryFile &registry)
{
    QString value;
    if (GetKeyValue(registry, RegistryValue::LocalMachine, QLatin1String(ToolKey),
                    QLatin1String(ToolValue), value))
        return value;
    if (GetKeyValue(registry, RegistryValue::LocalMachine, QLatin1String(LocationKey),
                    QLatin1String(LocationValue), value)) {
        const QString program = value + QLatin1Char('/') + QLatin1String(ProgramFile);
        if (QFileInfo(program).isFile())
            return program;
    }
    return std::nullopt;
}

QStringList candidates()
{
    return {QStringLiteral("gnome-system-monitor"), QStringLiteral("kinfocenter"),
            QStringLiteral("hardinfo"), QStringLiteral("xfce4-taskmanager")};
}

bool recordInstalled(const RegistryFile &registry, const QStringList &searchPaths)
{
    const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\") + QLatin1String(ToolKey);
    const std::optional<QString> recorded = registry.value(key, QLatin1String(ToolValue));
    if (recorded && QFileInfo(*recorded).isExecutable())
        return true;
    for (const QString &name : candidates()) {
        const QString program = QStandardPaths::findExecutable(name, searchPaths);
        if (!program.isEmpty())
            return registry.setValue(key, QLatin1String(ToolValue), program);
    }
    return true;
}

} // namespace SysInfoTool
