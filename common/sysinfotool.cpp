#include "sysinfotool.h"

#include "common/registryvalue.h"

#include <QFileInfo>

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

} // namespace SysInfoTool
